#pragma once
// A store of the application's model in a temporary directory, with the services the model
// resolves from the shared container (the palette and a running-entry source the test
// controls) and a manual clock.

#include <memory>
#include <optional>
#include <string>

#include "chronelle/model/CurrentTimeEntrySource.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/store/ObjectContext.h"
#include "chronelle/store/PersistentStoreCoordinator.h"
#include "chronelle/support/ColorSetManager.h"
#include "testsupport/ManualTime.h"
#include "testsupport/TempDirectory.h"

namespace chronelle::testing {

// Stands in for the timer: runs whatever entry the test puts in `entry`.
class FakeTimeEntrySource : public CurrentTimeEntrySource {
 public:
  std::shared_ptr<Session> currentTimeEntry() const override { return entry; }
  std::shared_ptr<Session> entry;
};

// 2026-03-02 09:00:00 UTC, a Monday.
inline Date at(int hour, int minute = 0, int second = 0) {
  return Date::fromSecondsSince1970(1'772'442'000.0 + (hour - 9) * 3600.0 + minute * 60.0 + second);
}

struct ModelStore {
  // `withTimer`: register the fake running-entry source; without it a null source is
  // registered ("no timer" on purpose).
  explicit ModelStore(bool withTimer = true);
  ~ModelStore();
  ModelStore(const ModelStore&) = delete;
  ModelStore& operator=(const ModelStore&) = delete;

  // Saves nothing; drops the context and coordinator and opens the file again.
  void reopen();

  std::shared_ptr<Folder> folder(const std::string& name,
                                 const std::shared_ptr<Node>& parent = nullptr);
  std::shared_ptr<Task> task(const std::string& name,
                             const std::shared_ptr<Node>& parent = nullptr);
  std::shared_ptr<Session> session(const std::shared_ptr<Task>& task, Date begin,
                                   std::optional<Date> end = std::nullopt);
  std::size_t count(const std::string& entity) const;

  TempDirectory directory;
  ManualTime time{at(12)};
  std::shared_ptr<FakeTimeEntrySource> timer = std::make_shared<FakeTimeEntrySource>();
  std::shared_ptr<ColorSetManager> palette;
  std::shared_ptr<PersistentStoreCoordinator> coordinator;
  std::shared_ptr<ObjectContext> context;
};

}  // namespace chronelle::testing
