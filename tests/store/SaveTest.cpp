// Saving: validation, permanent IDs, what is posted, and every value read back after reopening.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <regex>
#include <stdexcept>

#include "StoreTestModel.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/store/ContextImpl.h"
#include "chronelle/store/StoreError.h"

namespace chronelle::testing {
namespace {

std::string keyOf(const StoreError& error) {
  auto it = error.userInfo().find(StoreError::kValidationKeyKey);
  return it == error.userInfo().end() ? "" : std::any_cast<std::string>(it->second);
}

// A failed save, and saves in one transaction that fails after them, leave the store and the
// context as they were before: nothing half-saved, nothing announced.
TEST(SaveTest, AFailedSaveLeavesTheStoreAndTheContextAsTheyWere) {
  using Objects = std::vector<std::shared_ptr<ManagedObject>>;  // a, visit
  const auto twoSavesThen = [](TestStore& s, const Objects& o, const std::function<void()>& last) {
    o[1]->setValue("start", Date::fromMicroseconds(5));
    s.context->performInTransaction([&] {
      s.context->save();
      o[0]->setValue("rank", 10);
      s.context->save();
      last();
    });
  };
  const auto failCommits = [](TestStore& s, bool on) {
    int (*refuse)(void*) = [](void*) { return 1; };
    sqlite3_commit_hook(s.context->impl().db().handle(), on ? refuse : nullptr, nullptr);
  };
  const struct {
    const char* label;
    std::function<void(TestStore&, const Objects&)> fail;
  } cases[] = {
      {"save without a mandatory value",
       [](TestStore& s, const Objects& o) {
         try {
           s.context->save();
         } catch (const StoreError& e) {
           const auto& object = e.userInfo().at(StoreError::kValidationObjectKey);
           EXPECT_EQ(std::tuple(e.code(), keyOf(e), std::any_cast<std::shared_ptr<ManagedObject>>(object)),
                     std::tuple(StoreError::kValidationMissingMandatoryProperty, "start", o[1]));
           throw;
         }
       }},
      {"two saves in one transaction, then the block throws",
       [&](TestStore& s, const Objects& o) { twoSavesThen(s, o, [] { throw std::runtime_error("block"); }); }},
      {"two saves in one transaction, then its commit fails",
       [&](TestStore& s, const Objects& o) { twoSavesThen(s, o, [&] { failCommits(s, true); }); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TestStore store;
    auto area = store.area("area");
    auto a = store.spot("a", area);
    store.context->save();
    int posted = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(ObjectContext::kDidSaveNotification,
                                                                 store.context.get(), [&](const Notification&) { ++posted; });

    auto added = store.spot("added", area);
    a->setValue("rank", 9);
    auto visit = store.visit(a, 1);
    visit->setValue("start", Value());  // mandatory: a save must fail
    EXPECT_ANY_THROW(c.fail(store, {a, visit}));
    failCommits(store, false);
    // The context still holds every change, with temporary IDs.
    EXPECT_TRUE(added->isInserted() && added->objectID().isTemporaryID() && a->isUpdated());
    EXPECT_EQ(std::tuple(a->value("rank"), store.context->insertedObjects().size(), posted),
              std::tuple(Value(9), 2u, 0));
    EXPECT_EQ(TestStore::names(area->objects("places")), (std::vector<std::string>{"a", "added"}));
    // The store holds none of them; the same changes save once the value is there.
    const auto stored = [&] {
      auto other = store.newContext();
      std::string text;
      other->performAndWait([&] {
        text = std::to_string(other->count(FetchRequest("Place"))) + " places " +
               std::to_string(other->count(FetchRequest("Visit"))) + " visits, rank " +
               other->existingObject(a->objectID())->value("rank").description();
      });
      return text;
    };
    EXPECT_EQ(stored(), "2 places 0 visits, rank 0");
    visit->setValue("start", Date::fromMicroseconds(5));
    store.context->save();
    EXPECT_EQ(std::tuple(stored(), posted), std::tuple("3 places 1 visits, rank 9", 1));
  }
}

// Inside one transaction a save looks done to the block (permanent IDs, its rows counted),
// while the others see nothing and hear of it only after the commit, save by save.
TEST(SaveTest, SavesInOneTransactionCommitTogether) {
  TestStore store;
  auto area = store.area("area");
  store.context->save();
  std::vector<std::string> posted;
  auto token = NotificationCenter::defaultCenter().addObserver(
      ObjectContext::kDidSaveNotification, store.context.get(), [&](const Notification& n) {
        for (const char* key : {ObjectContext::kInsertedObjectsKey, ObjectContext::kUpdatedObjectsKey}) {
          for (const auto& name : TestStore::names(*n.value<ObjectSet>(key))) posted.push_back(key + (" " + name));
        }
      });
  const auto seenElsewhere = [&] {
    auto other = store.newContext();
    std::size_t places = 0;
    other->performAndWait([&] { places = other->count(FetchRequest("Place")); });
    return places;
  };
  store.context->performInTransaction([&] {
    auto b = store.spot("b", area);
    store.context->save();
    EXPECT_EQ(std::tuple(b->objectID().isTemporaryID(), store.context->count(FetchRequest("Place")),
                         seenElsewhere(), posted.size()),
              std::tuple(false, 2u, 1u, 0u));
    b->setValue("rank", 3);
    store.context->save();
  });
  EXPECT_EQ(posted, (std::vector<std::string>{"inserted b", "updated area", "updated b"}));
  EXPECT_EQ(seenElsewhere(), 2u);
  store.reopen();
  FetchRequest ranked("Spot");
  EXPECT_EQ(TestStore::names(store.context->fetch(ranked), "rank"), (std::vector<std::string>{"3"}));
}

TEST(SaveTest, ValidationReportsEachProblemAndGathersSeveral) {
  struct Case {
    const char* label;
    std::function<void(TestStore&)> change;
    int code;
    std::string key;
  };
  const std::vector<Case> cases = {
      {"missing mandatory attribute", [](TestStore& s) { s.context->insertNewObject("Area"); },
       StoreError::kValidationMissingMandatoryProperty, "name"},
      {"wrong type", [](TestStore& s) { s.spot("x")->setValue("rank", "high"); }, StoreError::kValidationValueType,
       "rank"},
      {"entity hook", [](TestStore& s) { s.spot("forbidden"); }, SpotObject::kForbiddenName, "name"},
      {"several", [](TestStore& s) {
         s.spot("forbidden")->setValue("open", "maybe");
         s.context->insertNewObject("Visit");
       },
       StoreError::kMultipleValidationErrors, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TestStore store;
    c.change(store);
    try {
      store.context->save();
      ADD_FAILURE() << "saved";
    } catch (const StoreError& e) {
      EXPECT_EQ(e.code(), c.code) << e.what();
      EXPECT_EQ(keyOf(e), c.key);
      if (c.code == StoreError::kMultipleValidationErrors) {
        const auto& details =
            std::any_cast<const std::vector<StoreError>&>(e.userInfo().at(StoreError::kDetailedErrorsKey));
        std::vector<std::string> keys;
        for (const auto& d : details) keys.push_back(std::to_string(d.code()) + ":" + keyOf(d));
        EXPECT_EQ(keys, (std::vector<std::string>{"1680:name", "1550:open", "1570:start"}));
      }
    }
    EXPECT_TRUE(store.context->hasChanges());
  }
}

TEST(SaveTest, SavingGivesPermanentIDsAndPostsTheSavedObjects) {
  TestStore store;
  auto area = store.area("area");
  auto a = store.spot("a", area);
  auto b = store.spot("b", area);
  auto reserved = store.spot("reserved", area);
  const ObjectID temporary = a->objectID();
  // Keys reserved before the save are the ones it keeps.
  store.context->obtainPermanentIDs({reserved, area});
  const ObjectID reservedID = reserved->objectID();
  EXPECT_EQ(std::tuple(reservedID.isTemporaryID(), area->objectID().isTemporaryID(),
                       a->objectID().isTemporaryID(), reserved->isInserted()),
            std::tuple(false, false, true, true));
  EXPECT_EQ(std::tuple(reserved->value("area"), store.context->existingObject(reservedID)),
            std::tuple(Value(area->objectID()), reserved));
  store.context->save();
  const ObjectID saved = a->objectID();
  EXPECT_TRUE(!saved.isTemporaryID() && saved.primaryKey() != reservedID.primaryKey());
  // An earlier temporary ID still finds the object.
  EXPECT_EQ(std::tuple(reserved->objectID(), saved.storeIdentifier(),
                       store.context->existingObject(temporary), a->value("area")),
            std::tuple(reservedID, store.coordinator->storeIdentifier(), a,
                       Value(area->objectID())));

  std::string posted;
  auto token = NotificationCenter::defaultCenter().addObserver(
      ObjectContext::kDidSaveNotification, nullptr, [&](const Notification& n) {
        posted += n.object == store.context.get() ? "from the context:" : "from elsewhere:";
        for (const char* key : {ObjectContext::kInsertedObjectsKey, ObjectContext::kUpdatedObjectsKey,
                                ObjectContext::kDeletedObjectsKey}) {
          posted += " |";
          for (const auto& name : TestStore::names(*n.value<ObjectSet>(key))) posted += " " + name;
        }
        for (const auto& id : *n.value<ObjectIDSet>(ObjectContext::kDeletedObjectIDsKey)) {
          posted += id == temporary || id == a->objectID() ? " | a's ID" : " | another ID";
        }
      });
  auto c = store.spot("c", area);
  b->setValue("rank", 2);
  store.context->deleteObject(a);
  store.context->save();
  EXPECT_EQ(posted, "from the context: | c | area b | nil | a's ID");  // a deleted object reads nil
  posted.clear();
  store.context->save();
  EXPECT_EQ(posted, "") << "nothing to save: no notification";

  store.reopen();
  EXPECT_EQ(store.context->existingObject(reservedID)->object("area")->value("name"), Value("area"));
}

TEST(SaveTest, URIRepresentationsLeadBackToObjectIDsAndMetadataStaysWithTheStore) {
  TestStore store;
  auto a = store.spot("a");
  EXPECT_FALSE(store.coordinator->managedObjectIDForURIRepresentation(a->objectID().uriRepresentation()));
  store.context->save();
  const std::string uri = a->objectID().uriRepresentation();
  // Metadata is kept with the store, except its identity, which no one may set.
  EXPECT_FALSE(store.coordinator->metadataValue("cleanShutdown").has_value());
  store.coordinator->setMetadataValue("cleanShutdown", "yes");
  EXPECT_THROW(store.coordinator->setMetadataValue("NSStoreUUID", "x"), std::invalid_argument);
  store.reopen();
  EXPECT_EQ(std::tuple(store.coordinator->metadataValue("cleanShutdown"),
                       store.coordinator->metadataValue("NSStoreModelName")),
            std::tuple("yes", "StoreTest"));
  auto id = store.coordinator->managedObjectIDForURIRepresentation(uri);
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(store.context->existingObject(*id)->value("name"), Value("a"));

  const std::string storeID = store.coordinator->storeIdentifier();
  const std::regex upperCaseUUID("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}");
  EXPECT_TRUE(std::regex_match(storeID, upperCaseUUID)) << storeID;
  // Only IDs of this store, of entities that have rows (well-formedness is the parser's).
  const std::string here = "x-chronelle://" + storeID + "/";
  for (const std::string& bad : {std::string("x-chronelle://00000000-0000-4000-8000-000000000000/Spot/p1"),
                                 here + "Ghost/p1", here + "Place/p1"}) {
    EXPECT_FALSE(store.coordinator->managedObjectIDForURIRepresentation(bad).has_value()) << bad;
  }
}

TEST(StoreRoundTripTest, EveryAttributeTypeReadsBackExactlyAfterReopening) {
  TestStore store;
  const std::vector<std::pair<const char*, std::map<std::string, Value>>> cases = {
      {"microseconds",
       {{"start", Date::fromMicroseconds(1'700'000'000'123'456)}, {"stop", Date::fromMicroseconds(1'700'000'001'000'001)},
        {"note", "plain"}, {"weight", 1.5}, {"payload", Blob{0, 1, 255}}, {"tally", std::int64_t{9'007'199'254'740'993}},
        {"small", 32767}, {"done", true}}},
      {"before 1970",
       {{"start", Date::fromMicroseconds(-86'400'000'001)}, {"stop", Value()}, {"note", "ünïcødé \"quoted\""},
        {"weight", -0.1}, {"payload", Blob{}}, {"tally", std::int64_t{-9'223'372'036'854'775'807}}, {"small", -32768},
        {"done", false}}},
      {"absent optionals",
       {{"start", Date::distantPast()}, {"stop", Date::distantFuture()}, {"note", Value()}, {"weight", Value()},
        {"payload", Value()}, {"tally", Value()}, {"small", Value()}, {"done", Value()}}},
      {"embedded NUL",
       {{"start", Date()}, {"note", std::string("a\0b", 3)}, {"weight", 1e-300}, {"payload", Blob(1000, 7)},
        {"tally", 0}, {"small", 0}, {"done", false}}},
  };
  std::vector<std::shared_ptr<ManagedObject>> visits;
  for (const auto& [label, values] : cases) {
    visits.push_back(store.context->insertNewObject("Visit"));
    for (const auto& [key, value] : values) visits.back()->setValue(key, value);
  }
  store.context->save();
  std::vector<ObjectID> ids;
  for (const auto& visit : visits) ids.push_back(visit->objectID());
  store.reopen();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    auto visit = store.context->existingObject(ids[i]);
    for (const auto& [key, value] : cases[i].second) EXPECT_EQ(visit->value(key), value) << cases[i].first << " " << key;
    EXPECT_FALSE(visit->hasChanges());
  }
}

TEST(StoreRoundTripTest, ATransformableAttributeNeedsItsTransformerRegistered) {
  auto model = std::make_shared<ObjectModel>("Transforming", 1);
  model->addEntity(EntityDescription("Rule").add(
      AttributeDescription{"info", AttributeType::transformable, true, Value(), "StoreTestTransformer"}));
  model->finalize();
  TempDirectory directory;
  auto coordinator = std::make_shared<PersistentStoreCoordinator>(model);
  EXPECT_THROW(coordinator->addPersistentStore(directory.file("t.sqlite")), StoreError);
  ValueTransformerRegistry::registerTransformer("StoreTestTransformer");
  coordinator->addPersistentStore(directory.file("t.sqlite"));
  auto context = ObjectContext::create(ConcurrencyType::privateQueue, coordinator);
  auto rule = context->insertNewObject("Rule");
  rule->setValue("info", Blob{1, 2, 3});
  context->save();
  context->reset();
  EXPECT_EQ(context->fetch(FetchRequest("Rule")).at(0)->value("info"), Value(Blob{1, 2, 3}));
}

}  // namespace
}  // namespace chronelle::testing
