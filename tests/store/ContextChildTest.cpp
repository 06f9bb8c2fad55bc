#include <gtest/gtest.h>

#include "StoreTestModel.h"
#include "chronelle/store/Predicate.h"
#include "chronelle/store/StoreError.h"

namespace chronelle::testing {
namespace {

FetchRequest sortedSpots() {
  FetchRequest request("Spot");
  request.sortDescriptors = {{"name", true}};
  return request;
}

TEST(ContextChildTest, AChildSeesItsParentsUnsavedStateAndSavesIntoIt) {
  TestStore store;
  auto area = store.area("area");
  auto a = store.spot("a", area);
  auto b = store.spot("b", area);
  store.context->save();
  // Unsaved in the parent: an insert, an edit, a delete.
  auto c = store.spot("c", area);
  a->setValue("rank", 5);
  store.context->deleteObject(b);

  auto child = ObjectContext::createChild(ConcurrencyType::mainQueue, store.context);
  EXPECT_EQ(TestStore::names(child->fetch(sortedSpots())), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(child->count(sortedSpots()), 2u);
  auto childA = child->existingObject(a->objectID());
  EXPECT_NE(childA, a);
  EXPECT_EQ(childA->value("rank"), Value(5));
  EXPECT_FALSE(childA->hasChanges());
  auto childArea = child->existingObject(area->objectID());
  EXPECT_EQ(TestStore::names(childArea->objects("places")), (std::vector<std::string>{"a", "c"}));
  FetchRequest ranked("Spot");
  ranked.predicate = Predicate::parse("rank == 5");
  EXPECT_EQ(child->fetch(ranked).at(0), childA);

  // The child's save lands in the parent as unsaved changes, not in the store.
  childA->setValue("name", "a2");
  auto d = child->insertNewObject("Spot");
  d->setValue("name", "d");
  d->setObject("area", childArea);
  child->deleteObject(child->existingObject(c->objectID()));
  child->save();
  EXPECT_FALSE(child->hasChanges());
  EXPECT_EQ(a->value("name"), Value("a2"));
  EXPECT_TRUE(c->isDeleted() || c->managedObjectContext() == nullptr);
  auto parentD = store.context->existingObject(d->objectID());
  EXPECT_TRUE(parentD->isInserted());
  EXPECT_EQ(parentD->object("area"), area);
  EXPECT_EQ(TestStore::names(area->objects("places")), (std::vector<std::string>{"a2", "d"}));
  auto other = store.newContext();
  other->performAndWait([&] { EXPECT_EQ(TestStore::names(other->fetch(sortedSpots())), (std::vector<std::string>{"a", "b"})); });

  // Saving the parent writes everything.
  store.context->save();
  other->performAndWait([&] { EXPECT_EQ(TestStore::names(other->fetch(sortedSpots())), (std::vector<std::string>{"a2", "d"})); });
}

TEST(ContextChildTest, AChildThatFailsValidationLeavesItsParentAlone) {
  TestStore store;
  auto child = ObjectContext::createChild(ConcurrencyType::privateQueue, store.context);
  child->performAndWait([&] {
    child->insertNewObject("Visit");  // no start
    EXPECT_THROW(child->save(), StoreError);
    EXPECT_TRUE(child->hasChanges());
  });
  EXPECT_FALSE(store.context->hasChanges());
}

}  // namespace
}  // namespace chronelle::testing
