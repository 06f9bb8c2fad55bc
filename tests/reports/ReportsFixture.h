#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/CoreDataStack.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/platform/Calendar.h"
#include "testsupport/CapturedLogs.h"
#include "testsupport/ManualTime.h"
#include "testsupport/TempDirectory.h"

namespace chronelle::testing {

// Sets TZ for its lifetime (the chart columns follow the process calendar) and restores it.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

// A stack with the application's model on a fresh store in a temporary directory, in
// Europe/Berlin, with the manual clock, captured logs, the palette and the stack registered
// in the Injector's container, and a read provider over the view context.
//
// Entries are inserted into the view context directly and given the confirmed duration and
// revenue the write side stores for an ended entry (whole seconds from begin to end; the rate
// times that duration rounded to cents whenever the rate is not zero, billable or not), so
// the reports read exactly what a saved write would have left.
class ReportsFixture : public ::testing::Test {
 protected:
  static constexpr const char* kZone = "Europe/Berlin";

  ReportsFixture();
  ~ReportsFixture() override;

  ObjectContext& context() { return *stack->viewContext(); }
  void save() { context().save(); }
  Calendar berlin(int firstWeekday = 2) const { return Calendar(kZone, firstWeekday); }

  std::shared_ptr<Folder> makeFolder(const std::string& name, const std::shared_ptr<Folder>& parent = nullptr);
  std::shared_ptr<Task> makeTask(const std::string& name, const std::shared_ptr<Folder>& parent = nullptr);
  // An entry from `begin` to `end` (running without one) with the given billing data and the
  // confirmed values of an ended entry.
  std::shared_ptr<Session> makeEntry(const std::shared_ptr<Task>& task, Date begin, std::optional<Date> end,
                                     bool billable = false, double rate = 0, int status = 0);

  ScopedTimeZone zone{kZone};
  TempDirectory directory;
  ManualTime time;
  CapturedLogs logs;
  std::shared_ptr<CoreDataStack> stack;
  std::shared_ptr<BaseDataProvider> provider;
};

// The instant of a Berlin wall-clock time.
Date berlinTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

}  // namespace chronelle::testing
