#pragma once
// Versions of a small model for migration tests, and a way to tell that a file was left
// exactly as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "chronelle/store/ObjectModel.h"
#include "chronelle/store/PersistentStoreCoordinator.h"
#include "chronelle/store/StoreError.h"
#include "testsupport/FileContent.h"

namespace chronelle::testing {

// Version 1:  Item (name mandatory, count = 0, legacy indexed, box → Box)
//               Book : Item (pages)
//             Box (label, items → Item)   Tag (word; never stored)
// Version 2:  Item drops legacy, gains color = "grey", rating, owner → Owner
//               Book gains read (mandatory, = NO); new Magazine : Item (issue)
//             Box as before, with a new subentity Crate; new Owner (title, items → Item);
//             Tag removed
// Version 3:  version 2 plus Box.sealed.
// The flags turn version 2 into one that cannot be inferred.
struct ShelfVersion {
  int version = 2;
  bool countAsString = false;   // Item.count INTEGER → TEXT
  bool countAsDate = false;     // Item.count integer → date (the same SQL type)
  bool withoutBox = false;      // Box removed while boxes are stored
  bool mandatorySerial = false; // new mandatory Item.serial without a default
};

inline std::shared_ptr<const ObjectModel> makeShelfModel(const std::string& name, ShelfVersion v) {
  auto attribute = [](std::string n, AttributeType type, bool optional = true, Value value = {}) {
    return AttributeDescription{std::move(n), type, optional, std::move(value), ""};
  };
  auto model = std::make_shared<ObjectModel>(name, v.version);
  EntityDescription item("Item");
  item.add(attribute("name", AttributeType::string, false))
      .add(attribute("count", v.countAsString ? AttributeType::string
                              : v.countAsDate ? AttributeType::date
                                              : AttributeType::integer32,
                     true, v.countAsString || v.countAsDate ? Value() : Value(0)));
  if (v.version <= 1) item.add(attribute("legacy", AttributeType::string)).addIndex("legacy");
  if (v.version >= 2) {
    item.add(attribute("color", AttributeType::string, true, Value("grey")))
        .add(attribute("rating", AttributeType::doubleType))
        .add(RelationshipDescription{"owner", "Owner", "items", false, true, DeleteRule::nullify});
  }
  if (v.mandatorySerial) item.add(attribute("serial", AttributeType::string, false));
  if (!v.withoutBox) item.add(RelationshipDescription{"box", "Box", "items", false, true, DeleteRule::nullify});
  EntityDescription book("Book", "Item");
  book.add(attribute("pages", AttributeType::integer32));
  if (v.version >= 2) book.add(attribute("read", AttributeType::boolean, false, Value(false)));
  model->addEntity(std::move(item)).addEntity(std::move(book));
  if (!v.withoutBox) {
    EntityDescription box("Box");
    box.add(attribute("label", AttributeType::string))
        .add(RelationshipDescription{"items", "Item", "box", true, true, DeleteRule::nullify});
    if (v.version >= 3) box.add(attribute("sealed", AttributeType::boolean));
    model->addEntity(std::move(box));
  }
  if (v.version <= 1) {
    model->addEntity(std::move(EntityDescription("Tag").add(attribute("word", AttributeType::string))));
  } else {
    EntityDescription magazine("Magazine", "Item");
    magazine.add(attribute("issue", AttributeType::integer32));
    EntityDescription owner("Owner");
    owner.add(attribute("title", AttributeType::string))
        .add(RelationshipDescription{"items", "Item", "owner", true, true, DeleteRule::nullify});
    model->addEntity(std::move(magazine)).addEntity(std::move(owner));
    if (!v.withoutBox) model->addEntity(EntityDescription("Crate", "Box"));
  }
  model->finalize();
  return model;
}

// The bytes (of a regular file) and modification time of a file and the names in its
// directory.
struct FileSnapshot {
  explicit FileSnapshot(const std::filesystem::path& file) {
    if (std::filesystem::is_regular_file(file)) bytes = readFile(file);
    mtime = std::filesystem::last_write_time(file);
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
  }
  bool operator==(const FileSnapshot&) const = default;
  std::string bytes;
  std::filesystem::file_time_type mtime;
  std::vector<std::string> names;
};

// Expects opening `file` with `model` to fail with `code` and a one-line message naming the
// file and containing `reason`, leaving the coordinator without a store and the file and its
// directory exactly as they were (no -wal, -shm or lock file left behind).
inline void expectRefused(const std::shared_ptr<const ObjectModel>& model, const std::filesystem::path& file, int code,
                          const std::string& reason) {
  const FileSnapshot before(file);
  auto coordinator = std::make_shared<PersistentStoreCoordinator>(model);
  try {
    coordinator->addPersistentStore(file);
    ADD_FAILURE() << "opened";
  } catch (const StoreError& e) {
    EXPECT_EQ(e.code(), code);
    const std::string message = e.what();
    EXPECT_EQ(message.rfind("cannot open the store " + file.string() + ": ", 0), 0u) << message;
    EXPECT_NE(message.find(reason), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
  EXPECT_FALSE(coordinator->hasStore());
  EXPECT_TRUE(FileSnapshot(file) == before);
}

}  // namespace chronelle::testing
