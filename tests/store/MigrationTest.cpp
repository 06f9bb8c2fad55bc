// Opening a store written by an older version of its model.
#include <gtest/gtest.h>

#include <set>

#include "MigrationTestSupport.h"
#include "chronelle/store/FetchRequest.h"
#include "chronelle/store/ObjectContext.h"
#include "chronelle/store/PersistentStoreCoordinator.h"
#include "chronelle/store/StoreError.h"
#include "chronelle/store/StoreFile.h"
#include "testsupport/TempDirectory.h"

namespace chronelle::testing {
namespace {

// The model name under which version 1 is registered, and one under which it is not, so
// that both ways of inferring the mapping run.
const std::string kRegistered = "ShelfRegistered";
const std::string kFileOnly = "ShelfFileOnly";

std::shared_ptr<PersistentStoreCoordinator> open(std::shared_ptr<const ObjectModel> model,
                                                 const std::filesystem::path& file) {
  auto coordinator = std::make_shared<PersistentStoreCoordinator>(std::move(model));
  coordinator->addPersistentStore(file);
  return coordinator;
}

// A version-1 store with two boxes, three items and two books.
void writeVersion1(const std::string& name, const std::filesystem::path& file) {
  if (name == kRegistered) ModelRegistry::registerModel(makeShelfModel(name, {1}));
  auto context = ObjectContext::create(ConcurrencyType::privateQueue, open(makeShelfModel(name, {1}), file));
  auto boxA = context->insertNewObject("Box");
  auto boxB = context->insertNewObject("Box");
  boxA->setValue("label", "A");
  boxB->setValue("label", "B");
  for (int i = 0; i < 5; ++i) {
    auto item = context->insertNewObject(i < 3 ? "Item" : "Book");
    item->setValue("name", "item" + std::to_string(i));
    item->setValue("count", i ? Value(i * 10) : Value());  // an optional value left out: not defaulted later
    item->setValue("legacy", "old" + std::to_string(i));
    if (i >= 3) item->setValue("pages", 100 + i);
    item->setObject("box", i % 2 == 0 ? boxA : boxB);
  }
  context->save();
}

std::vector<std::string> strings(StoreFileReader& reader, const std::string& sql) {
  std::vector<std::string> result;
  for (auto& row : reader.rows(sql)) result.push_back(row.at(0));
  return result;
}

TEST(MigrationTest, AnOlderStoreKeepsEveryRowGainsTheNewSchemaAndIsMigratedOnce) {
  for (const auto& name : {kRegistered, kFileOnly}) {
    SCOPED_TRACE(name);
    TempDirectory directory;
    const auto file = directory.file("shelf.sqlite");
    writeVersion1(name, file);
    // The header's user_version marks the schema a store was last opened with; an open that
    // finds the mark of its own model skips reading the schema before opening for writing.
    const auto userVersion = [&] { return StoreFileReader::openReadOnly(file)->integer("PRAGMA user_version"); };
    const std::int64_t markOfVersion1 = userVersion();
    EXPECT_NE(markOfVersion1, 0) << "a new store is marked";
    const auto v2 = makeShelfModel(name, {2});
    {
      auto coordinator = open(v2, file);
      auto context = ObjectContext::create(ConcurrencyType::privateQueue, coordinator);
      FetchRequest request("Item");
      request.sortDescriptors = {SortDescriptor{"name", true}};
      const auto items = context->fetch(request);
      // New attributes with and without a default; books keep pages and get the mandatory read.
      std::vector<std::string> rows;
      for (const auto& item : items) {
        rows.push_back(item->entity().name());
        for (const char* key : {"name", "count", "color", "rating", "pages", "read"})
          rows.back() += " " + (item->entity().attribute(key) ? item->value(key).description() : "-");
        rows.back() += " " + item->object("box")->value("label").description() + (item->object("owner") ? " owned" : "");
      }
      EXPECT_EQ(rows, (std::vector<std::string>{
                          "Item \"item0\" nil \"grey\" nil - - \"A\"", "Item \"item1\" 10 \"grey\" nil - - \"B\"",
                          "Item \"item2\" 20 \"grey\" nil - - \"A\"", "Book \"item3\" 30 \"grey\" nil 103 NO \"B\"",
                          "Book \"item4\" 40 \"grey\" nil 104 NO \"A\""}));
      // New entities work: a new table and a new subentity in the old table.
      auto owner = context->insertNewObject("Owner");
      owner->setValue("title", "Ann");
      auto magazine = context->insertNewObject("Magazine");
      magazine->setValue("name", "zine");
      magazine->setObject("owner", owner);
      items[0]->setObject("owner", owner);
      context->save();
      EXPECT_EQ(context->count(FetchRequest("Item")), 6u);
      EXPECT_EQ(owner->objects("items").size(), 2u);

      auto reader = StoreFileReader::openReadOnly(file);
      const auto columns = strings(*reader, "SELECT name FROM pragma_table_info('ZITEM')");
      EXPECT_EQ(std::set<std::string>(columns.begin(), columns.end()),
                (std::set<std::string>{"Z_PK", "Z_ENT", "Z_OPT", "ZNAME", "ZCOUNT", "ZBOX", "ZBOX_ENT", "ZPAGES", "ZCOLOR",
                                       "ZRATING", "ZOWNER", "ZREAD", "ZISSUE"}));
      const auto indexes = strings(*reader, "SELECT name FROM pragma_index_list('ZITEM')");
      EXPECT_EQ(std::set<std::string>(indexes.begin(), indexes.end()),
                (std::set<std::string>{"ZITEM_ZBOX_INDEX", "ZITEM_ZOWNER_INDEX", "ZITEM_Z_ENT_INDEX"}));
      EXPECT_EQ(strings(*reader, "SELECT name FROM pragma_index_list('ZOWNER')"), std::vector<std::string>{})
          << "a table of one entity needs no index of entity codes";
      EXPECT_EQ(reader->integer("SELECT count(*) FROM ZITEM WHERE ZBOX IS NOT NULL AND ZBOX_ENT IS NULL"), 0)
          << "a destination that gained subentities: its codes are stored as a save would";
      EXPECT_EQ(strings(*reader, "SELECT name FROM sqlite_master WHERE name = 'ZTAG'"), std::vector<std::string>{});
      EXPECT_EQ(strings(*reader, "SELECT Z_NAME FROM Z_ENTITIES WHERE Z_NAME = 'Tag'"), std::vector<std::string>{});
      EXPECT_EQ(strings(*reader, "SELECT Z_VALUE FROM Z_METADATA WHERE Z_KEY = 'NSStoreModelVersion'"),
                std::vector<std::string>{"2"});
    }
    EXPECT_NE(userVersion(), markOfVersion1) << "the migrated store still carries the older schema's mark";
    EXPECT_NE(userVersion(), 0);
    // A second open finds nothing to do and writes nothing.
    const FileSnapshot migrated(file);
    {
      auto coordinator = open(v2, file);
      auto context = ObjectContext::create(ConcurrencyType::privateQueue, coordinator);
      EXPECT_EQ(context->count(FetchRequest("Item")), 6u);
    }
    EXPECT_TRUE(FileSnapshot(file) == migrated);
  }
}

TEST(MigrationTest, AMigrationThatCannotBeInferredFailsWithItsReasonAndLeavesTheFileAlone) {
  struct Case {
    const char* name;
    ShelfVersion version;
    std::string reason;
    bool needsOlderModel = false;  // only the registered version 1 can tell
  };
  const std::vector<Case> cases = {
      {"type with another SQL type", {.countAsString = true},
       "Item.count is stored as INTEGER, but the model now keeps it as TEXT"},
      {"type with the same SQL type", {.countAsDate = true},
       "attribute Item.count changed its type from integer 32 to date", true},
      {"removed entity with objects", {.withoutBox = true}, "entity Box was removed, but the store holds 2 objects of it"},
      {"mandatory without default", {.mandatorySerial = true},
       "attribute Item.serial is mandatory without a default value, but 5 stored objects have no value for it"},
      {"newer version", {.version = 0, .countAsString = true}, "newer than version 0"},
  };
  for (const auto& name : {kRegistered, kFileOnly}) {
    TempDirectory directory;
    const auto file = directory.file("shelf.sqlite");
    writeVersion1(name, file);
    for (const Case& c : cases) {
      if (c.needsOlderModel && name == kFileOnly) continue;
      SCOPED_TRACE(name + ": " + c.name);
      expectRefused(makeShelfModel(name, c.version), file, StoreError::kPersistentStoreIncompatibleVersion, c.reason);
    }
    // Untouched means still openable by the version that wrote it.
    auto context = ObjectContext::create(ConcurrencyType::privateQueue, open(makeShelfModel(name, {1}), file));
    EXPECT_EQ(context->count(FetchRequest("Item")), 5u);
  }
}

}  // namespace
}  // namespace chronelle::testing
