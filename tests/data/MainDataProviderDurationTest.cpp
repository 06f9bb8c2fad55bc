// The stored totals of tasks and folders through the provider: every kind of write leaves
// them equal to the saved entries below, and a check finds (and a repair fixes) totals left
// stale by a crash between a write and its recount.
#include <gtest/gtest.h>

#include <functional>

#include "teststack/ProviderFixture.h"

namespace chronelle::testing {
namespace {

// "name stored→expected" per stale node, in the order reported.
std::string render(const std::vector<StaleConfirmedDuration>& stale) {
  std::string text;
  for (const auto& s : stale) {
    text += (text.empty() ? "" : ", ") + s.node->name() + " " + std::to_string(static_cast<long>(s.stored)) + "→" +
            std::to_string(static_cast<long>(s.expected));
  }
  return text;
}

class MainDataProviderDurationTest : public ProviderFixture {
 protected:
  // Tree: F { G { A }, B }, C at the top level.
  MainDataProviderDurationTest() {
    f = makeFolder("F", nullptr, 0);
    g = makeFolder("G", f, 0);
    a = makeTask("A", g, 0);
    b = makeTask("B", f, 1);
    c = makeTask("C", nullptr, 1);
    save();
    MainQueue::shared().runPending();
  }

  std::shared_ptr<Folder> f, g;
  std::shared_ptr<Task> a, b, c;
};

TEST_F(MainDataProviderDurationTest, ConfirmedDurationsFollowEveryKindOfWrite) {
  std::shared_ptr<Session> e1, e2, e3, copy;
  using Key = TimeEntryChangeKey;
  const std::pair<const char*, std::function<void()>> steps[] = {
      {"create", [&] { e1 = write(provider->createTimeEntry(utc(9) + 0.7, utc(10) + 0.2, a->objectID(), false, {})); }},
      {"create more",
       [&] {
         e2 = write(provider->createTimeEntry(utc(10), utc(10, 30), b->objectID(), false, {}));
         e3 = write(provider->createTimeEntry(utc(11), utc(11, 20), c->objectID(), false, {}));
       }},
      {"create running", [&] { write(provider->createTimeEntry(utc(12), std::nullopt, b->objectID(), false, {})); }},
      {"re-time", [&] { write(provider->updateTimeEntry(e1->objectID(), {{Key::begin, utc(8, 15)}})); }},
      {"move to top-level task", [&] { write(provider->updateTimeEntry(e1->objectID(), {{Key::taskId, c->objectID()}})); }},
      {"move and re-time into folder",
       [&] { write(provider->updateTimeEntry(e3->objectID(), {{Key::taskId, a->objectID()}, {Key::end, utc(11, 45)}})); }},
      {"re-time several", [&] { write(provider->updateTimeEntries({e2->objectID(), e3->objectID()}, {{Key::end, utc(13)}})); }},
      {"duplicate", [&] { copy = write(provider->duplicateTimeEntry(e2, true)); }},
      {"delete", [&] { write(provider->deleteTimeEntries({e2})); }},
      {"merge",
       [&] {
         write(provider->mergeSessions({*e1->identifier(), *copy->identifier()}, *a->identifier(),
                                       MainDataProvider::SessionMergeType::byPushingSessionsTogether));
       }},
      {"move task out of its folders",
       [&] { write(provider->moveNodes({MoveNodeOption(a->objectID(), std::nullopt, OrderOption::last)})); }},
      {"move task into a folder",
       [&] { write(provider->moveNodes({MoveNodeOption(a->objectID(), g->objectID(), OrderOption::order(0))})); }},
      {"delete task", [&] { write(provider->deleteNodes({b->objectID()})); }},
      {"move folder to the top",
       [&] { write(provider->moveNodes({MoveNodeOption(g->objectID(), std::nullopt, OrderOption::last)})); }},
  };
  for (const auto& [name, run] : steps) {
    run();
    EXPECT_EQ(render(provider->verifyConfirmedDurations()), "") << "after " << name;
    EXPECT_FALSE(context().hasChanges()) << "after " << name;
  }
  // A came back into G with e3 (2 h) and the merged entry (1 h 45 min pushed against 3 h);
  // C lost its only entry to the merge; F lost G.
  EXPECT_DOUBLE_EQ(a->confirmedDuration(), 7200 + 6300 + 10800);
  EXPECT_DOUBLE_EQ(g->confirmedDuration(), a->confirmedDuration());
  EXPECT_DOUBLE_EQ(c->confirmedDuration(), 0);
  EXPECT_DOUBLE_EQ(f->confirmedDuration(), 0);

  // Deleting a folder with entries below it recounts its parent.
  write(provider->moveNodes({MoveNodeOption(g->objectID(), f->objectID(), OrderOption::last)}));
  ASSERT_DOUBLE_EQ(f->confirmedDuration(), a->confirmedDuration());
  write(provider->deleteNodes({g->objectID()}));
  EXPECT_DOUBLE_EQ(f->confirmedDuration(), 0);
  EXPECT_EQ(render(provider->verifyConfirmedDurations()), "");
}

TEST_F(MainDataProviderDurationTest, StaleTotalsAreFoundToTheSecondAndRepairedInOneSave) {
  // 1 h on A, 30 min on B, 20 min on C, and a running entry on B that counts for nothing.
  write(provider->createTimeEntry(utc(9), utc(10), a->objectID(), false, {}));
  write(provider->createTimeEntry(utc(10), utc(10, 30), b->objectID(), false, {}));
  write(provider->createTimeEntry(utc(11), utc(11, 20), c->objectID(), false, {}));
  write(provider->createTimeEntry(utc(12), std::nullopt, b->objectID(), false, {}));
  EXPECT_EQ(render(provider->verifyConfirmedDurations()), "");

  // Saved the way a crash leaves them: A off by one second, G still holding A's old total,
  // F from nowhere, B and C right.
  a->setConfirmedDuration(3601);
  f->setConfirmedDuration(7);
  save();
  MainQueue::shared().runPending();
  takeEvents();
  EXPECT_EQ(render(provider->verifyConfirmedDurations()), "F 7→5400, A 3601→3600");

  EXPECT_EQ(render(write(provider->repairConfirmedDurations())), "F 7→5400, A 3601→3600");
  EXPECT_EQ(takeEvents(), "returned | " + changed("[]", R"(["task", "folder"])", "[]")) << "one save, announced once";
  EXPECT_EQ(render(provider->verifyConfirmedDurations()), "");
  EXPECT_DOUBLE_EQ(f->confirmedDuration(), 5400);
  EXPECT_DOUBLE_EQ(g->confirmedDuration(), 3600);

  // Nothing stale: the repair changes and saves nothing.
  EXPECT_EQ(render(write(provider->repairConfirmedDurations())), "");
  EXPECT_EQ(takeEvents(), "returned");
}

}  // namespace
}  // namespace chronelle::testing
