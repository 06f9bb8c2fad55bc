#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "StoreTestModel.h"
#include "chronelle/store/Predicate.h"
#include "chronelle/store/StoreError.h"

namespace chronelle::testing {
namespace {

std::vector<std::string> namesOf(const std::vector<std::shared_ptr<ManagedObject>>& objects) {
  return TestStore::names(objects);
}

// The code of the StoreError `fn` throws; 0 when it throws nothing.
int errorCode(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const StoreError& e) {
    return e.code();
  }
  return 0;
}

TEST(ContextObjectsTest, InsertionGivesTemporaryIDsDefaultsAndAwakeFromInsert) {
  TestStore store;
  auto spot = store.spot("a");
  EXPECT_TRUE(spot->objectID().isTemporaryID() && spot->isInserted());
  EXPECT_TRUE(std::dynamic_pointer_cast<SpotObject>(spot));
  // Defaults, and what awakeFromInsert set.
  const auto identifier = spot->value("identifier").asString().value_or("");
  EXPECT_EQ(std::tuple(spot->value("rank"), spot->value("open"), identifier.substr(0, 5)),
            std::tuple(Value(0), Value(false), "spot-"));
  EXPECT_EQ(store.context->registeredObject(spot->objectID()), spot);
  EXPECT_THROW(store.context->insertNewObject("Place"), std::invalid_argument);  // abstract
  EXPECT_THROW(store.context->insertNewObject("Nothing"), std::invalid_argument);
  EXPECT_THROW(spot->value("nothing"), std::invalid_argument);
  EXPECT_THROW(spot->setValue("nothing", 1), std::invalid_argument);
  EXPECT_THROW(spot->setValue("area", "north"), std::invalid_argument);  // not an object
  EXPECT_THROW(spot->object("rank"), std::invalid_argument);              // not a relationship
  // Integers given for doubles and 0/1 for booleans are kept as the attribute's type.
  EXPECT_EQ(with(store.visit(spot, 1), {{"weight", 2}})->value("weight"), Value(2.0));
  EXPECT_EQ(with(spot, {{"open", 1}})->value("open"), Value(true));
}

TEST(ContextObjectsTest, OneObjectPerIDAndLookupsByID) {
  TestStore store;
  auto a = store.spot("a");
  store.context->save();
  const ObjectID id = a->objectID();
  EXPECT_FALSE(id.isTemporaryID());
  EXPECT_EQ(store.context->existingObject(id), a);
  EXPECT_EQ(store.context->fetch(FetchRequest("Spot")).at(0), a);

  auto other = store.newContext();
  other->performAndWait([&] {
    auto there = other->existingObject(id);
    EXPECT_NE(there, a);
    EXPECT_TRUE(isSameObject(there.get(), a.get()));
    EXPECT_EQ(other->existingObject(id), there);
    EXPECT_EQ(std::dynamic_pointer_cast<SpotObject>(there)->fetchAwakes, 1);
  });
  EXPECT_FALSE(isSameObject(a.get(), nullptr));

  struct Case {
    const char* label;
    ObjectID id;
  };
  const std::vector<Case> missing = {
      {"no such row", ObjectID::permanent("Spot", 999, id.storeIdentifier())},
      {"row of another entity", ObjectID::permanent("Visit", id.primaryKey(), id.storeIdentifier())},
      {"another store", ObjectID::permanent("Spot", id.primaryKey(), "00000000-0000-4000-8000-000000000000")},
      {"unknown temporary", ObjectID::temporary("Spot")},
      {"unknown entity", ObjectID::permanent("Ghost", 1, id.storeIdentifier())},
  };
  for (const auto& c : missing) {
    EXPECT_EQ(store.context->registeredObject(c.id), nullptr) << c.label;
    EXPECT_EQ(errorCode([&] { store.context->existingObject(c.id); }), StoreError::kObjectNotFound)
        << c.label;
  }
}

TEST(ContextObjectsTest, RelationshipsKeepBothSidesInStep) {
  TestStore store;
  auto north = store.area("north");
  auto south = store.area("south");
  auto a = store.spot("a", north);
  auto b = store.spot("b", north);
  EXPECT_EQ(namesOf(north->objects("places")), (std::vector<std::string>{"a", "b"}));
  store.context->save();
  EXPECT_FALSE(north->hasChanges());

  // Moving a saved object: both to-many sides follow before and after saving, and both
  // owners count as updated.
  b->setObject("area", south);
  EXPECT_EQ(std::tuple(namesOf(north->objects("places")), namesOf(south->objects("places"))),
            std::tuple(std::vector<std::string>{"a"}, std::vector<std::string>{"b"}));
  EXPECT_TRUE(north->isUpdated() && south->isUpdated());
  EXPECT_EQ(std::tuple(b->changedValues().at("area"), b->committedValues({"area"}).at("area")),
            std::tuple(Value(south->objectID()), Value(north->objectID())));
  south->addObject("places", a);
  north->addObject("places", store.spot("c"));
  EXPECT_EQ(namesOf(south->objects("places")), (std::vector<std::string>{"a", "b"}));
  north->removeObject("places", a);  // not a member: nothing happens
  EXPECT_EQ(a->object("area"), south);
  store.context->save();
  store.reopen();
  FetchRequest byName("Area");
  byName.sortDescriptors = {{"name", true}};
  auto fetched = store.context->fetch(byName);
  ASSERT_EQ(fetched.size(), 2u);
  EXPECT_EQ(std::tuple(namesOf(fetched[0]->objects("places")), namesOf(fetched[1]->objects("places"))),
            std::tuple(std::vector<std::string>{"c"}, std::vector<std::string>{"a", "b"}));
  auto c = fetched[0]->objects("places")[0];
  EXPECT_EQ(c->object("area"), fetched[0]);
  EXPECT_EQ(c->value("area"), Value(fetched[0]->objectID()));

  // One-to-one: taking a partner releases its previous partner.
  auto k1 = store.context->insertNewObject("Keeper");
  auto k2 = store.context->insertNewObject("Keeper");
  k1->setObject("area", fetched[0]);
  EXPECT_EQ(fetched[0]->object("keeper"), k1);
  fetched[0]->setObject("keeper", k2);
  EXPECT_EQ(std::tuple(k1->object("area"), k2->object("area")), std::tuple(nullptr, fetched[0]));
  k2->setObject("area", fetched[1]);
  EXPECT_EQ(std::tuple(fetched[0]->object("keeper"), fetched[1]->object("keeper")), std::tuple(nullptr, k2));
  EXPECT_THROW(a->setObject("area", store.context->insertNewObject("Keeper")), std::exception);
}

TEST(ContextObjectsTest, AToOneToAnEntityWithSubentitiesKeepsTheConcreteEntity) {
  TestStore store;
  auto spot = store.spot("spot");
  auto area = store.area("area");
  store.context->insertNewObject("Badge")->setObject("place", spot);
  store.context->insertNewObject("Badge")->setObject("place", area);
  store.context->save();
  const ObjectID spotID = spot->objectID();
  store.reopen();

  FetchRequest badges("Badge");
  badges.predicate = Predicate::parse("place == %@", {spotID});
  const auto found = store.context->fetch(badges);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(std::tuple(found[0]->value("place"), found[0]->object("place")->entity().name()),
            std::tuple(Value(spotID), "Spot"));
  badges.predicate = Predicate::parse("place.name == %@", {"area"});
  badges.propertiesToFetch = {std::string("place")};
  const auto rows = store.context->fetchDictionaries(badges);
  const ObjectID areaID = rows.at(0).at("place").asObjectID().value();
  EXPECT_EQ(areaID.entityName(), "Area");
  EXPECT_EQ(std::tuple(store.context->existingObject(spotID)->objects("badges").size(),
                       store.context->existingObject(areaID)->objects("badges").size()),
            std::tuple(1u, 1u));
}

TEST(ContextObjectsTest, DeleteRulesCascadeNullifyAndDeny) {
  TestStore store;
  auto top = store.area("top");
  auto inner = store.area("inner", top);
  auto a = store.spot("a", inner);
  auto b = store.spot("b", top);
  auto v1 = store.visit(a, 1);
  auto v2 = store.visit(b, 2);
  auto keeper = store.context->insertNewObject("Keeper");
  keeper->setObject("area", inner);
  auto spotBadge = store.context->insertNewObject("Badge");
  spotBadge->setObject("place", a);
  store.context->save();

  // Cascade removes the subtree with its visits; nullify clears the keeper's side.
  store.context->deleteObject(inner);
  store.context->processPendingChanges();
  for (const auto& object : {inner, a, v1}) EXPECT_TRUE(object->isDeleted()) << object->entity().name();
  EXPECT_FALSE(b->isDeleted());
  EXPECT_EQ(std::tuple(keeper->object("area"), spotBadge->object("place")), std::tuple(nullptr, nullptr));
  EXPECT_EQ(namesOf(top->objects("places")), (std::vector<std::string>{"b"}));
  store.context->save();
  EXPECT_TRUE(a->isFault() && a->faultingState() != 0 && a->value("name").isNull() && !a->managedObjectContext());
  EXPECT_EQ(std::tuple(store.context->count(FetchRequest("Visit")), store.context->count(FetchRequest("Place"))),
            std::tuple(1u, 2u));

  // Nullify from the to-one side: the spot forgets the deleted visit.
  store.context->deleteObject(v2);
  EXPECT_TRUE(b->objects("visits").empty());
  store.context->save();

  // Deny: a keeper with badges cannot be deleted; without them it can.
  auto badge = store.context->insertNewObject("Badge");
  badge->setObject("keeper", keeper);
  store.context->save();
  store.context->deleteObject(keeper);
  try {
    store.context->save();
    ADD_FAILURE() << "deny rule ignored";
  } catch (const StoreError& e) {
    const auto key = std::any_cast<std::string>(e.userInfo().at(StoreError::kValidationKeyKey));
    EXPECT_EQ(std::tuple(e.code(), key), std::tuple(StoreError::kValidationDeleteDeny, "badges"));
  }
  store.context->rollback();
  EXPECT_FALSE(keeper->isDeleted());
  store.context->deleteObject(badge);
  store.context->deleteObject(keeper);
  store.context->save();
  EXPECT_EQ(store.context->count(FetchRequest("Keeper")), 0u);

  // An object inserted and deleted before saving simply goes away.
  auto ghost = store.spot("ghost");
  auto ghostVisit = store.visit(ghost, 3);
  store.context->deleteObject(ghost);
  store.context->processPendingChanges();
  EXPECT_FALSE(store.context->hasChanges());
  EXPECT_FALSE(ghost->managedObjectContext() || ghostVisit->managedObjectContext());
}

TEST(ContextObjectsTest, RollbackAndRefreshRestoreSavedState) {
  TestStore store;
  auto area = store.area("area");
  auto a = store.spot("a", area);
  store.context->save();

  auto added = store.spot("added", area);
  a->setValue("name", "renamed");
  a->setObject("area", nullptr);
  store.context->deleteObject(area);
  store.context->rollback();
  EXPECT_FALSE(store.context->hasChanges());
  EXPECT_EQ(std::tuple(a->value("name"), a->object("area")), std::tuple(Value("a"), area));
  EXPECT_FALSE(area->isDeleted() || added->managedObjectContext());
  EXPECT_EQ(namesOf(area->objects("places")), (std::vector<std::string>{"a"}));

  // Another context changes the row; refresh brings it in, keeping unsaved edits when asked.
  auto other = store.newContext();
  other->performAndWait([&] {
    auto there = other->existingObject(a->objectID());
    there->setValue("rank", 7);
    there->setValue("name", "theirs");
    other->save();
  });
  a->setValue("name", "mine");
  store.context->refresh(a, true);
  EXPECT_EQ(std::tuple(a->value("rank"), a->value("name")), std::tuple(Value(7), Value("mine")));
  EXPECT_EQ(a->committedValues({"name"}).at("name"), Value("theirs"));
  store.context->refresh(a, false);
  EXPECT_EQ(a->value("name"), Value("theirs"));
  EXPECT_FALSE(a->hasChanges());

  // Reset forgets every object, saved or not; the store still has the saved ones.
  auto unsaved = store.spot("unsaved");
  a->setValue("name", "edited");
  const ObjectID id = a->objectID();
  store.context->reset();
  EXPECT_FALSE(store.context->hasChanges() || a->managedObjectContext() || store.context->registeredObject(id));
  auto again = store.context->existingObject(id);
  EXPECT_NE(again, a);
  EXPECT_EQ(again->value("name"), Value("theirs"));
  EXPECT_EQ(store.context->count(FetchRequest("Spot")), 1u);
}

TEST(ContextObjectsTest, ObserversHearChangesWithOldAndNewValuesAndDependentKeys) {
  TestStore store;
  auto area = store.area("area");
  auto spot = store.spot("a");
  std::vector<std::string> heard;
  auto describe = [&](const ObservedChange& c) {
    heard.push_back(c.key + ":" + c.oldValue.description() + "->" + c.newValue.description());
  };
  auto name = spot->observe("name", describe);
  auto summary = spot->observe("summary", describe);
  auto places = area->observe("places", describe);
  spot->setValue("name", "b");
  spot->setValue("rank", 3);
  spot->setObject("area", area);
  spot->willChangeValue("summary");
  spot->didChangeValue("summary");
  name = area->observe("name", describe);  // replacing a token ends what it observed
  spot->setValue("name", "c");
  EXPECT_EQ(heard, (std::vector<std::string>{"name:\"a\"->\"b\"", "summary:nil->nil", "summary:nil->nil",
                                              "places:nil->nil", "summary:nil->nil", "summary:nil->nil"}));
  heard.clear();
  store.context->save();
  store.context->rollback();
  EXPECT_TRUE(heard.empty());
}

}  // namespace
}  // namespace chronelle::testing
