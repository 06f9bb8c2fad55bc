#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <thread>
#include <tuple>

#include "ModelTestSupport.h"
#include "chronelle/model/BrowserALEntry.h"
#include "chronelle/model/DocumentAppALEntry.h"
#include "chronelle/model/Rule.h"
#include "chronelle/model/RuleCombination.h"
#include "chronelle/model/RuleSet.h"

namespace chronelle::testing {
namespace {

TEST(ChronelleModelTest, RegistersOnceUnderItsNameFromAnyThread) {
  std::vector<std::shared_ptr<const ObjectModel>> seen(4);
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = ChronelleModel::registerModel(); });
  for (auto& t : threads) t.join();
  for (const auto& model : seen) EXPECT_EQ(model, seen.front());
  EXPECT_EQ(ModelRegistry::find(ChronelleModel::kName), seen.front());
}

// Written through the typed setters, read back by attribute name after reopening: a setter
// bound to the wrong attribute or a column that does not survive the store shows here.
TEST(ModelRoundTripTest, EveryAttributeAndRelationshipReadsBackAfterReopening) {
  ModelStore store;
  auto folder = store.folder("Clients");
  folder->setArchived(true), folder->setColorId(7), folder->setConfirmedDuration(5400.5);
  folder->setLastSessionBegin(at(8, 15)), folder->setOrder(-3), folder->setIsBillableSet(true);
  folder->setIsBillable(true), folder->setHourlyRateIsSet(true), folder->setHourlyRate(87.25);
  auto task = store.task("Design", folder);
  task->setNotes("ünïcødé notes");
  const std::string preset = "0F6B1C2A-7D3E-4B5F-8A9C-0123456789AB";
  task->setIdentifier(preset);
  task->awakeFromInsert();  // keeps an identifier that is set
  auto session = store.session(task, at(9, 0, 1), at(10, 30));
  session->setAutotracked(true), session->setConfirmedDuration(5399);
  session->setConfirmedRevenue(130.85), session->setNotes("call");
  session->setOriginalEnd(at(10, 29, 7));
  session->setRoundingMethod(RoundingMethodOption(RoundingMethodOption::up).rawValue());
  session->setRoundingTo(900), session->setHourlyRate(42.5), session->setBillingStatusValue(2);
  session->setIsBillable(true);
  auto set = store.context->insert<RuleSet>(RuleSet::kEntityName);
  set->setStartTypeIndex(1), set->setStartDelayIndex(4), set->setPauseTypeIndex(2);
  set->setPauseDelayIndex(3), set->setActive(false);
  task->setRuleSet(set);
  auto combination = store.context->insert<RuleCombination>(RuleCombination::kEntityName);
  combination->setOrder(1);
  combination->setSet(set);
  auto rule = store.context->insert<Rule>(Rule::kEntityName);
  rule->setActive(false), rule->setOrder(2), rule->setParent(combination);
  rule->setApplicationPath("/Applications/Editor.app"), rule->setFilePath("*.txt");
  rule->setTypeValue(8), rule->setWebsiteUrl("https://example.com/a"), rule->setText("budget");
  rule->setRelationValue(3), rule->setIsInActiveWindow(true);
  const ValueDictionary userInfo{{"depth", 2}, {"since", at(7)}, {"tags", Value::List{"a", 1.5}}};
  rule->setUserInfo(userInfo);
  auto entry = store.context->insert<BrowserALEntry>(BrowserALEntry::kEntityName);
  entry->setBegin(at(8)), entry->setEnd(at(8, 5)), entry->setBundleId("org.example.browser");
  entry->setTitle("Docs"), entry->setUrl(Url::parse("https://docs.example.com/page?q=1"));
  auto document = store.context->insert<DocumentAppALEntry>(DocumentAppALEntry::kEntityName);
  document->setDocumentUrl(Url::fileUrl("/tmp/report.odt"));
  store.context->save();

  // Each object but the entries of the log got a fresh version-4 UUID in upper-case hex.
  std::vector<std::shared_ptr<ManagedObject>> read{folder, task,  session,     set,
                                                   rule,   entry, combination, document};
  const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[0-9A-F]{4}-[0-9A-F]{12}");
  std::set<std::string> seen;
  std::vector<ObjectID> ids;
  for (const auto& o : read) {
    ids.push_back(o->objectID());
    if (!o->entity().attribute("identifier") || o == task) continue;
    const auto text = o->value("identifier").asString().value_or("none");
    EXPECT_TRUE(std::regex_match(text, uuid)) << text;
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 5u);
  // Reopened, every object is read again from the file.
  store.reopen();
  read.clear();
  for (const auto& id : ids) read.push_back(store.context->existingObject(id));
  enum { F, T, S, RS, R, B, C, D };
  const struct {
    int object;
    const char* key;
    Value value;
  } expected[] = {
      {F, "name", "Clients"}, {F, "archived", true}, {F, "colorId", 7},
      {F, "confirmedDuration", 5400.5}, {F, "lastSessionBegin", at(8, 15)}, {F, "order", -3},
      {F, "isBillableSet", true}, {F, "isBillable", true}, {F, "hourlyRateIsSet", true},
      {F, "hourlyRate", 87.25}, {T, "name", "Design"}, {T, "notes", "ünïcødé notes"},
      {T, "identifier", preset}, {T, "archived", false}, {T, "lastSessionBegin", Value()},
      {S, "autotracked", true}, {S, "begin", at(9, 0, 1)}, {S, "end", at(10, 30)},
      {S, "confirmedDuration", 5399.0}, {S, "confirmedRevenue", 130.85}, {S, "notes", "call"},
      {S, "originalEnd", at(10, 29, 7)}, {S, "roundingMethod", 1}, {S, "roundingTo", 900},
      {S, "hourlyRate", 42.5}, {S, "billingStatusValue", 2}, {S, "isBillable", true},
      {RS, "startTypeIndex", 1}, {RS, "startDelayIndex", 4}, {RS, "pauseTypeIndex", 2},
      {RS, "pauseDelayIndex", 3}, {RS, "active", false}, {C, "order", 1}, {C, "active", true},
      {R, "active", false}, {R, "order", 2}, {R, "applicationPath", "/Applications/Editor.app"},
      {R, "filePath", "*.txt"}, {R, "typeValue", 8}, {R, "websiteUrl", "https://example.com/a"},
      {R, "text", "budget"}, {R, "relationValue", 3}, {R, "isInActiveWindow", true},
      {B, "begin", at(8)}, {B, "end", at(8, 5)}, {B, "bundleId", "org.example.browser"},
      {B, "title", "Docs"}, {D, "begin", Value()},
  };
  for (const auto& e : expected) {
    EXPECT_EQ(read[e.object]->value(e.key), e.value)
        << "object " << e.object << " key " << e.key;
  }

  // Relationships from both sides, read by name, and the values stored through a conversion.
  const auto one = [&](int object, const char* key) { return read[object]->object(key); };
  const auto many = [&](int object, const char* key) { return read[object]->objects(key); };
  EXPECT_EQ(std::tuple(one(T, "parent"), one(S, "task"), one(T, "ruleSet"), one(RS, "task"),
                       one(C, "set"), one(R, "parent"), one(R, "set")),
            std::tuple(read[F], read[T], read[RS], read[T], read[RS], read[C], nullptr));
  using Set = ObjectSet;
  EXPECT_EQ(std::tuple(many(F, "children"), many(T, "sessions"), many(RS, "rules"),
                       many(C, "children")),
            std::tuple(Set{read[T]}, Set{read[S]}, Set{read[C]}, Set{read[R]}));
  EXPECT_EQ(std::dynamic_pointer_cast<Rule>(read[R])->userInfo(), userInfo);
  EXPECT_EQ(std::dynamic_pointer_cast<BrowserALEntry>(read[B])->url()->absoluteString(),
            "https://docs.example.com/page?q=1");
  EXPECT_EQ(std::dynamic_pointer_cast<DocumentAppALEntry>(read[D])->documentUrl(),
            Url::fileUrl("/tmp/report.odt"));
  EXPECT_EQ(store.count(ALEntry::kEntityName), 2u);
}

