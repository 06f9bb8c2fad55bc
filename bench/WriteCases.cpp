// The write case (one edit with recount and notification) and the open-and-list case.
#include <string>

#include "Baseline.h"
#include "Cases.h"
#include "LibraryFixture.h"
#include "StoreGenerator.h"
#include "chronelle/data/DataNotifications.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/platform/NotificationCenter.h"

namespace chronelle::bench {
namespace {

// A fresh copy of the cached store, so that edits never touch it.
std::filesystem::path copyStore(const CaseContext& context) {
  const std::filesystem::path copy = context.scratchDirectory / "edit-store";
  std::filesystem::remove_all(copy);
  std::filesystem::create_directories(copy);
  std::filesystem::copy_file(context.storeDirectory / kStoreFileName, copy / kStoreFileName);
  return copy;
}

// The stored confirmed duration of a node and the sum over its entries, read by hand.
std::pair<double, double> storedTaskDuration(const std::filesystem::path& file, std::int64_t task) {
  SqliteDb db(file);
  SqliteStatement node(db.handle(), "SELECT ZCONFIRMEDDURATION FROM ZNODE WHERE Z_PK = " + std::to_string(task));
  SqliteStatement sum(db.handle(),
                      "SELECT TOTAL(ZCONFIRMEDDURATION) FROM ZSESSION WHERE ZTASK = " + std::to_string(task));
  node.step();
  sum.step();
  return {node.real(0), sum.real(0)};
}

}  // namespace

void runEditCase(const CaseContext& context, ResultTable& table) {
  if (!selected(context, "edit one entry")) return;
  const std::filesystem::path directory = copyStore(context);
  const std::filesystem::path file = directory / kStoreFileName;
  const std::int64_t entryPk = context.entries / 2;

  double libraryTime = 0;
  std::int64_t task = 0;
  std::int64_t originalEnd = 0;
  {
    LibraryFixture library(directory);
    MainDataProvider provider;
    int announcements = 0;
    ObserverToken observer = NotificationCenter::defaultCenter().addObserver(
        DataNotifications::mainContextDidChange, nullptr, [&](const Notification&) { ++announcements; });
    const ObjectID id =
        ObjectID::permanent(Session::kEntityName, entryPk, library.stack->persistentStoreCoordinator()->storeIdentifier());
    auto entry = std::dynamic_pointer_cast<Session>(library.stack->viewContext()->existingObject(id));
    if (!entry || !entry->task() || !entry->end()) throw Mismatch("edit: entry " + std::to_string(entryPk) + " not usable");
    task = entry->task()->objectID().primaryKey();
    originalEnd = entry->end()->microsecondsSince1970();

    // Alternates between a minute longer and the original end, so the store stays as it was.
    bool longer = true;
    auto edit = [&] {
      TimeEntryChanges changes;
      changes[TimeEntryChangeKey::end] = Date::fromMicroseconds(originalEnd + (longer ? 60'000'000 : 0));
      longer = !longer;
      MainQueue::shared().runUntilComplete(provider.updateTimeEntry(id, changes));
      // The recount is saved within the write; the change is announced by a further task.
      while (MainQueue::shared().runPending() > 0) {
      }
    };
    edit();
    const auto [stored, sum] = storedTaskDuration(file, task);
    if (announcements != 1) throw Mismatch("edit: " + std::to_string(announcements) + " announcements of one edit");
    if (stored != sum) {
      throw Mismatch("edit: the task's confirmed duration " + std::to_string(stored) + " is not the sum " +
                     std::to_string(sum));
    }
    libraryTime = measure(edit, context.budget);
    if (!longer) edit();  // back to the original end
  }

  Baseline baseline(file);
  const double sumBefore = storedTaskDuration(file, task).second;
  const double longerDuration = baseline.editEntryEnd(entryPk, originalEnd + 60'000'000);
  if (longerDuration != sumBefore + 60) {
    throw Mismatch("edit: baseline recount " + std::to_string(longerDuration) + ", expected " +
                   std::to_string(sumBefore + 60));
  }
  bool longer = false;
  const double baselineTime = measure(
      [&] {
        baseline.editEntryEnd(entryPk, originalEnd + (longer ? 60'000'000 : 0));
        longer = !longer;
      },
      context.budget);
  table.add({"edit one entry (save, recount, notify)", context.entries, libraryTime, baselineTime, 2.0,
             "WAL, synchronous=FULL on both sides"});
}

void runOpenCase(const CaseContext& context, ResultTable& table) {
  if (!selected(context, "open store and list the tree")) return;
  const auto rowsOf = [](const std::vector<FlatNodeStuctureItem>& items) {
    std::vector<Baseline::TreeRow> rows;
    for (const auto& item : items) rows.push_back({item.node->objectID().primaryKey(), item.level, item.hasChildren});
    return rows;
  };
  auto listWithLibrary = [&] {
    LibraryFixture library(context.storeDirectory);
    return rowsOf(library.provider->getFlatNodeStructure(nullptr, true, true));
  };
  const auto expectEqual = [](const std::vector<Baseline::TreeRow>& libraryRows,
                              const std::vector<Baseline::TreeRow>& baselineRows) {
    if (libraryRows.size() != baselineRows.size()) {
      throw Mismatch("tree: library lists " + std::to_string(libraryRows.size()) + " nodes, baseline " +
                     std::to_string(baselineRows.size()));
    }
    for (std::size_t i = 0; i < libraryRows.size(); ++i) {
      const auto& a = libraryRows[i];
      const auto& b = baselineRows[i];
      if (a.pk != b.pk || a.level != b.level || a.hasChildren != b.hasChildren) {
        throw Mismatch("tree: row " + std::to_string(i) + " differs (node " + std::to_string(a.pk) + " vs " +
                       std::to_string(b.pk) + ")");
      }
    }
  };
  const std::filesystem::path file = context.storeDirectory / kStoreFileName;
  expectEqual(listWithLibrary(), Baseline::openAndListTree(file));
  table.add({"open store and list the tree", context.entries, measure(listWithLibrary, context.budget),
             measure([&] { Baseline::openAndListTree(file); }, context.budget), 2.0, ""});

  // The listing alone, on an open store: a new context each time, so no node is registered
  // yet, as after opening.
  LibraryFixture library(context.storeDirectory);
  Baseline baseline(file);
  auto listOnOpenStore = [&] {
    BaseDataProvider provider(ObjectContext::create(ConcurrencyType::mainQueue,
                                                    library.stack->persistentStoreCoordinator()));
    return rowsOf(provider.getFlatNodeStructure(nullptr, true, true));
  };
  expectEqual(listOnOpenStore(), baseline.listTree());
  table.add({"list the tree (store open)", context.entries, measure(listOnOpenStore, context.budget),
             measure([&] { baseline.listTree(); }, context.budget), 0, "the listing part of the row above"});
}

}  // namespace chronelle::bench
