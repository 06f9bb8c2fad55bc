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
#include "chronelle/data/TimeEntryRow.h"
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
      if (name != std::string("c")) rule = provider.newRule(), rule->setValue("text", name);
      const bool inside = name[0] == 'c' && name[1];
      inside ? rule->setParent(combination) : rule->setSet(set);
      const auto siblings = inside ? combination->children() : set->rules();
      rule->setOrder(static_cast<std::int16_t>(siblings.size() - 1));
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
      for (const auto& r : rules)
        text += (text.empty() ? "" : " ") + nameOf(r) + "=" + std::to_string(r->order()) + (r->active() ? "*" : "");
      return text;
    };
    return render(set->rules()) + " | " + render(combination->children());
  }
  std::shared_ptr<RuleBase> rule(const std::string& name) {
    for (const auto& list : {set->rules(), combination->children()}) {
      for (const auto& r : list)
        if (nameOf(r) == name) return r;
    }
    return nullptr;
  }

  std::shared_ptr<RuleSet> set;
  std::shared_ptr<RuleCombination> combination;
};

// Moves keep the order of what moves and renumber only the destination, combinations do not
// nest, and a rule is active only with its combination. Each step starts where the last ended.
TEST_F(BaseDataProviderRules, MovesAndActivationFollowTheTarget) {
  ASSERT_EQ(layout(), "r0=0* r1=1* r2=2* c=3* | c0=0* c1=1*");
  // The read and the write side agree on whether the rules may go there.
  const auto move = [this](std::vector<std::string> names, bool intoCombination, std::size_t at) {
    return [=, this] {
      std::vector<std::shared_ptr<RuleBase>> moved;
      for (const auto& n : names) moved.push_back(rule(n));
      const auto target = intoCombination ? combination : nullptr;
      const bool allowed = !(intoCombination && names.front() == "c");
      EXPECT_EQ(provider.checkThatRules(moved, target), allowed);
      EXPECT_EQ(DataModifier(stack->viewContext()).canRules(moved, target), allowed);
      provider.moveRules(moved, set, target, at);
    };
  };
  const auto activate = [this](const char* name, bool active) {
    return [=, this] { provider.setRuleIsActive(rule(name), active); };
  };
  const std::tuple<const char*, std::function<void()>, std::string> steps[] = {
      {"one rule to the front", move({"r2"}, false, 0), "r2=0* r0=1* r1=2* c=3* | c0=0* c1=1*"},
      {"index beyond the siblings", move({"r0"}, false, 5), "r2=0* r0=1* r1=2* c=3* | c0=0* c1=1*"},
      {"onto its own place", move({"r0"}, false, 1), "r2=0* r0=1* r1=2* c=3* | c0=0* c1=1*"},
      {"two down in order", move({"r2", "r0"}, false, 4), "r1=0* c=1* r2=2* r0=3* | c0=0* c1=1*"},
      {"into the combination", move({"r1"}, true, 1), "c=1* r2=2* r0=3* | c0=0* r1=1* c1=2*"},
      {"combination into one", move({"c"}, true, 0), "c=1* r2=2* r0=3* | c0=0* r1=1* c1=2*"},
      {"with its child", move({"c", "c0"}, false, 3), "r2=0* r0=1* c=2* | c0=0* r1=1* c1=2*"},
      {"combination off", activate("c", false), "r2=0* r0=1* c=2 | c0=0 r1=1 c1=2"},
      {"child alone on", activate("c0", true), "r2=0* r0=1* c=2 | c0=0 r1=1 c1=2"},
      {"into the inactive one", move({"r0"}, true, 0), "r2=0* c=2 | r0=0 c0=1 r1=2 c1=3"},
      {"out of it", move({"c1"}, false, 0), "c1=0* r2=1* c=2 | r0=0 c0=1 r1=2"},
      {"combination on", activate("c", true), "c1=0* r2=1* c=2* | r0=0* c0=1* r1=2*"},
      {"child off", activate("c0", false), "c1=0* r2=1* c=2* | r0=0* c0=1 r1=2*"},
  };
  for (const auto& [step, run, expected] : steps) {
    run();
    EXPECT_EQ(layout(), expected) << step;
  }
  EXPECT_TRUE(!rule("r1")->set() && rule("r1")->parent() == combination) << "only inside";
  EXPECT_NO_THROW(save());
  provider.deleteRule(combination);
  DataModifier(stack->viewContext()).deleteRule(rule("r2"));
  save();
  EXPECT_EQ(context().count(FetchRequest(RuleBase::kEntityName)), 1u) << "the children went along";
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
  const char* tables =
      "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'";
  sqlite3_exec(db, tables, collect, &drops, nullptr);
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
  // A record as its message, how it came ("via handler" or "via logger") and what it lacks.
  auto render = [](const LogRecord& r) {
    auto text = [&](const char* key) {
      const auto found = r.metadata.find(key);
      return found == r.metadata.end() ? std::string() : found->second.toString();
    };
    const bool logger = r.function == "error(_:_:file:)";
    return r.message + (text("contextType") == "mainQueueConcurrencyType" ? " via handler"
                        : logger                                          ? " via logger"
                                                                          : " via ?") +
           (r.level == LogLevel::error ? "" : " not an error") +
           (text("error").empty() ? " without the error" : "");
  };
  const BaseDataProvider& p = provider;
  const bool H = true, L = false;  // through the handler, straight to the logger
  const ObjectID missing =
      ObjectID::permanent("Task", 77, stack->persistentStoreCoordinator()->storeIdentifier());
  const std::tuple<const char*, bool, std::function<bool()>> reads[] = {
      {"fetching count in getTotalTasksCount", H, [&] { return !p.getTotalTasksCount(); }},
      {"fetching all tasks in getAllTasks", H, [&] { return p.getAllTasks(true).empty(); }},
      {"getting task", L, [&] { return !p.getTask(*task->identifier()); }},
      {"getting folder", L, [&] { return !p.getFolder("x"); }},
      {"getting recent tasks", L, [&] { return p.getRecentTasks(5).empty(); }},
      {"getting children of folder", H,
       [&] { return p.getChildren(nullptr, NodeFilter::allNodes).empty(); }},
      {"getting time entries", H, [&] { return p.getSessions(SessionQuery3{}).empty(); }},
      {"getting time entries", H,
       [&] { return !p.enumerateSessionRows(SessionQuery3{}, [](const TimeEntryRow&) { ADD_FAILURE(); }); }},
      {"getting session", L, [&] { return !p.getSession("x"); }},
      {"getting time entries count", H, [&] { return !p.getSessionCount({task}); }},
      {"getting oldest time entry", H, [&] { return !p.getOldestSession({}); }},
      {"getting latest time entry", H, [&] { return !p.getLatestTimeEntry({task}); }},
      {"getting running time entries", H, [&] { return p.getRunningTimeEntries().empty(); }},
      {"getting active rule sets", H, [&] { return p.getActiveRuleSets().empty(); }},
      {"getting logs", H, [&] { return p.getActivityLogs(std::nullopt, std::nullopt).empty(); }},
      {nullptr, L, [&] { return !p.getObject(missing); }},  // the lookup by ID logs nothing
  };
  for (const auto& [message, viaHandler, readIsEmpty] : reads) {
    const std::string via = viaHandler ? " via handler" : " via logger";
    const std::string expected = message ? "Error on " + std::string(message) + via : "";
    logs.clear();
    bool empty = false;
    EXPECT_NO_THROW(empty = readIsEmpty()) << expected;
    std::string seen;
    for (const auto& record : logs.records("Data"))
      seen += (seen.empty() ? "" : " | ") + render(record);
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
