#pragma once

#include <memory>
#include <optional>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/platform/Calendar.h"
#include "teststack/StackFixture.h"

namespace chronelle::testing {

// The stack in Europe/Berlin at 2026-03-29 15:00 (the day clocks go forward), the palette
// registered, and a read provider over the view context.
class ReportsFixture : public StackFixture {
 protected:
  ReportsFixture();
  ~ReportsFixture() override;

  Calendar berlin(int firstWeekday = 2) const { return Calendar("Europe/Berlin", firstWeekday); }
  // An entry from `begin` to `end` (running without one) with the confirmed duration and
  // revenue a saved write leaves.
  std::shared_ptr<Session> makeEntry(const std::shared_ptr<Task>& task, Date begin,
                                     std::optional<Date> end, bool billable = false,
                                     double rate = 0, int status = 0);
  // The small tree most tests need, unsaved: work/{design, dev/{backend, frontend}},
  // admin (archived), errands/ (empty), top.
  void makeTree();

  std::shared_ptr<BaseDataProvider> provider;
  std::shared_ptr<Folder> work, dev, errands;
  std::shared_ptr<Task> design, backend, frontend, admin, top;
};

}  // namespace chronelle::testing
