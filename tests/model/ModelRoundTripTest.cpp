#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <thread>

#include "ModelTestSupport.h"
#include "chronelle/model/BrowserALEntry.h"
#include "chronelle/model/ChronelleModel.h"
#include "chronelle/model/DocumentAppALEntry.h"
#include "chronelle/model/Rule.h"
#include "chronelle/model/RuleCombination.h"
#include "chronelle/model/RuleSet.h"
#include "chronelle/store/StoreFile.h"

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

TEST(ChronelleModelTest, EntitiesShareTheirRootsTable) {
  const auto model = ChronelleModel::build();
  // One table per root: folders and tasks share Node's, rules RuleBase's, entries ALEntry's.
  const std::pair<const char*, const char*> roots[] = {
      {"Task", "Node"},          {"Folder", "Node"},         {"RuleCombination", "RuleBase"},
      {"Rule", "RuleBase"},      {"Session", "Session"},     {"DocumentAppALEntry", "ALEntry"},
      {"BrowserALEntry", "ALEntry"}};
  for (const auto& [entity, root] : roots) {
    ASSERT_NE(model->entity(entity), nullptr) << entity;
    EXPECT_EQ(model->entity(entity)->rootEntity().name(), root) << entity;
  }
  EXPECT_TRUE(model->entity("Node")->isAbstract() && model->entity("RuleBase")->isAbstract());
  EXPECT_FALSE(model->entity("ALEntry")->isAbstract());
  EXPECT_EQ(model->entity("ALEntry")->attribute("identifier"), nullptr);
  EXPECT_EQ(model->entity("Rule")->attribute("userInfo")->valueTransformerName,
            "NSDictionaryValueTransformer");
}

// Written through the typed setters, read back by attribute name after reopening: a setter
// bound to the wrong attribute or a column that does not survive the store shows here.
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
  session->setHourlyRate(42.5);
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
  const ValueDictionary userInfo{{"depth", 2}, {"since", at(7)}, {"tags", Value::List{"a", 1.5}}};
  rule->setUserInfo(userInfo);
  auto entry = store.context->insert<BrowserALEntry>(BrowserALEntry::kEntityName);
  entry->setBegin(at(8));
  entry->setEnd(at(8, 5));
  entry->setBundleId("org.example.browser");
  entry->setTitle("Docs");
  entry->setUrl(Url::parse("https://docs.example.com/page?q=1"));
  auto document = store.context->insert<DocumentAppALEntry>(DocumentAppALEntry::kEntityName);
  document->setDocumentUrl(Url::fileUrl("/tmp/report.odt"));
  store.context->save();

  const std::vector<std::shared_ptr<ManagedObject>> written{folder, task,  session, set,
                                                            rule,   entry, combination, document};
  std::vector<ObjectID> ids;
  std::vector<Value> identifiers;
  for (const auto& object : written) {
    ids.push_back(object->objectID());
    identifiers.push_back(object->entity().attribute("identifier") ? object->value("identifier")
                                                                   : Value());
  }
  folder.reset(), task.reset(), session.reset(), set.reset(), rule.reset(), combination.reset();
  entry.reset(), document.reset();
  store.reopen();
  std::vector<std::shared_ptr<ManagedObject>> read;
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
      {T, "archived", false}, {T, "lastSessionBegin", Value()},
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
    ASSERT_TRUE(read[e.object]) << "object " << e.object;
    EXPECT_EQ(read[e.object]->value(e.key), e.value)
        << "object " << e.object << " key " << e.key << ": "
        << read[e.object]->value(e.key).description();
  }
  for (std::size_t i = 0; i < read.size(); ++i) {
    if (!identifiers[i].isNull()) {
      EXPECT_EQ(read[i]->value("identifier"), identifiers[i]) << i;
    }
  }

  // Relationships from both sides, and the values stored through a conversion.
  const auto f = std::dynamic_pointer_cast<Folder>(read[F]);
  const auto t = std::dynamic_pointer_cast<Task>(read[T]);
  const auto s = std::dynamic_pointer_cast<Session>(read[S]);
  const auto rs = std::dynamic_pointer_cast<RuleSet>(read[RS]);
  const auto c = std::dynamic_pointer_cast<RuleCombination>(read[C]);
  const auto r = std::dynamic_pointer_cast<Rule>(read[R]);
  ASSERT_TRUE(f && t && s && rs && c && r);
  EXPECT_EQ(t->parent(), f);
  EXPECT_EQ(f->children(), std::vector<std::shared_ptr<Node>>{t});
  EXPECT_EQ(t->sessions(), std::vector<std::shared_ptr<Session>>{s});
  EXPECT_EQ(s->task(), t);
  EXPECT_EQ(t->ruleSet(), rs);
  EXPECT_EQ(rs->task(), t);
  EXPECT_EQ(rs->rules(), std::vector<std::shared_ptr<RuleBase>>{c});
  EXPECT_EQ(c->set(), rs);
  EXPECT_EQ(c->childrenArray(), std::vector<std::shared_ptr<RuleBase>>{r});
  EXPECT_EQ(r->parent(), c);
  EXPECT_EQ(r->set(), nullptr);
  EXPECT_EQ(r->userInfo(), userInfo);
  EXPECT_EQ(std::dynamic_pointer_cast<BrowserALEntry>(read[B])->url()->absoluteString(),
            "https://docs.example.com/page?q=1");
  EXPECT_EQ(std::dynamic_pointer_cast<DocumentAppALEntry>(read[D])->documentUrl(),
            Url::fileUrl("/tmp/report.odt"));
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
  // Version 4, upper-case hex.
  const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[0-9A-F]{4}-[0-9A-F]{12}");
  for (const auto& object : objects) {
    ASSERT_TRUE(object->identifier().has_value());
    EXPECT_TRUE(std::regex_match(*object->identifier(), uuid)) << *object->identifier();
    seen.insert(*object->identifier());
  }
  EXPECT_EQ(seen.size(), objects.size());

  objects.front()->setIdentifier("PRESET");
  objects.front()->awakeFromInsert();
  EXPECT_EQ(objects.front()->identifier(), "PRESET");
}

}  // namespace
}  // namespace chronelle::testing

