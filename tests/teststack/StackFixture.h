#pragma once

#include <gtest/gtest.h>

#include "chronelle/data/CoreDataStack.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "testsupport/CapturedLogs.h"
#include "testsupport/ManualTime.h"
#include "testsupport/TempDirectory.h"
#include "teststack/ScopedTimeZone.h"

namespace chronelle::testing {

// 2026-03-10 in UTC at the given wall time; `dayOffset` moves it by whole days.
Date utc(int hour, int minute = 0, int dayOffset = 0);
// The instant of a wall-clock time in Europe/Berlin.
Date berlinTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// The names of `nodes` in order, joined with spaces, for one readable comparison.
template <class Nodes>
std::string names(const Nodes& nodes) {
  std::string text;
  for (const auto& node : nodes) text += (text.empty() ? "" : " ") + node->name();
  return text;
}

// A stack with the application's model on a fresh store in a temporary directory, TZ set to
// `zone`, the manual clock at `start`, captured logs, user defaults in that directory, and
// the stack registered in the Injector's container. Builders insert objects into the view
// context (unsaved until `save()`).
class StackFixture : public ::testing::Test {
 protected:
  explicit StackFixture(Date start = utc(12), const char* zone = "UTC");
  ~StackFixture() override;

  // Drains the main queue, empties the container and closes the store; `openStack` opens it
  // again on the same files (a relaunch, with whatever a subclass registers around them).
  void closeStack();
  void openStack();

  ObjectContext& context() { return *stack->viewContext(); }
  void save() { context().save(); }

  std::shared_ptr<Folder> makeFolder(const std::string& name, const std::shared_ptr<Folder>& parent = nullptr,
                                     int order = 0);
  std::shared_ptr<Task> makeTask(const std::string& name, const std::shared_ptr<Folder>& parent = nullptr,
                                 int order = 0);
  std::shared_ptr<Session> makeSession(const std::shared_ptr<Task>& task, Date begin, std::optional<Date> end);
  // The active or the archived nodes at the top level, in their order.
  std::vector<std::shared_ptr<Node>> topLevel(bool archived);

  ScopedTimeZone zone;
  TempDirectory directory;
  ManualTime time;
  CapturedLogs logs;
  std::shared_ptr<CoreDataStack> stack;
};

}  // namespace chronelle::testing
