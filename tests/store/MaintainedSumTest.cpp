// A sum the store maintains per related object: after a migration fills it and after random
// writes of another connection (inserts, value changes, moves between owners, deletes, with
// fractions, absent values, text and integers too large for the kept total), it equals a
// fresh SUM over the rows, and the library's fetch of that sum gives exactly what SUM gives
// (zero where no row has an amount: a sum of nothing is zero).
#include <gtest/gtest.h>

#include <random>

#include "chronelle/store/FetchRequest.h"
#include "chronelle/store/ObjectContext.h"
#include "chronelle/store/PersistentStoreCoordinator.h"
#include "chronelle/store/Sqlite.h"
#include "testsupport/TempDirectory.h"

namespace chronelle::testing {
namespace {

// Owner (name) ← Line (amount, owner); version 2 maintains the sum of amount per owner.
std::shared_ptr<const ObjectModel> ledgerModel(int version) {
  auto model = std::make_shared<ObjectModel>("Ledger", version);
  EntityDescription owner("Owner");
  owner.add(AttributeDescription{"name", AttributeType::string, true, Value(), ""})
      .add(RelationshipDescription{"lines", "Line", "owner", true, true, DeleteRule::nullify});
  EntityDescription line("Line");
  line.add(AttributeDescription{"amount", AttributeType::doubleType, true, Value(), ""})
      .add(RelationshipDescription{"owner", "Owner", "lines", false, true, DeleteRule::nullify});
  if (version >= 2) line.addMaintainedSum("amount", "owner");
  model->addEntity(std::move(owner)).addEntity(std::move(line));
  model->finalize();
  return model;
}

// A stored amount as SQL: mostly whole numbers, then fractions, none, text and numbers whose
// magnitudes doubles no longer add exactly.
std::string randomAmount(std::mt19937& random) {
  const int kind = static_cast<int>(random() % 40);
  const std::string whole = std::to_string(static_cast<int>(random() % 20001) - 10000);
  if (kind < 31) return whole;
  if (kind < 33) return whole + ".25";
  if (kind == 33) return "0.1";
  if (kind == 34) return "NULL";
  if (kind == 35) return "'abc'";
  if (kind == 36) return "2147483648";
  if (kind == 37) return "-9007199254740993";
  if (kind == 38) return "'12'";
  return "1e300";
}

TEST(MaintainedSumTest, EqualsAFreshSumAfterAMigrationAndRandomWritesOfAnotherConnection) {
  TempDirectory directory;
  const auto file = directory.file("ledger.sqlite");
  std::vector<ObjectID> owners;
  {
    auto context = ObjectContext::create(ConcurrencyType::privateQueue, [&] {
      auto coordinator = std::make_shared<PersistentStoreCoordinator>(ledgerModel(1));
      coordinator->addPersistentStore(file);
      return coordinator;
    }());
    std::vector<std::shared_ptr<ManagedObject>> made;
    for (int i = 0; i < 4; ++i) made.push_back(context->insertNewObject("Owner"));
    for (int i = 0; i < 30; ++i) {
      auto line = context->insertNewObject("Line");
      if (i % 7 != 0) line->setValue("amount", i % 5 == 0 ? i + 0.5 : i * 60.0);
      line->setObject("owner", made[static_cast<std::size_t>(i % 4)]);
    }
    context->save();
    for (const auto& owner : made) owners.push_back(owner->objectID());
  }
  auto coordinator = std::make_shared<PersistentStoreCoordinator>(ledgerModel(2));
  coordinator->addPersistentStore(file);
  Connection other(file, false, 5000);
  other.exec("PRAGMA synchronous = OFF");
  int exactSums = 0;
  int sumsOfNothing = 0;

  std::mt19937 random(7);
  for (int step = 0; step <= 300; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    if (step > 0) {
      const std::string owner = std::to_string(owners[random() % owners.size()].primaryKey());
      // The line is picked by our generator, not SQLite's, so every run writes the same.
      Statement lines(other, "SELECT COUNT(*) FROM ZLINE");
      ASSERT_TRUE(lines.step());
      const std::string anyLine = "(SELECT Z_PK FROM ZLINE ORDER BY Z_PK LIMIT 1 OFFSET " +
                                  std::to_string(random() % static_cast<std::uint64_t>(std::max<std::int64_t>(lines.columnInt64(0), 1))) + ")";
      switch (random() % 7) {
        case 0:
        case 1:
          other.exec("INSERT INTO ZLINE (Z_PK, Z_ENT, Z_OPT, ZAMOUNT, ZOWNER) SELECT Z_MAX + 1, "
                     "(SELECT Z_ENT FROM Z_ENTITIES WHERE Z_NAME = 'Line'), 1, " +
                     randomAmount(random) + ", " + (random() % 8 == 0 ? "NULL" : owner) +
                     " FROM Z_PRIMARYKEY WHERE Z_NAME = 'ZLINE'; UPDATE Z_PRIMARYKEY SET Z_MAX = Z_MAX + 1 "
                     "WHERE Z_NAME = 'ZLINE'");
          break;
        case 2: other.exec("UPDATE ZLINE SET ZAMOUNT = " + randomAmount(random) + " WHERE Z_PK = " + anyLine); break;
        case 3: other.exec("UPDATE ZLINE SET ZOWNER = " + owner + " WHERE Z_PK = " + anyLine); break;
        case 4: other.exec("UPDATE ZLINE SET ZAMOUNT = NULL WHERE ZOWNER = " + owner); break;
        default: other.exec("DELETE FROM ZLINE WHERE Z_PK = " + anyLine); break;
      }
    }
    auto context = ObjectContext::create(ConcurrencyType::privateQueue, coordinator);
    for (const auto& owner : owners) {
      Statement fresh(other,
                      "SELECT SUM(ZAMOUNT), COUNT(ZAMOUNT), COUNT(*) FILTER (WHERE ZAMOUNT IS NOT NULL AND (typeof(ZAMOUNT) <> 'real' OR "
                      "ZAMOUNT <> CAST(ZAMOUNT AS INTEGER) OR ABS(ZAMOUNT) >= 2147483648)) FROM ZLINE "
                      "WHERE ZOWNER = ?");
      fresh.bind(1, Value(owner.primaryKey()));
      ASSERT_TRUE(fresh.step());
      Statement kept(other, "SELECT Z_VALUES, Z_INEXACT, Z_TOTAL FROM ZLINE_ZOWNER_ZAMOUNT_SUM WHERE Z_KEY = ?");
      kept.bind(1, Value(owner.primaryKey()));
      // An owner that never had an amount has no row; one whose amounts are all gone, zeros.
      const bool keeps = kept.step();
      if (fresh.columnInt64(1) > 0 || keeps) {
        ASSERT_TRUE(keeps) << "owner " << owner.primaryKey();
        EXPECT_EQ(kept.columnInt64(0), fresh.columnInt64(1));
        EXPECT_EQ(kept.columnInt64(1), fresh.columnInt64(2));
        if (kept.columnInt64(1) == 0) {
          ++exactSums;
          EXPECT_EQ(kept.columnDouble(2), fresh.isNull(0) ? 0.0 : fresh.columnDouble(0));
        }
      }

      FetchRequest request("Line");
      request.predicate = Predicate::parse("owner = %@", {Value(owner)});
      request.resultType = FetchResultType::dictionary;
      request.propertiesToFetch = {ExpressionDescription{"total", "sum:", "amount", AttributeType::doubleType}};
      const auto rows = context->fetchDictionaries(request);
      ASSERT_EQ(rows.size(), 1u);
      const auto total = rows.front().find("total");
      sumsOfNothing += fresh.isNull(0) && keeps;
      ASSERT_NE(total, rows.front().end()) << "owner " << owner.primaryKey();
      EXPECT_EQ(total->second.asDouble(), fresh.isNull(0) ? 0.0 : fresh.columnDouble(0)) << "owner " << owner.primaryKey();
    }
  }
  EXPECT_GT(exactSums, 100) << "the random writes left too few sums exact to read them kept";
  EXPECT_GT(sumsOfNothing, 0) << "no owner kept a sum whose amounts were all gone";
}

}  // namespace
}  // namespace chronelle::testing
