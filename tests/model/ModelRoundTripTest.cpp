#include <gtest/gtest.h>

#include <thread>

#include "ModelTestSupport.h"
#include "chronelle/model/BrowserALEntry.h"
#include "chronelle/model/ChronelleModel.h"
#include "chronelle/model/DocumentAppALEntry.h"
#include "chronelle/model/Rule.h"
#include "chronelle/model/RuleCombination.h"
#include "chronelle/model/RuleSet.h"

namespace chronelle::testing {
namespace {

std::vector<std::string> attributeNames(const EntityDescription& entity) {
  std::vector<std::string> names;
  for (const auto* attribute : entity.allAttributes()) names.push_back(attribute->name);
  return names;
}

TEST(ChronelleModelTest, RegistersOnceUnderItsNameFromAnyThread) {
  std::vector<std::shared_ptr<const ObjectModel>> seen(4);
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = ChronelleModel::registerModel(); });
  for (auto& t : threads) t.join();
  for (const auto& model : seen) EXPECT_EQ(model, seen.front());
  EXPECT_EQ(ModelRegistry::find(ChronelleModel::kName), seen.front());
  EXPECT_EQ(std::string(ChronelleModel::kName), "ChronelleData");
}

TEST(ChronelleModelTest, EntitiesKeepTheirTablesAndDeclarationOrder) {
  const auto model = ChronelleModel::build();
  // Identity roots start with the identifier; the activity log has none.
  for (const char* name : {"Node", "Session", "RuleSet", "RuleBase", "Folder", "Task", "Rule"}) {
    ASSERT_NE(model->entity(name), nullptr) << name;
    EXPECT_EQ(attributeNames(*model->entity(name)).front(), "identifier") << name;
  }
  EXPECT_EQ(model->entity("ALEntry")->attribute("identifier"), nullptr);
  EXPECT_EQ(attributeNames(*model->entity("Task")),
            (std::vector<std::string>{"identifier", "archived", "colorId", "confirmedDuration",
                                      "lastSessionBegin", "name", "order", "isBillableSet",
                                      "isBillable", "hourlyRateIsSet", "hourlyRate", "notes"}));
  EXPECT_EQ(
      attributeNames(*model->entity("Session")),
      (std::vector<std::string>{"identifier", "autotracked", "begin", "confirmedDuration",
                                "confirmedRevenue", "end", "notes", "originalEnd", "roundingMethod",
                                "roundingTo", "hourlyRate", "billingStatusValue", "isBillable"}));
  // One table per root: folders and tasks share Node's, rules RuleBase's, entries ALEntry's.
  EXPECT_EQ(model->entity("Task")->rootEntity().name(), "Node");
  EXPECT_EQ(model->entity("Folder")->rootEntity().name(), "Node");
  EXPECT_EQ(model->entity("RuleCombination")->rootEntity().name(), "RuleBase");
  EXPECT_EQ(model->entity("DocumentAppALEntry")->rootEntity().name(), "ALEntry");
  EXPECT_EQ(model->entity("Session")->rootEntity().name(), "Session");
  EXPECT_TRUE(model->entity("Node")->isAbstract());
  EXPECT_TRUE(model->entity("RuleBase")->isAbstract());
  EXPECT_FALSE(model->entity("ALEntry")->isAbstract());
  EXPECT_EQ(model->entity("Rule")->attribute("userInfo")->valueTransformerName,
            "NSDictionaryValueTransformer");
}

