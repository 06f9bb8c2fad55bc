#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chronelle/data/CoreDataStack.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/list/SessionFetchedResultsController3.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "testsupport/CapturedLogs.h"
#include "testsupport/ManualTime.h"
#include "testsupport/TempDirectory.h"

namespace chronelle::testing {

// Records every change batch of a session list.
struct RecordingListDelegate final : SessionFetchedResultsControllerDelegate3 {
  struct Batch {
    std::vector<SessionFragmentLocation> deleted, inserted;
  };
  void controllerDidChangeFragments(SessionFetchedResultsController3&, const std::vector<SessionFragmentLocation>& d,
                                    const std::vector<SessionFragmentLocation>& i) override {
    batches.push_back({d, i});
  }
  std::vector<Batch> batches;
};

// A store with the application's model, TZ and calendar in Europe/Berlin, the manual clock
// at 2026-03-10 12:00 Berlin time, captured logs, and the stack and a MainDataProvider
// registered in the Injector's container.
class ListFixture : public ::testing::Test {
 protected:
  ListFixture();
  ~ListFixture() override;

  ObjectContext& context() { return *stack->viewContext(); }
  // 2026-03-<day> hh:mm in Berlin.
  static Date local(int day, int hour, int minute = 0);
  std::shared_ptr<Task> makeTask(const std::string& name);
  std::shared_ptr<Session> makeSession(const std::shared_ptr<Task>& task, Date begin, std::optional<Date> end);
  // A fetched list over `query` telling `delegate`.
  std::unique_ptr<SessionFetchedResultsController3> makeList(SessionQuery3 query = {});
  // "<day>: [dd HH:mm:ss-dd HH:mm:ss edge] …" per section joined by " | ", local times.
  std::string describe(const std::vector<SessionsSectionInfo>& sections) const;
  std::string describe(const SessionFragment& fragment) const;

  std::optional<std::string> previousZone;
  Calendar calendar{"Europe/Berlin"};
  TempDirectory directory;
  ManualTime time{local(10, 12)};
  CapturedLogs logs;
  std::shared_ptr<CoreDataStack> stack;
  std::shared_ptr<MainDataProvider> provider;
  std::shared_ptr<RecordingListDelegate> delegate = std::make_shared<RecordingListDelegate>();
};

}  // namespace chronelle::testing
