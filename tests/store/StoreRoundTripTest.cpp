#include <gtest/gtest.h>

#include "StoreTestModel.h"
#include "chronelle/store/StoreError.h"

namespace chronelle::testing {
namespace {

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