namespace chronelle::testing {
namespace {

// A store written by version 1 has no index of the entries' length. Opened by the current
// version it is migrated to one (the benchmarks check the plans that use it), and a query of
// the entries crossing an instant still finds an entry far longer than the others.
TEST(ModelMigrationTest, AVersion1StoreGainsTheLengthIndexAndStillFindsTheLongestEntry) {
  ModelStore store;
  const auto file = store.directory.file("version1.sqlite");
  {
    auto coordinator = std::make_shared<PersistentStoreCoordinator>(ChronelleModel::build(1));
    coordinator->addPersistentStore(file);
    auto context = ObjectContext::create(ConcurrencyType::mainQueue, coordinator);
    auto task = context->insert<Task>(Task::kEntityName);
    task->setName("Work");
    for (int day = -20; day <= 20; ++day) {
      auto entry = context->insert<Session>(Session::kEntityName);
      entry->setBegin(at(9) + day * 86400.0);
      entry->setEnd(at(10) + day * 86400.0);
      entry->setTask(task);
    }
    auto longest = context->insert<Session>(Session::kEntityName);
    longest->setBegin(at(11) - 3 * 86400.0);
    longest->setEnd(at(11) + 3 * 86400.0);
    longest->setNotes("three days");
    longest->setTask(task);
    context->save();
  }

  auto coordinator = std::make_shared<PersistentStoreCoordinator>(ModelRegistry::find(ChronelleModel::kName));
  coordinator->addPersistentStore(file);
  auto context = ObjectContext::create(ConcurrencyType::mainQueue, coordinator);
  FetchRequest crossing(Session::kEntityName);
  crossing.predicate = Predicate::parse("begin < %@ AND end > %@", {Value(at(11)), Value(at(11))});
  const auto found = context->fetch(crossing);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(std::dynamic_pointer_cast<Session>(found.front())->notes(), "three days");

  auto reader = StoreFileReader::openReadOnly(file);
  EXPECT_EQ(reader->rows("SELECT Z_VALUE FROM Z_METADATA WHERE Z_KEY = 'NSStoreModelVersion'").at(0).at(0),
            std::to_string(ChronelleModel::kVersion));
  EXPECT_EQ(reader->integer("SELECT count(*) FROM pragma_index_list('ZSESSION') WHERE name = 'ZSESSION_ZSPAN_INDEX'"),
            1);
}

// The range of `begin` a period fetch adds is taken from the longest and shortest entry at the
// moment the fetch runs, inside the same statement: an entry another context made longer and
// saved since is still found, and so are a running entry and one stored with its end before
// its begin. Each case is a predicate and the entries it must select.
TEST(SpanRangeTest, TheImpliedRangeOfBeginNeverDropsAMatchingEntry) {
  ModelStore store;
  auto task = store.task("Work");
  std::vector<std::shared_ptr<Session>> entries;
  for (int day = 0; day < 10; ++day) {
    entries.push_back(store.session(task, at(9) + day * 86400.0, at(10) + day * 86400.0));
  }
  auto running = store.session(task, at(11) + 2 * 86400.0);
  auto backwards = store.session(task, at(12) + 5 * 86400.0, at(8) + 5 * 86400.0);
  store.context->save();

  // Another context lengthens the first entry to ten days and saves.
  auto other = ObjectContext::create(ConcurrencyType::mainQueue, store.coordinator);
  auto first = std::dynamic_pointer_cast<Session>(other->existingObject(entries[0]->objectID()));
  first->setEnd(at(10) + 9.5 * 86400.0);
  other->save();

  const Date day7 = at(0) + 7 * 86400.0;  // midnight
  const Date day8 = day7 + 86400.0;
  const struct {
    const char* predicate;
    std::vector<Value> arguments;
    std::vector<std::shared_ptr<Session>> expected;
  } cases[] = {
      {"begin < %@ AND end > %@", {Value(day7), Value(day8)}, {entries[0]}},
      {"end > %@ AND begin < %@", {Value(day7), Value(day8)}, {entries[0], entries[7]}},
      {"(begin < %@ AND end > %@) OR end = nil", {Value(day7), Value(day8)}, {entries[0], running}},
      {"end < %@ AND begin > %@", {Value(at(9) + 5 * 86400.0), Value(at(11) + 5 * 86400.0)}, {backwards}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.predicate);
    FetchRequest request(Session::kEntityName);
    request.predicate = Predicate::parse(c.predicate, c.arguments);
    std::set<std::string> found, expected;
    for (const auto& object : store.context->fetch(request)) found.insert(object->objectID().uriRepresentation());
    for (const auto& entry : c.expected) expected.insert(entry->objectID().uriRepresentation());
    EXPECT_EQ(found, expected);
  }
}

}  // namespace
}  // namespace chronelle::testing
