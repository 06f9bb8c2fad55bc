#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "teststack/ProviderFixture.h"
#include "chronelle/data/ManagedObjectFetcherError.h"
#include "chronelle/model/Rule.h"
#include "chronelle/model/RuleSet.h"
#include "chronelle/store/StoreError.h"

namespace chronelle::testing {
namespace {

class MainDataProviderWriteTest : public ProviderFixture {
 protected:
  MainDataProviderWriteTest() {
    f = makeFolder("F");
    a = makeTask("A", f, 0);
    b = makeTask("B", f, 1);
    top = makeTask("Top", nullptr, 1);
    entry = makeSession(a, utc(9), utc(10));
    gone = makeSession(a, utc(10), utc(11));
    save();
    goneId = gone->objectID();
    context().deleteObject(gone);
    saveAndSettle();
  }

  std::shared_ptr<Folder> f;
  std::shared_ptr<Task> a, b, top;
  std::shared_ptr<Session> entry, gone;
  ObjectID goneId;
};

TEST_F(MainDataProviderWriteTest, FailingWriteRollsBackEverythingAndThrowsToTheCaller) {
  // The error as "category value", whichever of the two kinds it is.
  auto kind = [](const std::exception& e) {
    std::error_code code;
    if (auto* store = dynamic_cast<const StoreError*>(&e)) return "store " + std::to_string(store->code());
    if (auto* system = dynamic_cast<const std::system_error*>(&e)) code = system->code();
    return std::string(code.category().name()) + " " + std::to_string(code.value());
  };
  const std::string notFound = "store " + std::to_string(StoreError::kObjectNotFound);
  const std::string noName = "store " + std::to_string(StoreError::kValidationMissingMandatoryProperty);
  const std::error_code wrongType = ManagedObjectFetcherError::wrongExpectedReturnObjectType;
  auto moveTopThen = [&](const ObjectID& id) {
    return provider->moveNodes({MoveNodeOption(top->objectID(), f->objectID(), OrderOption::order(0)),
                                MoveNodeOption(id, std::nullopt, OrderOption::last)});
  };
  const struct {
    const char* name;
    std::function<asio::awaitable<void>()> run;
    std::string expected;
  } cases[] = {
      {"move, then a time entry as node", [&] { return moveTopThen(entry->objectID()); },
       std::string(wrongType.category().name()) + " " + std::to_string(wrongType.value())},
      {"move, then a missing node", [&] { return moveTopThen(goneId); }, notFound},
      {"update a missing entry among others",
       [&] { return provider->updateTimeEntries({entry->objectID(), goneId}, {{TimeEntryChangeKey::end, utc(12)}}); },
       notFound},
      {"blank name with other changes",
       [&] {
         return provider->updateNode(a->objectID(), {{NodeChangeKey::name, std::string("  ")}, {NodeChangeKey::colorId, 5},
                                                     {NodeChangeKey::parentId, std::optional<ObjectID>()},
                                                     {NodeChangeKey::order, OrderOption::last}});
       },
       noName},
      {"new task with a blank name inside a folder", [&] { return discardResult(provider->createTask(
                                                         {{NodeChangeKey::name, std::string("")}, {NodeChangeKey::parentId, f->objectID()}})); },
       noName},
      {"archive with a missing node", [&] { return provider->archiveNodes({f->objectID(), goneId}, true); }, notFound},
  };
  std::vector<std::string> archiveNotices;
  auto archiveObserver = NotificationCenter::defaultCenter().addObserver(
      DataNotifications::didArchiveNodes, nullptr,
      [&](const Notification& n) { archiveNotices.push_back(n.name); });
  // Everything the cases touch, as it was before each of them.
  auto state = [&] {
    return std::to_string(top->parent() == nullptr) + " " + entry->end().value_or(Date()).isoString() + " " +
           a->name() + " " + std::to_string(a->colorId()) + " " + (a->parent() ? a->parent()->name() : "-") +
           " " + std::to_string(f->archived()) + " " + std::to_string(f->children().size()) + " " +
           std::to_string(provider->getAllTasks(true).size());
  };
  const std::string before = state();
  ASSERT_EQ(before, "1 " + utc(10).isoString() + " A 0 F 0 2 3");
  for (const auto& c : cases) {
    try {
      write(c.run());
      ADD_FAILURE() << "case " << c.name << ": no error";
    } catch (const std::exception& error) {
      EXPECT_EQ(kind(error), c.expected) << "case " << c.name << ": " << error.what();
    }
    EXPECT_EQ(takeEvents(), "") << "case " << c.name;
    EXPECT_FALSE(context().hasChanges()) << "case " << c.name;
    EXPECT_EQ(state(), before) << "case " << c.name;
  }
  EXPECT_TRUE(archiveNotices.empty());
}

TEST_F(MainDataProviderWriteTest, ArchivingAnnouncesTheGivenIdsAfterTheWrite) {
  top->setArchived(true);
  saveAndSettle();
  const std::vector<ObjectID> ids = {top->objectID(), f->objectID(), top->objectID()};
  auto observer = NotificationCenter::defaultCenter().addObserver(
      DataNotifications::didArchiveNodes, nullptr, [&](const Notification& n) {
        const auto* given = n.value<std::vector<ObjectID>>(DataNotifications::nodeIdsKey);
        const bool asGiven = n.object == provider.get() && given && *given == ids;
        events.push_back(asGiven ? "archived" : "archived, but not the given ids by the provider");
      });

  write(provider->archiveNodes(ids, true));
  EXPECT_EQ(takeEvents(), "archived | returned | " + changed("[]", R"(["task", "folder"])", "[]"));
  EXPECT_TRUE(f->archived() && a->archived() && b->archived());
  // The folder goes last among the archived top-level nodes; the archived task was not moved.
  EXPECT_EQ(std::tuple(top->order(), f->order()), std::tuple(0, 1));

  // Nothing left to archive: nothing is saved, the notice still comes.
  write(provider->archiveNodes(ids, true));
  EXPECT_EQ(takeEvents(), "archived | returned");
}

// A folder selected together with one of its tasks: archiving the folder marks the task too,
// and the task must still be moved, after the folder.
TEST_F(MainDataProviderWriteTest, FolderAndItsOwnTaskSelectedAreEachMovedToTheTop) {
  write(provider->archiveNodes({f->objectID(), a->objectID()}, true));
  EXPECT_TRUE(a->archived() && b->archived() && b->parent() == f);
  EXPECT_EQ(names(topLevel(true)), "F A");
  write(provider->unarchiveNodes({f->objectID(), b->objectID()}, true));
  EXPECT_FALSE(f->archived() || b->archived());
  EXPECT_EQ(names(topLevel(false)) + " | " + names(topLevel(true)), "Top F B | A");
}

TEST_F(MainDataProviderWriteTest, RuleIsCopiedIntoANewRuleSetFromATemplate) {
  auto scratch = stack->childContext();
  auto rule = scratch->insert<Rule>(Rule::kEntityName);
  rule->setApplicationPath("/Applications/Editor.app"), rule->setFilePath("/tmp/x"), rule->setTypeValue(3);
  rule->setWebsiteUrl("example.org"), rule->setText("text"), rule->setRelationValue(2);
  rule->setIsInActiveWindow(true), rule->setUserInfo(ValueDictionary{{"k", Value("v")}});

  write(provider->createRule(rule, a->objectID()));
  write(provider->createRule(rule, a->objectID()));
  EXPECT_EQ(takeEvents(), "returned | " + changed(R"(["ruleSet", "rule"])", R"(["task"])", "[]") +
                              " | returned | " + changed(R"(["rule"])", R"(["ruleSet"])", "[]"));
  auto set = a->ruleSet();
  ASSERT_TRUE(set && set->rules().size() == 2u);
  auto copy = std::dynamic_pointer_cast<Rule>(set->rules().front());
  ASSERT_TRUE(copy && copy != rule);
  const Rule& r = *copy;
  EXPECT_EQ(r.applicationPath().value_or("-") + " " + r.filePath().value_or("-") + " " +
                std::to_string(r.typeValue()) + " " + r.websiteUrl().value_or("-") + " " +
                r.text().value_or("-") + " " + std::to_string(r.relationValue()) + " " +
                std::to_string(r.isInActiveWindow()) + " " + std::to_string(set->startTypeIndex()) +
                std::to_string(set->pauseTypeIndex()) + " " +
                std::to_string(r.userInfo() == rule->userInfo()),
            "/Applications/Editor.app /tmp/x 3 example.org text 2 1 12 1");
  EXPECT_TRUE(rule->isInserted() && rule->managedObjectContext() == scratch.get())
      << "the template stays a draft";
}

}  // namespace
}  // namespace chronelle::testing
