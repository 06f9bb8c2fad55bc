#include <functional>
#include <map>
#include <string>

#include "DataModifierFixture.h"

namespace chronelle::testing {
namespace {

using Key = TimeEntryChangeKey;

// The stored confirmed durations of tasks and folders must always equal, after a write and
// its recount, the whole seconds of the saved finished entries below them.
class DataModifierDurationsTest : public DataModifierFixture {
 protected:
  void SetUp() override {
    root = makeFolder("Root");
    sub = makeFolder("Sub", root);
    a = makeTask("A", sub);
    b = makeTask("B", root, 1);
    top = makeTask("Top", nullptr, 1);
    save();
  }

  // Seconds of the finished entries booked on `task`, summed here from begin and end.
  double expectedTask(const std::shared_ptr<Task>& task) {
    double sum = 0;
    for (const auto& object : context().fetch(Session::fetchRequest())) {
      auto session = std::dynamic_pointer_cast<Session>(object);
      if (session->task() == task && session->end()) sum += wholeSeconds(*session->begin(), *session->end());
    }
    return sum;
  }

  void expectConsistent() {
    const double ea = expectedTask(a), eb = expectedTask(b), etop = expectedTask(top);
    EXPECT_EQ(a->confirmedDuration(), ea) << "A";
    EXPECT_EQ(b->confirmedDuration(), eb) << "B";
    EXPECT_EQ(top->confirmedDuration(), etop) << "Top";
    EXPECT_EQ(sub->confirmedDuration(), ea) << "Sub";
    EXPECT_EQ(root->confirmedDuration(), eb + (sub->parent() == root ? ea : 0.0)) << "Root";
    EXPECT_FALSE(context().hasChanges());
  }

  std::shared_ptr<Folder> root, sub;
  std::shared_ptr<Task> a, b, top;
};

TEST_F(DataModifierDurationsTest, StoredTotalsFollowEveryWrite) {
  EXPECT_FALSE(modifier.updateNodesConfirmedDurationsIfNeeded()) << "nothing recorded, nothing to do";

  std::shared_ptr<Session> first, second, running;
  const std::vector<std::pair<std::string, std::function<void()>>> steps = {
      {"book two entries", [&] {
         first = entry(a, utc(9), utc(10) + 0.8);
         second = entry(b, utc(10), utc(10, 45));
       }},
      {"start a running entry", [&] { running = entry(top, utc(11), std::nullopt); }},
      {"stop it", [&] { modifier.updateTimeEntry(*running, {{Key::end, utc(11, 20) + 0.4}}); }},
      {"re-time the first", [&] { modifier.updateTimeEntry(*first, {{Key::begin, utc(8, 59) + 0.3}}); }},
      {"move and re-time together",
       [&] {
         modifier.updateTimeEntry(*first, {{Key::end, utc(9, 30)}, {Key::taskId, top->objectID()}});
       }},
      {"move to a task in another folder", [&] { modifier.updateTimeEntry(*second, {{Key::taskId, a->objectID()}}); }},
      {"duplicate", [&] { modifier.duplicateTimeEntry(*second, false); }},
      {"delete an entry", [&] { modifier.deleteTimeEntry(*first); }},
      {"move the folder to the top", [&] { modifier.updateNode(*sub, std::nullopt, OrderOption::last); }},
  };
  for (const auto& [name, step] : steps) {
    SCOPED_TRACE(name);
    step();
    saveAndRecount();
    expectConsistent();
  }
  EXPECT_EQ(sub->parent(), nullptr);
}

TEST_F(DataModifierDurationsTest, DeletingTheOnlyEntryDropsTheTotalsUpTheChain) {
  auto only = entry(a, utc(9), utc(10));
  saveAndRecount();
  ASSERT_EQ(a->confirmedDuration(), 3600);
  ASSERT_EQ(root->confirmedDuration(), 3600);

  modifier.deleteTimeEntry(*only);
  EXPECT_TRUE(modifier.updateNodesConfirmedDurationsIfNeeded()) << "the deletion is still unsaved";
  EXPECT_EQ(a->confirmedDuration(), 3600) << "the aggregate sees saved entries only";
  save();
  EXPECT_FALSE(modifier.updateNodesConfirmedDurationsIfNeeded()) << "the record was emptied";
  modifier.nodesWantUpdateConfirmedDuration().insert(a);
  EXPECT_TRUE(modifier.updateNodesConfirmedDurationsIfNeeded());
  save();
  EXPECT_EQ(a->confirmedDuration(), 0);
  EXPECT_EQ(sub->confirmedDuration(), 0);
  EXPECT_EQ(root->confirmedDuration(), 0);

  // Deleting a folder with entries below it recounts its parent.
  entry(a, utc(9), utc(9, 10));
  entry(b, utc(9), utc(9, 20));
  saveAndRecount();
  ASSERT_EQ(root->confirmedDuration(), 1800);
  modifier.deleteNodes({sub});
  saveAndRecount();
  EXPECT_EQ(root->confirmedDuration(), 1200);
  EXPECT_EQ(b->confirmedDuration(), 1200);
}

}  // namespace
}  // namespace chronelle::testing