TEST(ModelRoundTripTest, EveryAttributeAndRelationshipReadsBackAfterReopening) {
  ModelStore store;
  auto folder = store.folder("Clients");
  folder->setArchived(true);
  folder->setColorId(7);
  folder->setConfirmedDuration(5400.5);
  folder->setLastSessionBegin(at(8, 15));
  folder->setOrder(-3);
  folder->setIsBillableSet(true);
  folder->setIsBillable(true);
  folder->setHourlyRateIsSet(true);
  folder->setHourlyRate(87.25);
  auto task = store.task("Design", folder);
  task->setNotes("ünïcødé notes");
  auto session = store.session(task, at(9, 0, 1), at(10, 30));
  session->setAutotracked(true);
  session->setConfirmedDuration(5399);
  session->setConfirmedRevenue(130.85);
  session->setNotes("call");
  session->setOriginalEnd(at(10, 29, 7));
  session->setRoundingMethod(RoundingMethodOption(RoundingMethodOption::up).rawValue());
  session->setRoundingTo(900);
  session->setHourlyRate(87.25);
  session->setBillingStatusValue(2);
  session->setIsBillable(true);
  auto set = store.context->insert<RuleSet>(RuleSet::kEntityName);
  set->setStartTypeIndex(1);
  set->setStartDelayIndex(4);
  set->setPauseTypeIndex(2);
  set->setPauseDelayIndex(3);
  set->setActive(false);
  task->setRuleSet(set);
  auto combination = store.context->insert<RuleCombination>(RuleCombination::kEntityName);
  combination->setOrder(1);
  combination->setSet(set);
  auto rule = store.context->insert<Rule>(Rule::kEntityName);
  rule->setActive(false);
  rule->setOrder(2);
  rule->setParent(combination);
  rule->setApplicationPath("/Applications/Editor.app");
  rule->setFilePath("*.txt");
  rule->setTypeValue(8);
  rule->setWebsiteUrl("https://example.com/a");
  rule->setText("budget");
  rule->setRelationValue(3);
  rule->setIsInActiveWindow(true);
  rule->setUserInfo(
      ValueDictionary{{"depth", 2}, {"since", at(7)}, {"tags", Value::List{"a", 1.5}}});
  auto entry = store.context->insert<BrowserALEntry>(BrowserALEntry::kEntityName);
  entry->setBegin(at(8));
  entry->setEnd(at(8, 5));
  entry->setBundleId("org.example.browser");
  entry->setTitle("Docs");
  entry->setUrl(Url::parse("https://docs.example.com/page?q=1"));
  auto document = store.context->insert<DocumentAppALEntry>(DocumentAppALEntry::kEntityName);
  document->setDocumentUrl(Url::fileUrl("/tmp/report.odt"));
  store.context->save();

  const std::vector<ObjectID> ids{folder->objectID(), task->objectID(),    session->objectID(),
                                  set->objectID(),    rule->objectID(),    combination->objectID(),
                                  entry->objectID(),  document->objectID()};
  const auto identifiers =
      std::vector{folder->identifier(), task->identifier(), session->identifier(),
                  set->identifier(), rule->identifier()};
  folder.reset(), task.reset(), session.reset(), set.reset(), rule.reset(), combination.reset();
  entry.reset(), document.reset();
  store.reopen();

  auto f = std::dynamic_pointer_cast<Folder>(store.context->existingObject(ids[0]));
  auto t = std::dynamic_pointer_cast<Task>(store.context->existingObject(ids[1]));
  auto s = std::dynamic_pointer_cast<Session>(store.context->existingObject(ids[2]));
  auto rs = std::dynamic_pointer_cast<RuleSet>(store.context->existingObject(ids[3]));
  auto r = std::dynamic_pointer_cast<Rule>(store.context->existingObject(ids[4]));
  auto c = std::dynamic_pointer_cast<RuleCombination>(store.context->existingObject(ids[5]));
  auto b = std::dynamic_pointer_cast<BrowserALEntry>(store.context->existingObject(ids[6]));
  auto d = std::dynamic_pointer_cast<DocumentAppALEntry>(store.context->existingObject(ids[7]));
  ASSERT_TRUE(f && t && s && rs && r && c && b && d);

  EXPECT_EQ(f->identifier(), identifiers[0]);
  EXPECT_EQ(f->name(), "Clients");
  EXPECT_TRUE(f->archived());
  EXPECT_EQ(f->colorId(), 7);
  EXPECT_EQ(f->confirmedDuration(), 5400.5);
  EXPECT_EQ(f->lastSessionBegin(), at(8, 15));
  EXPECT_EQ(f->order(), -3);
  EXPECT_TRUE(f->isBillableSet() && f->isBillable() && f->hourlyRateIsSet());
  EXPECT_EQ(f->hourlyRate(), 87.25);
  EXPECT_EQ(f->parent(), nullptr);
  ASSERT_EQ(f->children().size(), 1u);
  EXPECT_EQ(f->children().front(), t);

  EXPECT_EQ(t->identifier(), identifiers[1]);
  EXPECT_EQ(t->parent(), f);
  EXPECT_EQ(t->notes(), "ünïcødé notes");
  EXPECT_EQ(t->ruleSet(), rs);
  EXPECT_FALSE(t->archived());
  EXPECT_EQ(t->lastSessionBegin(), std::nullopt);
  ASSERT_EQ(t->sessions().size(), 1u);
  EXPECT_EQ(t->sessions().front(), s);

  EXPECT_EQ(s->identifier(), identifiers[2]);
  EXPECT_EQ(s->task(), t);
  EXPECT_TRUE(s->autotracked());
  EXPECT_EQ(s->begin(), at(9, 0, 1));
  EXPECT_EQ(s->end(), at(10, 30));
  EXPECT_EQ(s->confirmedDuration(), 5399);
  EXPECT_EQ(s->confirmedRevenue(), 130.85);
  EXPECT_EQ(s->notes(), "call");
  EXPECT_EQ(s->originalEnd(), at(10, 29, 7));
  EXPECT_EQ(s->roundingMethod(), 1);
  EXPECT_EQ(s->roundingTo(), 900);
  EXPECT_EQ(s->hourlyRate(), 87.25);
  EXPECT_EQ(s->billingStatus(), BillingStatus::paid);
  EXPECT_TRUE(s->isBillable());

  EXPECT_EQ(rs->identifier(), identifiers[3]);
  EXPECT_EQ(rs->task(), t);
  EXPECT_EQ(rs->startTypeIndex(), 1);
  EXPECT_EQ(rs->startDelayIndex(), 4);
  EXPECT_EQ(rs->pauseTypeIndex(), 2);
  EXPECT_EQ(rs->pauseDelayIndex(), 3);
  EXPECT_FALSE(rs->active());
  ASSERT_EQ(rs->rules().size(), 1u);
  EXPECT_EQ(rs->rules().front(), c);
  EXPECT_EQ(c->set(), rs);
  EXPECT_EQ(c->order(), 1);
  EXPECT_TRUE(c->active());
  ASSERT_EQ(c->childrenArray().size(), 1u);
  EXPECT_EQ(c->childrenArray().front(), r);

  EXPECT_EQ(r->identifier(), identifiers[4]);
  EXPECT_EQ(r->parent(), c);
  EXPECT_EQ(r->set(), nullptr);
  EXPECT_FALSE(r->active());
  EXPECT_EQ(r->order(), 2);
  EXPECT_EQ(r->applicationPath(), "/Applications/Editor.app");
  EXPECT_EQ(r->filePath(), "*.txt");
  EXPECT_EQ(r->typeValue(), 8);
  EXPECT_EQ(r->websiteUrl(), "https://example.com/a");
  EXPECT_EQ(r->text(), "budget");
  EXPECT_EQ(r->relationValue(), 3);
  EXPECT_TRUE(r->isInActiveWindow());
  EXPECT_EQ(r->userInfo(),
            (ValueDictionary{{"depth", 2}, {"since", at(7)}, {"tags", Value::List{"a", 1.5}}}));

  EXPECT_EQ(b->begin(), at(8));
  EXPECT_EQ(b->end(), at(8, 5));
  EXPECT_EQ(b->bundleId(), "org.example.browser");
  EXPECT_EQ(b->title(), "Docs");
  EXPECT_EQ(b->url()->absoluteString(), "https://docs.example.com/page?q=1");
  EXPECT_EQ(d->documentUrl(), Url::fileUrl("/tmp/report.odt"));
  EXPECT_EQ(d->begin(), std::nullopt);
  EXPECT_EQ(store.count(ALEntry::kEntityName), 2u);
}

