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

#include "chronelle/store/ManagedObject.h"
#include "chronelle/store/ObjectContext.h"
#include "chronelle/store/PersistentStoreCoordinator.h"
#include "testsupport/TempDirectory.h"

namespace chronelle::testing {

// Spot refuses the name "forbidden" (code 1680) and announces "summary" when name or
// rank change; it counts its awake calls.
class SpotObject : public ManagedObject {
 public:
  static constexpr int kForbiddenName = 1680;
  void awakeFromInsert() override;
  void awakeFromFetch() override { ++fetchAwakes; }
  void validateValue(std::string_view key, const Value& value) const override;
  std::vector<std::string> keysAffectedBy(std::string_view key) const override;
  int fetchAwakes = 0;
};

// Version 1 of the test model (`extraAttribute` adds Visit.mood, for a changed schema).
std::shared_ptr<const ObjectModel> makeTestModel(bool extraAttribute = false);

using Values = std::initializer_list<std::pair<const char*, Value>>;

// Sets the attribute values on `object` and returns it.
std::shared_ptr<ManagedObject> with(std::shared_ptr<ManagedObject> object, Values values);

// Inserts an object of `entity` with the attribute values.
std::shared_ptr<ManagedObject> insert(ObjectContext& context, const std::string& entity, Values values);

// Runs `fn` as one task of the shared main queue; the end of the task processes the changes
// of main-queue contexts, as in the application.
void inTask(const std::function<void()>& fn);

// A store file in a temporary directory with a main-queue context on it.
struct TestStore {
  TestStore();
  // A new coordinator (and main context) on the same file, as after a relaunch.
  void reopen();
  std::shared_ptr<ObjectContext> newContext(ConcurrencyType type = ConcurrencyType::privateQueue) const;

  // A named area or spot, in `parent` when given.
  std::shared_ptr<ManagedObject> area(const std::string& name, const std::shared_ptr<ManagedObject>& parent = nullptr);
  std::shared_ptr<ManagedObject> spot(const std::string& name, const std::shared_ptr<ManagedObject>& parent = nullptr);
  std::shared_ptr<ManagedObject> visit(const std::shared_ptr<ManagedObject>& spot, std::int64_t tally);
  // Names of the objects, in order (for readable expectations).
  static std::vector<std::string> names(const ObjectSet& objects, const std::string& key = "name");

  TempDirectory directory;
  std::filesystem::path file;
  std::shared_ptr<const ObjectModel> model;
  std::shared_ptr<PersistentStoreCoordinator> coordinator;
  std::shared_ptr<ObjectContext> context;
};

}  // namespace chronelle::testing
