// The small edits of BaseDataProvider: saving with recovery, rules, stored references.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "teststack/StackFixture.h"
#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/DataModifier.h"
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

class BaseDataProviderRules : public BaseDataProviderEdit {
 protected:
  void SetUp() override {
    set = provider.newRuleSet();
    for (const char* name : {"r0", "r1", "r2"}) addTopLevel(provider.newRule(), name);
    combination = provider.newRuleCombination();
    addTopLevel(combination, "c");
    for (const char* name : {"c0", "c1"}) {
      auto rule = provider.newRule();
      rule->setText(std::string(name));
      rule->setParent(combination);
      rule->setOrder(static_cast<std::int16_t>(combination->children().size() - 1));
    }
  }
  void addTopLevel(const std::shared_ptr<RuleBase>& rule, const char* name) {
    if (auto leaf = std::dynamic_pointer_cast<Rule>(rule)) leaf->setText(std::string(name));
    named[rule] = name;
    rule->setSet(set);
    rule->setOrder(static_cast<std::int16_t>(set->rules().size() - 1));
  }
  std::string nameOf(const std::shared_ptr<RuleBase>& rule) {
    if (auto leaf = std::dynamic_pointer_cast<Rule>(rule)) return leaf->text().value_or("?");
    return "c";
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
    for (const auto& r : set->rules()) {
      if (nameOf(r) == name) return r;
    }
    for (const auto& r : combination->children()) {
      if (nameOf(r) == name) return r;
    }
    return nullptr;
  }

  std::shared_ptr<RuleSet> set;
  std::shared_ptr<RuleCombination> combination;
  std::map<std::shared_ptr<RuleBase>, std::string> named;
};

TEST_F(BaseDataProviderRules, MovesKeepOrderAndFollowTheTarget) {
  ASSERT_EQ(layout(), "r0=0* r1=1* r2=2* c=3* | c0=0* c1=1*");
  const std::vector<std::shared_ptr<RuleBase>> none;
  struct Case {
    const char* name;
    std::vector<std::string> moved;
    bool intoCombination;
    std::size_t index;
    std::string expected;
  };
  // Each case starts from the layout the previous one left.
  const std::vector<Case> cases = {
      {"one rule to the front", {"r2"}, false, 0, "r2=0* r0=1* r1=2* c=3* | c0=0* c1=1*"},
      {"index beyond the siblings", {"r0"}, false, 5, "r2=0* r0=1* r1=2* c=3* | c0=0* c1=1*"},
      {"onto its own place", {"r0"}, false, 1, "r2=0* r0=1* r1=2* c=3* | c0=0* c1=1*"},
      {"two rules down, order kept", {"r2", "r0"}, false, 4, "r1=0* c=1* r2=2* r0=3* | c0=0* c1=1*"},
      // Only the destination is renumbered; the rules left behind keep their orders.
      {"into the combination", {"r1"}, true, 1, "c=1* r2=2* r0=3* | c0=0* r1=1* c1=2*"},
      {"combination into a combination", {"c"}, true, 0, "c=1* r2=2* r0=3* | c0=0* r1=1* c1=2*"},
      {"combination with its child", {"c", "c0"}, false, 3, "r2=0* r0=1* c=2* | c0=0* r1=1* c1=2*"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("case: ") + c.name);
    std::vector<std::shared_ptr<RuleBase>> moved;
    for (const auto& n : c.moved) moved.push_back(rule(n));
    // Combinations do not nest; the write side asks the same question.
    const bool allowed = !(c.intoCombination && c.moved.front() == "c");
    EXPECT_EQ(provider.checkThatRules(moved, c.intoCombination ? combination : nullptr), allowed);
    EXPECT_EQ(DataModifier(stack->viewContext()).canRules(moved, c.intoCombination ? combination : nullptr), allowed);
    provider.moveRules(moved, set, c.intoCombination ? combination : nullptr, c.index);
    EXPECT_EQ(layout(), c.expected);
  }
  EXPECT_EQ(rule("r1")->set(), nullptr) << "a rule inside a combination hangs from it only";
  EXPECT_EQ(rule("r1")->parent(), combination);
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
  auto task = makeTask("Remembered");
  save();
  EXPECT_EQ(provider.managedObjectFromUserDefaults("TPCurrentTask"), nullptr);
  provider.setManagedObjectInUserDefaults(nullptr, "TPCurrentTask");
  EXPECT_FALSE(UserDefaults::standard()->contains("TPCurrentTask"));

  provider.setManagedObjectInUserDefaults(task, "TPCurrentTask");
  // Written to the file at once: a fresh reader of the same file sees it.
  UserDefaults reread(UserDefaults::standard()->path());
  EXPECT_TRUE(reread.contains("TPCurrentTask"));
  EXPECT_EQ(provider.managedObjectFromUserDefaults("TPCurrentTask"), task);

  // A reference read in another context gives that context's object.
  BaseDataProvider other(stack->privateContext());
  auto seen = other.managedObjectFromUserDefaults("TPCurrentTask");
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(seen->objectID(), task->objectID());

  context().deleteObject(task);
  save();
  EXPECT_EQ(provider.managedObjectFromUserDefaults("TPCurrentTask"), nullptr) << "the object is gone";

  UserDefaults::standard()->setData("TPCurrentTask", UserDefaults::Data{'n', 'o', 'p', 'e'});
  EXPECT_EQ(provider.managedObjectFromUserDefaults("TPCurrentTask"), nullptr);
  provider.removeManagedObjectFromUserDefaults("TPCurrentTask");
  EXPECT_FALSE(UserDefaults(UserDefaults::standard()->path()).contains("TPCurrentTask"));
}

}  // namespace
}  // namespace chronelle::testing