TEST(ModelRoundTripTest, DeletingANodeTakesItsSubtreeWithEntriesAndRulesAndNothingElse) {
  ModelStore store;
  auto top = store.folder("Top");
  auto inner = store.folder("Inner", top);
  auto deep = store.task("Deep", inner);
  auto direct = store.task("Direct", top);
  auto outside = store.task("Outside");
  for (const auto& t : {deep, direct, outside}) store.session(t, at(9), at(10));
  store.session(deep, at(10), at(11));
  auto set = store.context->insert<RuleSet>(RuleSet::kEntityName);
  deep->setRuleSet(set);
  auto combination = store.context->insert<RuleCombination>(RuleCombination::kEntityName);
  combination->setSet(set);
  store.context->insert<Rule>(Rule::kEntityName)->setParent(combination);
  auto keptSet = store.context->insert<RuleSet>(RuleSet::kEntityName);
  outside->setRuleSet(keptSet);
  store.context->insert<Rule>(Rule::kEntityName)->setSet(keptSet);
  store.context->save();
  ASSERT_EQ(store.count("Node"), 5u);
  ASSERT_EQ(store.count("Session"), 4u);
  ASSERT_EQ(store.count("RuleBase"), 3u);

  store.context->deleteObject(top);
  store.context->save();
  store.reopen();
  const auto nodes = store.context->fetch(Node::fetchRequest());
  ASSERT_EQ(nodes.size(), 1u);
  auto survivor = std::dynamic_pointer_cast<Task>(nodes.front());
  EXPECT_EQ(survivor->name(), "Outside");
  EXPECT_EQ(store.count("Session"), 1u);
  EXPECT_EQ(survivor->sessions().size(), 1u);
  EXPECT_EQ(store.count("RuleSet"), 1u);
  EXPECT_EQ(store.count("RuleBase"), 1u);
  ASSERT_NE(survivor->ruleSet(), nullptr);
  EXPECT_EQ(survivor->ruleSet()->rules().size(), 1u);

  // Deleting the owned side clears the reference and keeps the owner.
  auto entry = survivor->sessions().front();
  store.context->deleteObject(survivor->ruleSet());
  store.context->deleteObject(entry);
  store.context->save();
  EXPECT_EQ(store.count("Node"), 1u);
  EXPECT_EQ(survivor->ruleSet(), nullptr);
  EXPECT_TRUE(survivor->sessions().empty());
  EXPECT_EQ(store.count("RuleBase"), 0u);
}

TEST(ModelRoundTripTest, InsertedObjectsGetAFreshUpperCaseUUIDUnlessOneIsSet) {
  ModelStore store;
  std::set<std::string> seen;
  const std::vector<std::shared_ptr<NSManagedObjectWithIdentifier>> objects{
      store.task("t"), store.folder("f"), store.session(nullptr, at(9)),
      store.context->insert<RuleSet>(RuleSet::kEntityName),
      store.context->insert<Rule>(Rule::kEntityName)};
  for (const auto& object : objects) {
    const auto id = object->identifier();
    ASSERT_TRUE(id.has_value());
    ASSERT_EQ(id->size(), 36u) << *id;
    for (std::size_t i = 0; i < id->size(); ++i) {
      const char c = (*id)[i];
      const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
      EXPECT_TRUE(dash ? c == '-'
                       : (std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F')))
          << *id;
    }
    EXPECT_EQ((*id)[14], '4') << *id;
    seen.insert(*id);
  }
  EXPECT_EQ(seen.size(), objects.size());

  objects.front()->setIdentifier("PRESET");
  objects.front()->awakeFromInsert();
  EXPECT_EQ(objects.front()->identifier(), "PRESET");
}

}  // namespace
}  // namespace chronelle::testing
