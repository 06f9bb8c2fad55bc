// The small edits of BaseDataProvider (saving with recovery, rules, stored references), and
// its reads on a broken store.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "teststack/StackFixture.h"
#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/DataModifier.h"
#include "chronelle/model/ALEntry.h"
#include "chronelle/model/Rule.h"
#include "chronelle/model/RuleCombination.h"
#include "chronelle/model/RuleSet.h"
#include "chronelle/platform/UserDefaults.h"

namespace chronelle::testing {
namespace {

class BaseDataProviderEdit : public StackFixture {
 protected:
  BaseDataProvider provider{stack->viewContext()};

  // Saves through the provider and returns the error code (0 for none).
  int saveThroughProvider() {
    int code = -1;
    provider.saveContext([&](const std::optional<StoreError>& error) { code = error ? error->code() : 0; });
    return code;
  }
};

TEST_F(BaseDataProviderEdit, SaveRestoresABlankNodeNameAndPassesOtherErrorsOn) {
  EXPECT_EQ(saveThroughProvider(), 0) << "nothing to save";
  auto task = makeTask("Report");
  EXPECT_EQ(saveThroughProvider(), 0);

  task->setName("   ");
  EXPECT_EQ(saveThroughProvider(), 0);
  EXPECT_EQ(task->name(), "Report");
  EXPECT_FALSE(context().hasChanges());

  // A new node has no saved name to go back to: the error reaches the caller.
  auto fresh = makeTask("\n");
  EXPECT_EQ(saveThroughProvider(), StoreError::kValidationMissingMandatoryProperty);
  EXPECT_TRUE(context().hasChanges());
  context().deleteObject(fresh);

  // A missing value of another object is passed on as it is, without a log record...
  auto noBegin = context().insert<Session>(Session::kEntityName);
  EXPECT_EQ(saveThroughProvider(), StoreError::kValidationMissingMandatoryProperty);
  EXPECT_TRUE(logs.records("Data").empty()) << logs.transcript();
  // ...and any other error is logged too.
  context().insert<Session>(Session::kEntityName);
  EXPECT_EQ(saveThroughProvider(), StoreError::kMultipleValidationErrors);
  ASSERT_EQ(logs.records("Data").size(), 1u) << logs.transcript();
  EXPECT_EQ(logs.records("Data").front().message, "Unable to handle error on saving context");
}

// A rule set with r0 r1 r2 and a combination c (holding c0 c1) at the top level.
class BaseDataProviderRules : public BaseDataProviderEdit {
 protected:
  void SetUp() override {
    set = provider.newRuleSet();
    combination = provider.newRuleCombination();
    for (const char* name : {"r0", "r1", "r2", "c", "c0", "c1"}) {
      std::shared_ptr<RuleBase> rule = combination;
      if (name != std::string("c")) rule = provider.newRule(), rule->setValue("text", std::string(name));
      const bool inside = name[0] == 'c' && name[1];
      inside ? rule->setParent(combination) : rule->setSet(set);
      rule->setOrder(static_cast<std::int16_t>((inside ? combination->children() : set->rules()).size() - 1));
    }
  }
  static std::string nameOf(const std::shared_ptr<RuleBase>& rule) {
    auto leaf = std::dynamic_pointer_cast<Rule>(rule);
    return leaf ? leaf->text().value_or("?") : "c";
  }
  // Top-level rules by order, then the combination's children: "name=order[*]" where *
  // marks an active rule.
  std::string layout() {
    auto render = [&](std::vector<std::shared_ptr<RuleBase>> rules) {
      std::stable_sort(rules.begin(), rules.end(), [](auto& a, auto& b) { return a->order() < b->order(); });
      std::string text;
      for (const auto& r : rules) {
        text += (text.empty() ? "" : " ") + nameOf(r) + "=" + std::to_string(r->order()) + (r->active() ? "*" : "");
      }
      return text;
    };
    return render(set->rules()) + " | " + render(combination->children());
  }
  std::shared_ptr<RuleBase> rule(const std::string& name) {
    for (const auto& list : {set->rules(), combination->children()}) {
      for (const auto& r : list) {
        if (nameOf(r) == name) return r;
      }
    }
    return nullptr;
  }

