// Saving: validation, permanent IDs, what is posted, and every value read back after reopening.
#include <gtest/gtest.h>

#include "StoreTestModel.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/store/StoreError.h"

namespace chronelle::testing {
namespace {

std::string keyOf(const StoreError& error) {
  auto it = error.userInfo().find(StoreError::kValidationKeyKey);
  return it == error.userInfo().end() ? "" : std::any_cast<std::string>(it->second);
}

std::vector<std::string> namesOf(const std::shared_ptr<ManagedObject>& area) {
  return TestStore::names(area->objects("places"));
}

TEST(SaveTest, AFailedSaveLeavesTheStoreAndTheContextAsTheyWere) {
  TestStore store;
  auto area = store.area("area");
  auto a = store.spot("a", area);
  store.context->save();

  auto added = store.spot("added", area);
  a->setValue("rank", 9);
  auto visit = store.visit(a, 1);
  visit->setValue("start", Value());  // mandatory: the save must fail
  try {
    store.context->save();
    FAIL() << "saved an object without its mandatory start";
  } catch (const StoreError& e) {
    EXPECT_EQ(e.code(), StoreError::kValidationMissingMandatoryProperty);
    EXPECT_EQ(keyOf(e), "start");
    const auto object = e.userInfo().find(StoreError::kValidationObjectKey);
    ASSERT_NE(object, e.userInfo().end());
    EXPECT_EQ(std::any_cast<std::shared_ptr<ManagedObject>>(object->second), visit);
  }
  // The context still holds every change, with temporary IDs.
  EXPECT_TRUE(added->isInserted());
  EXPECT_TRUE(added->objectID().isTemporaryID());
  EXPECT_EQ(a->value("rank"), Value(9));
  EXPECT_TRUE(a->isUpdated());
  EXPECT_EQ(store.context->insertedObjects().size(), 2u);
  EXPECT_EQ(namesOf(area), (std::vector<std::string>{"a", "added"}));
  // The store holds none of them.
  auto other = store.newContext();
  other->performAndWait([&] {
    EXPECT_EQ(other->count(FetchRequest("Place")), 2u);
    EXPECT_EQ(other->count(FetchRequest("Visit")), 0u);
    EXPECT_EQ(other->existingObject(a->objectID())->value("rank"), Value(0));
  });
  // Fixing the value lets the same changes save.
  visit->setValue("start", Date::fromMicroseconds(5));
  store.context->save();
  other->performAndWait([&] {
    EXPECT_EQ(other->count(FetchRequest("Place")), 3u);
    EXPECT_EQ(other->count(FetchRequest("Visit")), 1u);
  });
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
  const ObjectID temporary = a->objectID();
  store.context->save();
  EXPECT_FALSE(a->objectID().isTemporaryID());
  EXPECT_EQ(a->objectID().storeIdentifier(), store.coordinator->storeIdentifier());
  EXPECT_EQ(store.context->existingObject(temporary), a);  // an earlier temporary ID still finds it
  EXPECT_EQ(a->value("area"), Value(area->objectID()));

  std::map<std::string, std::vector<std::string>> posted;
  std::set<ObjectID> deletedIDs;
  const void* sender = nullptr;
  auto token = NotificationCenter::defaultCenter().addObserver(
      ObjectContext::kDidSaveNotification, nullptr, [&](const Notification& n) {
        sender = n.object;
        for (const char* key : {ObjectContext::kInsertedObjectsKey, ObjectContext::kUpdatedObjectsKey,
                                ObjectContext::kDeletedObjectsKey}) {
          posted[key] = TestStore::names(*n.value<ObjectSet>(key));
        }
        deletedIDs = *n.value<ObjectIDSet>(ObjectContext::kDeletedObjectIDsKey);
      });
  auto c = store.spot("c", area);
  b->setValue("rank", 2);
  const ObjectID aID = a->objectID();
  store.context->deleteObject(a);
  store.context->save();
  EXPECT_EQ(sender, store.context.get());
  EXPECT_EQ(posted[ObjectContext::kInsertedObjectsKey], (std::vector<std::string>{"c"}));
  EXPECT_EQ(posted[ObjectContext::kUpdatedObjectsKey], (std::vector<std::string>{"area", "b"}));
  EXPECT_EQ(posted[ObjectContext::kDeletedObjectsKey], (std::vector<std::string>{"nil"}));  // a fault reads nil
  EXPECT_EQ(deletedIDs, (std::set<ObjectID>{aID}));

  // Nothing to save: no notification.
  posted.clear();
  store.context->save();
  EXPECT_TRUE(posted.empty());
}

TEST(SaveTest, ObtainPermanentIDsReservesKeysBeforeTheSave) {
  TestStore store;
  auto area = store.area("area");
  auto a = store.spot("a", area);
  auto b = store.spot("b");
  store.context->obtainPermanentIDs({a, area});
  EXPECT_FALSE(a->objectID().isTemporaryID());
  EXPECT_FALSE(area->objectID().isTemporaryID());
  EXPECT_TRUE(b->objectID().isTemporaryID());
  EXPECT_TRUE(a->isInserted());
  EXPECT_EQ(a->value("area"), Value(area->objectID()));
  EXPECT_EQ(store.context->existingObject(a->objectID()), a);
  const ObjectID reserved = a->objectID();
  store.context->save();
  EXPECT_EQ(a->objectID(), reserved);
  EXPECT_NE(b->objectID().primaryKey(), reserved.primaryKey());
  store.reopen();
  EXPECT_EQ(store.context->existingObject(reserved)->value("name"), Value("a"));
  EXPECT_EQ(store.context->existingObject(reserved)->object("area")->value("name"), Value("area"));
}

TEST(SaveTest, URIRepresentationsLeadBackToObjectIDs) {
  TestStore store;
  auto a = store.spot("a");
  const std::string temporaryURI = a->objectID().uriRepresentation();
  EXPECT_TRUE(temporaryURI.starts_with("x-chronelle:///Spot/t")) << temporaryURI;
  EXPECT_FALSE(store.coordinator->managedObjectIDForURIRepresentation(temporaryURI).has_value());
  store.context->save();
  const std::string uri = a->objectID().uriRepresentation();
  EXPECT_EQ(store.coordinator->managedObjectIDForURIRepresentation(uri), a->objectID());
  store.reopen();
  auto id = store.coordinator->managedObjectIDForURIRepresentation(uri);
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(store.context->existingObject(*id)->value("name"), Value("a"));

  const std::string storeID = store.coordinator->storeIdentifier();
  for (const std::string& bad : {std::string("x-chronelle://00000000-0000-4000-8000-000000000000/Spot/p1"),
                                 "x-chronelle://" + storeID + "/Ghost/p1", "x-chronelle://" + storeID + "/Place/p1",
                                 std::string("https://example.com/Spot/p1"), std::string("")}) {
    EXPECT_FALSE(store.coordinator->managedObjectIDForURIRepresentation(bad).has_value()) << bad;
  }
}

TEST(StoreRoundTripTest, EveryAttributeTypeReadsBackExactlyAfterReopening) {
  TestStore store;
  struct Case {
    const char* label;
    Date start;
    std::optional<Date> stop;
    Value note, weight, payload, tally, small, done;
  };
  const std::vector<Case> cases = {
      {"microseconds", Date::fromMicroseconds(1'700'000'000'123'456), Date::fromMicroseconds(1'700'000'001'000'001),
       "plain", 1.5, Blob{0, 1, 255}, std::int64_t{9'007'199'254'740'993}, 32767, true},
      {"before 1970", Date::fromMicroseconds(-86'400'000'001), std::nullopt, "ünïcødé \"quoted\"", -0.1,
       Blob{}, std::int64_t{-9'223'372'036'854'775'807}, -32768, false},
      {"absent optionals", Date::distantPast(), Date::distantFuture(), Value(), Value(), Value(), Value(), Value(),
       Value()},
      {"embedded NUL", Date(), std::nullopt, std::string("a\0b", 3), 1e-300, Blob(1000, 7), 0, 0, false},
  };
  std::vector<ObjectID> ids;
  for (const auto& c : cases) {
    auto visit = store.context->insertNewObject("Visit");
    visit->setValue("start", c.start);
    if (c.stop) visit->setValue("stop", *c.stop);
    visit->setValue("note", c.note);
    visit->setValue("weight", c.weight);
    visit->setValue("payload", c.payload);
    visit->setValue("tally", c.tally);
    visit->setValue("small", c.small);
    visit->setValue("done", c.done);
    ids.push_back(visit->objectID());
  }
  store.context->save();
  ids.clear();
  FetchRequest request("Visit");
  for (const auto& object : store.context->fetch(request)) ids.push_back(object->objectID());
  ASSERT_EQ(ids.size(), cases.size());

  store.reopen();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.label);
    auto visit = store.context->existingObject(ids[i]);
    EXPECT_EQ(visit->value("start"), Value(c.start));
    EXPECT_EQ(visit->value("stop"), c.stop ? Value(*c.stop) : Value());
    EXPECT_EQ(visit->value("note"), c.note);
    EXPECT_EQ(visit->value("weight"), c.weight);
    EXPECT_EQ(visit->value("payload"), c.payload);
    EXPECT_EQ(visit->value("tally"), c.tally);
    EXPECT_EQ(visit->value("small"), c.small);
    EXPECT_EQ(visit->value("done"), c.done);
    EXPECT_FALSE(visit->hasChanges());
  }
}

TEST(StoreRoundTripTest, MetadataIdentifiesTheStoreAcrossReopening) {
  TestStore store;
  const std::string uuid = store.coordinator->storeIdentifier();
  ASSERT_EQ(uuid.size(), 36u);
  for (const char c : uuid) EXPECT_TRUE(c == '-' || std::isdigit(static_cast<unsigned char>(c)) || std::isupper(c)) << uuid;
  EXPECT_FALSE(store.coordinator->metadataValue("cleanShutdown").has_value());
  store.coordinator->setMetadataValue("cleanShutdown", "yes");
  EXPECT_THROW(store.coordinator->setMetadataValue("NSStoreUUID", "x"), std::invalid_argument);
  store.reopen();
  EXPECT_EQ(store.coordinator->storeIdentifier(), uuid);
  EXPECT_EQ(store.coordinator->metadataValue("cleanShutdown"), "yes");
  EXPECT_EQ(store.coordinator->metadataValue("NSStoreModelName"), "StoreTest");
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
