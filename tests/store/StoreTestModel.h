#pragma once
// A small model for the store's tests, unrelated to the application's entities:
//   Place (abstract root: name mandatory, rank, identifier; area → Area, nullify;
//          badges → Badge, nullify)
//     Area  (places → Place, cascade; keeper ↔ Keeper one-to-one, nullify)
//     Spot  (open; visits → Visit, cascade)
//   Visit  (every attribute type; spot → Spot, nullify)
//   Keeper (title; area ↔ Area; badges → Badge, deny)
//   Badge  (label; keeper → Keeper, nullify; place → Place, nullify)

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chronelle/platform/MainQueue.h"
#include "chronelle/store/ManagedObject.h"
#include "chronelle/store/ObjectContext.h"
#include "chronelle/store/PersistentStoreCoordinator.h"
#include "chronelle/store/StoreError.h"
#include "testsupport/TempDirectory.h"

namespace chronelle::testing {

// Spot refuses the name "forbidden" (code 1680) and announces "summary" when name or
// rank change; it counts its awake calls.
class SpotObject : public ManagedObject {
 public:
  static constexpr int kForbiddenName = 1680;
  void awakeFromInsert() override {
    const std::string fresh = "spot-" + objectID().storeIdentifier().substr(0, 8);
    if (value("identifier").isNull()) setValue("identifier", fresh);
  }
  void awakeFromFetch() override { ++fetchAwakes; }
  void validateValue(std::string_view key, const Value& value) const override {
    if (key == "name" && value == Value("forbidden"))
      throw StoreError(kForbiddenName, "forbidden name",
                       {{StoreError::kValidationKeyKey, std::string(key)}});
  }
  std::vector<std::string> keysAffectedBy(std::string_view key) const override {
    if (key == "name" || key == "rank") return {"summary"};
    return {};
  }
  int fetchAwakes = 0;
};

inline AttributeDescription attribute(std::string name, AttributeType type, bool optional = true,
                                      Value defaultValue = {}) {
  return AttributeDescription{std::move(name), type, optional, std::move(defaultValue), ""};
}

// Version 1 of the test model (`extraAttribute` adds Visit.mood, for a changed schema).
inline std::shared_ptr<const ObjectModel> makeTestModel(bool extraAttribute = false) {
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

using Values = std::initializer_list<std::pair<const char*, Value>>;

// Sets the attribute values on `object` and returns it.
inline std::shared_ptr<ManagedObject> with(std::shared_ptr<ManagedObject> object, Values values) {
  for (const auto& [key, value] : values) object->setValue(key, value);
  return object;
}

// Inserts an object of `entity` with the attribute values.
inline auto insert(ObjectContext& context, const std::string& entity, Values values) {
  return with(context.insertNewObject(entity), values);
}

// Runs `fn` as one task of the shared main queue; the end of the task processes the changes
// of main-queue contexts, as in the application.
inline void inTask(const std::function<void()>& fn) {
  MainQueue::shared().post(fn);
  MainQueue::shared().runPending();
}

// A store file in a temporary directory with a main-queue context on it.
struct TestStore {
  TestStore() { reopen(); }
  // A new coordinator (and main context) on the same file, as after a relaunch.
  void reopen() {
    context.reset();
    coordinator = std::make_shared<PersistentStoreCoordinator>(model);
    coordinator->addPersistentStore(file);
    context = ObjectContext::create(ConcurrencyType::mainQueue, coordinator);
  }
  auto newContext(ConcurrencyType type = ConcurrencyType::privateQueue) const {
    return ObjectContext::create(type, coordinator);
  }

  // A named area or spot, in `parent` when given.
  std::shared_ptr<ManagedObject> place(const char* entity, const std::string& name,
                                       const std::shared_ptr<ManagedObject>& parent) {
    auto object = insert(*context, entity, {{"name", name}});
    if (parent) object->setObject("area", parent);
    return object;
  }
  auto area(const std::string& name, const std::shared_ptr<ManagedObject>& parent = nullptr) {
    return place("Area", name, parent);
  }
  auto spot(const std::string& name, const std::shared_ptr<ManagedObject>& parent = nullptr) {
    return place("Spot", name, parent);
  }
  auto visit(const std::shared_ptr<ManagedObject>& spot, std::int64_t tally) {
    const auto start = Date::fromSecondsSince1970(1'700'000'000.0 + double(tally) * 60.0);
    auto object = insert(*context, "Visit", {{"start", start}, {"tally", tally}});
    if (spot) object->setObject("spot", spot);
    return object;
  }
  // Names of the objects, in order (for readable expectations).
  static std::vector<std::string> names(const ObjectSet& objects, const std::string& key = "name") {
    std::vector<std::string> result;
    for (const auto& object : objects) {
      const Value value = object->value(key);
      result.push_back(value.asString() ? *value.asString() : value.description());
    }
    return result;
  }

  TempDirectory directory;
  std::filesystem::path file = directory.file("test.sqlite");
  std::shared_ptr<const ObjectModel> model = makeTestModel();
  std::shared_ptr<PersistentStoreCoordinator> coordinator;
  std::shared_ptr<ObjectContext> context;
};

}  // namespace chronelle::testing