TEST(ModelRoundTripTest, DeletingANodeTakesItsSubtreeWithEntriesAndRulesAndNothingElse) {
  ModelStore store;
  auto top = store.folder("Top");
  auto deep = store.task("Deep", store.folder("Inner", top));
  auto outside = store.task("Outside");
  for (const auto& t : {deep, store.task("Direct", top), outside}) store.session(t, at(9), at(10));
  store.session(deep, at(10), at(11));
  // Rule sets of a task inside (a rule in a combination) and of one outside (a rule).
  for (const auto& t : {deep, outside}) {
    t->setRuleSet(store.context->insert<RuleSet>(RuleSet::kEntityName));
  }
  auto combination = store.context->insert<RuleCombination>(RuleCombination::kEntityName);
  combination->setSet(deep->ruleSet());
  store.context->insert<Rule>(Rule::kEntityName)->setParent(combination);
  store.context->insert<Rule>(Rule::kEntityName)->setSet(outside->ruleSet());
  store.context->save();
  ASSERT_EQ(std::tuple(store.count("Node"), store.count("Session"), store.count("RuleBase")),
            std::tuple(5u, 4u, 3u));

  store.context->deleteObject(top);
  store.context->save();
  store.reopen();
  const auto nodes = store.context->fetch(Node::fetchRequest());
  ASSERT_EQ(nodes.size(), 1u);
  auto survivor = std::dynamic_pointer_cast<Task>(nodes.front());
  ASSERT_TRUE(survivor && survivor->ruleSet());
  EXPECT_EQ(survivor->name() + " " + std::to_string(survivor->sessions().size()) + " " +
                std::to_string(survivor->ruleSet()->rules().size()),
            "Outside 1 1");
  EXPECT_EQ(store.count("Session") + store.count("RuleSet") + store.count("RuleBase"), 3u);

  // Deleting the owned side clears the reference and keeps the owner.
  auto entry = survivor->sessions().front();
  store.context->deleteObject(survivor->ruleSet());
  store.context->deleteObject(entry);
  store.context->save();
  EXPECT_TRUE(store.count("Node") == 1 && !survivor->ruleSet() && survivor->sessions().empty() &&
              !store.count("RuleBase"));
}

}  // namespace
}  // namespace chronelle::testing