  std::shared_ptr<RuleSet> set;
  std::shared_ptr<RuleCombination> combination;
};

TEST_F(BaseDataProviderRules, MovesKeepOrderAndFollowTheTarget) {
  ASSERT_EQ(layout(), "r0=0* r1=1* r2=2* c=3* | c0=0* c1=1*");
  // Each case starts from the layout the previous one left.
  const struct {
    const char* name;
    std::vector<std::string> moved;
    bool intoCombination;
    std::size_t index;
    std::string expected;
  } cases[] = {
      {"one rule to the front", {"r2"}, false, 0, "r2=0* r0=1* r1=2* c=3* | c0=0* c1=1*"},
      {"index beyond the siblings", {"r0"}, false, 5, "r2=0* r0=1* r1=2* c=3* | c0=0* c1=1*"},
      {"onto its own place", {"r0"}, false, 1, "r2=0* r0=1* r1=2* c=3* | c0=0* c1=1*"},
      {"two rules down, order kept", {"r2", "r0"}, false, 4, "r1=0* c=1* r2=2* r0=3* | c0=0* c1=1*"},
      // Only the destination is renumbered; the rules left behind keep their orders.
      {"into the combination", {"r1"}, true, 1, "c=1* r2=2* r0=3* | c0=0* r1=1* c1=2*"},
      {"combination into a combination", {"c"}, true, 0, "c=1* r2=2* r0=3* | c0=0* r1=1* c1=2*"},
      {"combination with its child", {"c", "c0"}, false, 3, "r2=0* r0=1* c=2* | c0=0* r1=1* c1=2*"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::shared_ptr<RuleBase>> moved;
    for (const auto& n : c.moved) moved.push_back(rule(n));
    // Combinations do not nest; the write side asks the same question.
    const bool allowed = !(c.intoCombination && c.moved.front() == "c");
    EXPECT_EQ(provider.checkThatRules(moved, c.intoCombination ? combination : nullptr), allowed);
    EXPECT_EQ(DataModifier(stack->viewContext()).canRules(moved, c.intoCombination ? combination : nullptr), allowed);
    provider.moveRules(moved, set, c.intoCombination ? combination : nullptr, c.index);
    EXPECT_EQ(layout(), c.expected);
  }
  EXPECT_TRUE(!rule("r1")->set() && rule("r1")->parent() == combination) << "it hangs from the combination only";
  EXPECT_NO_THROW(save());
}

TEST_F(BaseDataProviderRules, ActivationFollowsTheCombination) {
  provider.setRuleIsActive(combination, false);
  EXPECT_EQ(layout(), "r0=0* r1=1* r2=2* c=3 | c0=0 c1=1");
  provider.setRuleIsActive(rule("c0"), true);
  EXPECT_EQ(layout(), "r0=0* r1=1* r2=2* c=3 | c0=0 c1=1") << "not alone inside an inactive combination";

  // Moving a rule into the inactive combination makes it inactive; moving it out again
  // switches it back on.
  provider.moveRules({rule("r0")}, set, combination, 0);
  EXPECT_EQ(layout(), "r1=1* r2=2* c=3 | r0=0 c0=1 c1=2");
  provider.moveRules({rule("c1")}, set, nullptr, 0);
  EXPECT_EQ(layout(), "c1=0* r1=1* r2=2* c=3 | r0=0 c0=1");

  provider.setRuleIsActive(combination, true);
  EXPECT_EQ(layout(), "c1=0* r1=1* r2=2* c=3* | r0=0* c0=1*");
  provider.setRuleIsActive(rule("c0"), false);
  EXPECT_EQ(layout(), "c1=0* r1=1* r2=2* c=3* | r0=0* c0=1");

  provider.deleteRule(combination);
  DataModifier(stack->viewContext()).deleteRule(rule("r2"));
  save();
  EXPECT_EQ(context().count(FetchRequest(RuleBase::kEntityName)), 2u) << "its children went with it";
}

TEST_F(BaseDataProviderEdit, ObjectReferencesSurviveInTheUserDefaults) {
  const char* key = "TPCurrentTask";
  auto task = makeTask("Remembered");
  save();
  // Whether the file holds the key, read by a fresh reader (every change is written at once).
  auto stored = [&] { return UserDefaults(UserDefaults::standard()->path()).contains(key); };
  provider.setManagedObjectInUserDefaults(nullptr, key);
  EXPECT_TRUE(!stored() && !provider.managedObjectFromUserDefaults(key));
  provider.setManagedObjectInUserDefaults(task, key);
  EXPECT_TRUE(stored() && provider.managedObjectFromUserDefaults(key) == task);

  context().deleteObject(task);
  save();
  EXPECT_EQ(provider.managedObjectFromUserDefaults(key), nullptr) << "the object is gone";
  UserDefaults::standard()->setData(key, UserDefaults::Data{'n', 'o', 'p', 'e'});
  EXPECT_EQ(provider.managedObjectFromUserDefaults(key), nullptr);
  provider.removeManagedObjectFromUserDefaults(key);
  EXPECT_FALSE(stored());
}

// Reads on a broken store log their fixed message and return their empty result.
// Drops every table of the store behind the stack's back, as a damaged file would look.
void dropAllTables(const std::filesystem::path& file) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  std::string drops;
  auto collect = [](void* out, int, char** values, char**) {
    *static_cast<std::string*>(out) += "DROP TABLE \"" + std::string(values[0]) + "\";";
    return 0;
  };
  sqlite3_exec(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'", collect,
               &drops, nullptr);
  ASSERT_FALSE(drops.empty());
  EXPECT_EQ(sqlite3_exec(db, drops.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

using BaseDataProviderError = StackFixture;

// Each read logs its fixed message once, at error level with the error, through the context's
// handler (which names the context) or straight to the logger, and returns its empty result.
TEST_F(BaseDataProviderError, ReadsOnABrokenStoreLogAndReturnEmpty) {
  auto task = makeTask("Task");
  save();
  BaseDataProvider provider(stack->viewContext());
  dropAllTables(stack->persistentStoreCoordinator()->storeFile());
  // How a record came: "handler", "logger" or "?"; and whether it carries an error.
  auto render = [](const LogRecord& r) {
    const auto context = r.metadata.find("contextType");
    const bool handler = context != r.metadata.end() && context->second.toString() == "mainQueueConcurrencyType";
    const bool logger = r.function == "error(_:_:file:)";
    const auto error = r.metadata.find("error");
    return r.message + (handler ? " via handler" : logger ? " via logger" : " via ?") +
           (r.level == LogLevel::error ? "" : " not an error") +
           (error != r.metadata.end() && !error->second.toString().empty() ? "" : " without the error");
  };
  const std::pair<std::function<bool()>, std::string> reads[] = {
      {[&] { return !provider.getTotalTasksCount(); }, "Error on fetching count in getTotalTasksCount via handler"},
      {[&] { return provider.getAllTasks(true).empty(); }, "Error on fetching all tasks in getAllTasks via handler"},
      {[&] { return !provider.getTask(*task->identifier()); }, "Error on getting task via logger"},
      {[&] { return !provider.getFolder("x"); }, "Error on getting folder via logger"},
      {[&] { return provider.getRecentTasks(5).empty(); }, "Error on getting recent tasks via logger"},
      {[&] { return provider.getChildren(nullptr, NodeFilter::allNodes).empty(); },
       "Error on getting children of folder via handler"},
      {[&] { return provider.getSessions(SessionQuery3{}).empty(); }, "Error on getting time entries via handler"},
      {[&] { return !provider.getSession("x"); }, "Error on getting session via logger"},
      {[&] { return !provider.getSessionCount({task}); }, "Error on getting time entries count via handler"},
      {[&] { return !provider.getOldestSession({}); }, "Error on getting oldest time entry via handler"},
      {[&] { return !provider.getLatestTimeEntry({task}); }, "Error on getting latest time entry via handler"},
      {[&] { return provider.getRunningTimeEntries().empty(); }, "Error on getting running time entries via handler"},
      {[&] { return provider.getActiveRuleSets().empty(); }, "Error on getting active rule sets via handler"},
      {[&] { return provider.getActivityLogs(std::nullopt, std::nullopt).empty(); },
       "Error on getting logs via handler"},
      // The lookup by ID logs nothing.
      {[&] { return !provider.getObject(ObjectID::permanent("Task", 77, stack->persistentStoreCoordinator()->storeIdentifier())); },
       ""},
  };
  for (const auto& [readIsEmpty, expected] : reads) {
    logs.clear();
    bool empty = false;
    EXPECT_NO_THROW(empty = readIsEmpty()) << expected;
    std::string seen;
    for (const auto& record : logs.records("Data")) seen += (seen.empty() ? "" : " | ") + render(record);
    EXPECT_EQ(seen + (empty ? "" : " (and a result)"), expected);
  }

  // The handler's own message, naming a background context.
  BaseDataProvider(stack->privateContext()).handleContextError(std::runtime_error("boom"));
  const auto records = logs.records("Data");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message + " " + records[0].metadata.at("error").toString() + " " +
                records[0].metadata.at("contextType").toString(),
            "Context operation error boom privateQueueConcurrencyType");
}

}  // namespace
}  // namespace chronelle::testing
