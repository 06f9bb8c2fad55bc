// Verifying and repairing stored totals against the saved entries, through the provider.

#include <gtest/gtest.h>

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

class ConfirmedDurationRepairTest : public ProviderFixture {
 protected:
  // Tree: F { G { A }, B }, C at the top; entries of 1 h on A, 30 min on B, 20 min on C, and
  // one running on B that counts for nothing.
  ConfirmedDurationRepairTest() {
    f = makeFolder("F", nullptr, 0);
    g = makeFolder("G", f, 0);
    a = makeTask("A", g, 0);
    b = makeTask("B", f, 1);
    c = makeTask("C", nullptr, 1);
    save();
    MainQueue::shared().runPending();
    write(provider->createTimeEntry(utc(9), utc(10), a->objectID(), false, {}));
    write(provider->createTimeEntry(utc(10), utc(10, 30), b->objectID(), false, {}));
    write(provider->createTimeEntry(utc(11), utc(11, 20), c->objectID(), false, {}));
    write(provider->createTimeEntry(utc(12), std::nullopt, b->objectID(), false, {}));
    takeEvents();
  }

  // Saves wrong totals the way a crash leaves them: entries saved, the recount not.
  void corrupt(const std::vector<std::pair<std::shared_ptr<Node>, double>>& values) {
    for (const auto& [node, value] : values) node->setConfirmedDuration(value);
    save();
    MainQueue::shared().runPending();
    takeEvents();
  }

  std::shared_ptr<Folder> f, g;
  std::shared_ptr<Task> a, b, c;
};

TEST_F(ConfirmedDurationRepairTest, FindsEveryDisagreementToTheSecondAndRepairsThemInOneSave) {
  EXPECT_EQ(render(provider->verifyConfirmedDurations()), "");

  // A off by one second, G still holding A's old total, F from nowhere, B and C right.
  corrupt({{a, 3601}, {f, 7}});
  EXPECT_EQ(render(provider->verifyConfirmedDurations()), "F 7→5400, A 3601→3600");

  const auto repaired = write(provider->repairConfirmedDurations());
  EXPECT_EQ(render(repaired), "F 7→5400, A 3601→3600");
  EXPECT_EQ(takeEvents(), "returned | " + changed("[]", R"(["task", "folder"])", "[]"))
      << "one save, announced once";
  EXPECT_EQ(render(provider->verifyConfirmedDurations()), "");
  EXPECT_DOUBLE_EQ(f->confirmedDuration(), 5400);
  EXPECT_DOUBLE_EQ(g->confirmedDuration(), 3600);

  // Nothing stale: the repair changes and saves nothing.
  EXPECT_EQ(render(write(provider->repairConfirmedDurations())), "");
  EXPECT_EQ(takeEvents(), "returned");
}

}  // namespace
}  // namespace chronelle::testing
