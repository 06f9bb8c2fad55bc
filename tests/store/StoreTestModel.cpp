#include "StoreTestModel.h"

#include "chronelle/platform/MainQueue.h"
#include "chronelle/store/StoreError.h"

namespace chronelle::testing {

void SpotObject::awakeFromInsert() {
  if (value("identifier").isNull()) setValue("identifier", "spot-" + objectID().storeIdentifier().substr(0, 8));
}

void SpotObject::validateValue(std::string_view key, const Value& value) const {
  if (key == "name" && value == Value("forbidden"))
    throw StoreError(kForbiddenName, "forbidden name", {{StoreError::kValidationKeyKey, std::string(key)}});
}

std::vector<std::string> SpotObject::keysAffectedBy(std::string_view key) const {
  return key == "name" || key == "rank" ? std::vector<std::string>{"summary"} : std::vector<std::string>{};
}

namespace {

AttributeDescription attribute(std::string name, AttributeType type, bool optional = true, Value defaultValue = {}) {
  return AttributeDescription{std::move(name), type, optional, std::move(defaultValue), ""};
}

}  // namespace

std::shared_ptr<const ObjectModel> makeTestModel(bool extraAttribute) {
  auto model = std::make_shared<ObjectModel>("StoreTest", extraAttribute ? 2 : 1);
  EntityDescription place("Place", "", true);
  place.add(attribute("name", AttributeType::string, false)).add(attribute("rank", AttributeType::integer32, true, Value(0)))
      .add(attribute("identifier", AttributeType::string))
      .add(RelationshipDescription{"area", "Area", "places", false, true, DeleteRule::nullify})
      .add(RelationshipDescription{"badges", "Badge", "place", true, true, DeleteRule::nullify})
      .addIndex("rank");
  EntityDescription area("Area", "Place");
  area.add(RelationshipDescription{"places", "Place", "area", true, true, DeleteRule::cascade})
      .add(RelationshipDescription{"keeper", "Keeper", "area", false, true, DeleteRule::nullify});
  EntityDescription spot("Spot", "Place");
  spot.add(attribute("open", AttributeType::boolean, true, Value(false)))
      .add(RelationshipDescription{"visits", "Visit", "spot", true, true, DeleteRule::cascade});
  EntityDescription visit("Visit");
  visit.add(attribute("start", AttributeType::date, false)).add(attribute("stop", AttributeType::date))
      .add(attribute("note", AttributeType::string)).add(attribute("weight", AttributeType::doubleType))
      .add(attribute("payload", AttributeType::binaryData)).add(attribute("tally", AttributeType::integer64))
      .add(attribute("small", AttributeType::integer16)).add(attribute("done", AttributeType::boolean))
      .add(RelationshipDescription{"spot", "Spot", "visits", false, true, DeleteRule::nullify});
  if (extraAttribute) visit.add(attribute("mood", AttributeType::string));
  EntityDescription keeper("Keeper");
  keeper.add(attribute("title", AttributeType::string))
      .add(RelationshipDescription{"area", "Area", "keeper", false, true, DeleteRule::nullify})
      .add(RelationshipDescription{"badges", "Badge", "keeper", true, true, DeleteRule::deny});
  EntityDescription badge("Badge");
  badge.add(attribute("label", AttributeType::string))
      .add(RelationshipDescription{"keeper", "Keeper", "badges", false, true, DeleteRule::nullify})
      .add(RelationshipDescription{"place", "Place", "badges", false, true, DeleteRule::nullify});
  model->addEntity(std::move(place)).addEntity(std::move(area))
      .addEntity(std::move(spot), [] { return std::make_shared<SpotObject>(); })
      .addEntity(std::move(visit)).addEntity(std::move(keeper)).addEntity(std::move(badge));
  model->finalize();
  return model;
}

std::shared_ptr<ManagedObject> with(std::shared_ptr<ManagedObject> object, Values values) {
  for (const auto& [key, value] : values) object->setValue(key, value);
  return object;
}

std::shared_ptr<ManagedObject> insert(ObjectContext& context, const std::string& entity, Values values) {
  return with(context.insertNewObject(entity), values);
}

void inTask(const std::function<void()>& fn) {
  MainQueue::shared().post(fn);
  MainQueue::shared().runPending();
}

TestStore::TestStore() : file(directory.file("test.sqlite")), model(makeTestModel()) { reopen(); }

void TestStore::reopen() {
  context.reset();
  coordinator = std::make_shared<PersistentStoreCoordinator>(model);
  coordinator->addPersistentStore(file);
  context = ObjectContext::create(ConcurrencyType::mainQueue, coordinator);
}

std::shared_ptr<ObjectContext> TestStore::newContext(ConcurrencyType type) const {
  return ObjectContext::create(type, coordinator);
}

std::shared_ptr<ManagedObject> TestStore::area(const std::string& name, const std::shared_ptr<ManagedObject>& parent) {
  auto object = insert(*context, "Area", {{"name", name}});
  if (parent) object->setObject("area", parent);
  return object;
}

std::shared_ptr<ManagedObject> TestStore::spot(const std::string& name, const std::shared_ptr<ManagedObject>& parent) {
  auto object = insert(*context, "Spot", {{"name", name}});
  if (parent) object->setObject("area", parent);
  return object;
}

std::shared_ptr<ManagedObject> TestStore::visit(const std::shared_ptr<ManagedObject>& spot, std::int64_t tally) {
  auto object = insert(*context, "Visit", {{"start", Date::fromSecondsSince1970(1'700'000'000.0 + static_cast<double>(tally) * 60.0)},
                                           {"tally", tally}});
  if (spot) object->setObject("spot", spot);
  return object;
}

std::vector<std::string> TestStore::names(const ObjectSet& objects, const std::string& key) {
  std::vector<std::string> result;
  for (const auto& object : objects) {
    const Value value = object->value(key);
    result.push_back(value.asString() ? *value.asString() : value.description());
  }
  return result;
}

}  // namespace chronelle::testing
