// Fetching objects, IDs and dictionaries: what unsaved changes do to each, aggregates,
// grouping and key paths through relationships.
#include <gtest/gtest.h>

#include <algorithm>

#include "StoreTestModel.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/store/FetchedNumericRow.h"
#include "chronelle/store/FetchedRow.h"
#include "chronelle/store/Predicate.h"
#include "chronelle/store/Sqlite.h"
#include "chronelle/store/StatementObserver.h"
#include "chronelle/store/StoreError.h"
#include "chronelle/store/UndoManager.h"

namespace chronelle::testing {
namespace {

ExpressionDescription expression(std::string name, std::string function, std::string keyPath,
                                 AttributeType type = AttributeType::doubleType) {
  return ExpressionDescription{std::move(name), std::move(function), std::move(keyPath), type};
}

FetchRequest spots(const std::string& format, std::vector<Value> arguments = {},
                   std::vector<SortDescriptor> sorts = {{"rank", true}}, std::size_t limit = 0) {
  FetchRequest request("Spot");
  if (!format.empty()) request.predicate = Predicate::parse(format, std::move(arguments));
  request.sortDescriptors = std::move(sorts);
  request.fetchLimit = limit;
  return request;
}

class FetchPendingChangesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int rank = 1;
    for (const char* name : {"a", "b", "c", "d"}) saved[name] = with(store.spot(name), {{"rank", rank++}, {"open", true}});
    store.context->save();
  }
  TestStore store;
  std::map<std::string, std::shared_ptr<ManagedObject>> saved;
};

// Object IDs come with the same merge as objects (the order and limit applied to saved and
// unsaved alike); aggregates read saved data only.
TEST_F(FetchPendingChangesTest, ObjectIDsMergeUnsavedChangesAndAggregatesDoNot) {
  auto e = with(store.spot("e"), {{"open", true}});  // unsaved insert that matches and sorts first
  saved["b"]->setValue("open", false);
  store.context->deleteObject(saved["c"]);
  saved["d"]->setValue("rank", -1);  // moves to the front
  EXPECT_EQ(store.context->fetchObjectIDs(spots("open == YES", {}, {{"rank", true}}, 2)),
            (std::vector<ObjectID>{saved["d"]->objectID(), e->objectID()}));

  FetchRequest sum = spots("open == YES", {}, {});
  sum.propertiesToFetch = {expression("total", "sum:", "rank", AttributeType::integer64),
                           expression("n", "count:", "rank", AttributeType::integer64)};
  EXPECT_EQ(store.context->fetchDictionaries(sum), (std::vector<ResultDictionary>{{{"total", Value(10)}, {"n", Value(4)}}}));
}

TEST_F(FetchPendingChangesTest, SubentityFetchesAndKeyPathsSeeUnsavedRelationships) {
  auto north = store.area("north");
  saved["a"]->setObject("area", north);
  FetchRequest places("Place");
  places.predicate = Predicate::parse("area.name == %@", {"north"});
  EXPECT_EQ(TestStore::names(store.context->fetch(places)), (std::vector<std::string>{"a"}));
  places.predicate = Predicate::parse("area == %@", {north});
  EXPECT_EQ(store.context->count(places), 1u);
  places.predicate = Predicate::parse("area == nil");
  places.sortDescriptors = {{"name", false}};
  EXPECT_EQ(TestStore::names(store.context->fetch(places)), (std::vector<std::string>{"north", "d", "c", "b"}));
  places.includesSubentities = false;  // Place is abstract: no row is exactly a Place
  EXPECT_TRUE(store.context->fetch(places).empty());
  EXPECT_EQ(store.context->count(places), 0u);
}

// Whatever the request, fetching with unsaved changes must give what the store gives
// once those changes are saved.
TEST_F(FetchPendingChangesTest, MergedResultsEqualTheResultsAfterSaving) {
  for (int i = 0; i < 12; ++i) {
    saved["s" + std::to_string(i)] = with(store.spot("s" + std::to_string(i)), {{"rank", i % 4}, {"open", i % 3 == 0}});
  }
  store.context->save();
  // Unsaved: ties, absent ranks, deletes at both ends, inserts in the middle.
  store.context->deleteObject(saved["a"]);
  store.context->deleteObject(saved["s11"]);
  saved["s1"]->setValue("rank", Value());
  saved["s2"]->setValue("open", true);
  saved["s3"]->setValue("rank", 2);
  saved["s4"]->setValue("name", "zz");
  for (int i = 0; i < 3; ++i) with(store.spot("n" + std::to_string(i)), {{"rank", i == 1 ? Value() : Value(i)}, {"open", true}});
  struct Case {
    const char* format;
    std::vector<SortDescriptor> sorts;
    std::size_t limit;
  };
  const std::vector<Case> cases = {
      {"", {{"rank", true}}, 0},
      {"", {{"rank", false}}, 3},
      {"open == YES", {{"rank", true}, {"name", false}}, 4},
      {"rank >= 2 OR rank == nil", {{"name", true}}, 0},
      {"rank != 2", {{"rank", true}}, 5},
      {"NOT (open == NO) AND rank < 3", {{"rank", false}, {"name", true}}, 2},
      {"name IN %@", {{"name", true}}, 0},
      {"", {}, 1},
  };
  auto run = [&](ObjectContext& context) {
    std::vector<std::vector<std::string>> results;
    for (const auto& c : cases) {
      std::vector<Value> arguments;
      if (std::string(c.format).find("%@") != std::string::npos) arguments = {Value(Value::List{"zz", "n1", "s5", "c"})};
      auto request = spots(c.format, arguments, c.sorts, c.limit);
      auto names = TestStore::names(context.fetch(request));
      EXPECT_EQ(context.count(request), names.size()) << c.format;
      results.push_back(names);
    }
    return results;
  };
  const auto merged = run(*store.context);
  store.context->save();
  auto fresh = store.newContext();
  std::vector<std::vector<std::string>> stored;
  fresh->performAndWait([&] { stored = run(*fresh); });
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(merged[i], stored[i]) << "case " << i << ": " << cases[i].format;
  }
}

// Fetching again what this context read before gives the rows as another connection left
// them: rows saved anew are read again, new rows are added, deleted ones go, also when
// most rows are new; an object with unsaved changes keeps them whatever its row says. (The
// context holds enough objects for a fetch to read only keys of those it has.)
TEST_F(FetchPendingChangesTest, FetchingAgainShowsWhatAnotherConnectionSavedSince) {
  for (int i = 0; i < 40; ++i) with(store.spot("far" + std::to_string(i)), {{"rank", 1000}});  // held, not listed
  store.context->save();
  const auto request = spots("rank < 100", {}, {{"rank", true}, {"name", true}});
  ASSERT_EQ(TestStore::names(store.context->fetch(request)), (std::vector<std::string>{"a", "b", "c", "d"}));
  saved["a"]->setValue("name", "a");  // unsaved, though equal
  Connection other(store.file, false, 5000);
  // New rows with keys of their own: copies of the rows `where` holds, ranked 10 lower.
  auto copies = [](const std::string& where, const std::string& suffix) {
    return "CREATE TEMP TABLE copies AS SELECT * FROM ZPLACE WHERE " + where +
           "; UPDATE copies SET Z_PK = Z_PK + (SELECT MAX(Z_PK) FROM ZPLACE), ZIDENTIFIER = NULL, ZNAME = ZNAME || '" +
           suffix + "', ZRANK = ZRANK + 10; INSERT INTO ZPLACE SELECT * FROM copies; DROP TABLE copies";
  };
  const struct {
    std::string sql;
    std::vector<std::string> names;
  } steps[] = {
      {"", {"a", "b", "c", "d"}},
      {"UPDATE ZPLACE SET ZRANK = 0, Z_OPT = Z_OPT + 1 WHERE ZNAME IN ('a', 'd')", {"d", "a", "b", "c"}},
      {copies("ZNAME = 'b'", "+") + "; DELETE FROM ZPLACE WHERE ZNAME = 'c'", {"d", "a", "b", "b+"}},
      {copies("ZRANK < 10", "*"), {"d", "a", "b", "a*", "d*", "b*", "b+"}},
  };
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    if (!steps[i].sql.empty()) other.exec(steps[i].sql);
    const auto objects = store.context->fetch(request);
    EXPECT_EQ(TestStore::names(objects), steps[i].names) << "step " << i;
    EXPECT_NE(std::find(objects.begin(), objects.end(), saved["d"]), objects.end()) << "step " << i;
  }
  EXPECT_EQ(saved["a"]->value("rank"), Value(1));

  // Without unsaved changes (nothing to sort in memory), new rows deleted or saved anew while
  // the fetch runs, between its read of their keys and of the rest of their rows: the objects
  // are the rows the fetch found. (The hook sees the statements of connections opened after
  // it is set: those of the store opened again, which holds every row.)
  bool armed = false;
  setStatementObserver([&](const std::string& sql) {
    if (!armed || (sql.find("WHERE t0.Z_PK BETWEEN") == std::string::npos && sql.find("WHERE t0.Z_PK IN (") == std::string::npos)) {
      return;
    }
    armed = false;
    other.exec("DELETE FROM ZPLACE WHERE ZNAME = 'b#'; UPDATE ZPLACE SET ZNAME = 'moved', Z_OPT = Z_OPT + 1 WHERE ZNAME = 'd#'");
  });
  store.reopen();
  const auto held = store.context->fetch(FetchRequest("Place"));
  other.exec(copies("ZNAME IN ('b', 'd')", "#"));
  armed = true;
  const auto fetched = store.context->fetch(spots("identifier == nil", {}, {{"rank", true}, {"name", true}}));  // copies
  setStatementObserver(nullptr);
  EXPECT_FALSE(armed) << "the rest of the rows was not read apart";
  EXPECT_EQ(TestStore::names(fetched), (std::vector<std::string>{"a*", "d#", "d*", "b#", "b*", "b+"}));
}

// Comparisons with numbers leave out rows another writer stored with text or a blob there, in
// dictionary and object fetches alike; the store skips the guards of an indexed column that
// holds numbers only, and only then.
TEST_F(FetchPendingChangesTest, FetchesLeaveOutTextAndBlobsAnotherWriterStored) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"rank >= 2", {"d"}}, {"rank > 0 AND rank < 4", {"a"}}, {"rank != 4", {"a", "b", "c"}},
      {"rank IN {1, 2, 3}", {"a"}}, {"rank < 2 OR rank > 3", {"a", "d"}}, {"NOT (rank <= 1)", {"b", "c", "d"}}};
  const auto names = [&](const char* format, bool sorted) {
    FetchRequest request = spots(format, {}, sorted ? std::vector<SortDescriptor>{{"name", true}} : std::vector<SortDescriptor>{});
    request.resultType = FetchResultType::dictionary;
    request.propertiesToFetch = {std::string("name")};
    std::vector<std::string> result;
    for (const auto& row : store.context->fetchDictionaries(request)) result.push_back(*row.at("name").asString());
    std::sort(result.begin(), result.end());
    return result;
  };
  const auto objects = [&](const char* format) {
    std::vector<std::string> result = TestStore::names(store.context->fetch(spots(format)));
    std::sort(result.begin(), result.end());
    return result;
  };
  std::vector<std::string> statements;
  setStatementObserver([&](const std::string& sql) { statements.push_back(sql); });
  store.reopen();
  const auto guarded = [&] {  // whether a statement since the last call guarded the ranks
    const bool any = std::any_of(statements.begin(), statements.end(),
                                 [](const std::string& sql) { return sql.find("+t0.\"ZRANK\" < ''") != std::string::npos; });
    statements.clear();
    return any;
  };
  // Before: numbers only. After: 'b' holds text and 'c' a blob, which no comparison with a
  // number selects, and which `!=` always does.
  for (const auto& [format, expected] : cases) EXPECT_EQ(names(format, true), objects(format)) << format;
  EXPECT_FALSE(guarded());
  Connection other(store.file, false, 5000);
  other.exec("UPDATE ZPLACE SET ZRANK = 'x' WHERE ZNAME = 'b'; UPDATE ZPLACE SET ZRANK = x'02' WHERE ZNAME = 'c'");
  for (const auto& [format, expected] : cases) {
    for (const bool sorted : {false, true}) EXPECT_EQ(names(format, sorted), expected) << format << " sorted " << sorted;
    EXPECT_EQ(objects(format), expected) << format;
  }
  EXPECT_TRUE(guarded());
  setStatementObserver(nullptr);
}

class FetchDictionaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    x = store.spot("x");
    y = store.spot("y");
    // tally / weight / start (minutes after a base instant) per spot
    for (int i = 1; i <= 4; ++i) with(store.visit(i <= 3 ? x : y, i), {{"weight", 0.25 * i}, {"done", i % 2 == 0}});
    store.visit(nullptr, 10)->setValue("weight", 100.0);  // belongs to no spot
    store.context->save();
  }
  Date start(int i) const { return Date::fromSecondsSince1970(1'700'000'000.0 + i * 60.0); }
  TestStore store;
  std::shared_ptr<ManagedObject> x, y;
};

TEST_F(FetchDictionaryTest, AggregatesOverAPredicateComeBackWithTheirResultTypesOrPerGroup) {
  FetchRequest request("Visit");
  request.predicate = Predicate::parse("spot != nil");
  request.propertiesToFetch = {expression("sumWeight", "sum:", "weight"),
                               expression("count", "count:", "start", AttributeType::integer64),
                               expression("sumTally", "sum:", "tally", AttributeType::integer64),
                               expression("first", "min:", "start", AttributeType::date),
                               expression("last", "max:", "start"),
                               expression("mean", "average:", "tally")};
  // Instants stay instants.
  EXPECT_EQ(store.context->fetchDictionaries(request),
            (std::vector<ResultDictionary>{{{"sumWeight", 2.5}, {"count", 4}, {"sumTally", 10}, {"first", start(1)},
                                            {"last", start(4)}, {"mean", 2.5}}}));
  // Grouped by a to-one: object IDs per group.
  request.propertiesToFetch = {std::string("spot"), expression("total", "sum:", "weight"),
                               expression("n", "count:", "start", AttributeType::integer64)};
  request.propertiesToGroupBy = {"spot"};
  request.sortDescriptors = {{"spot", true}};
  EXPECT_EQ(store.context->fetchDictionaries(request),
            (std::vector<ResultDictionary>{{{"spot", x->objectID()}, {"total", 1.5}, {"n", 3}},
                                           {{"spot", y->objectID()}, {"total", 1.0}, {"n", 1}}}));
  // Over nothing: one row, sums and counts zero, extremes absent.
  FetchRequest none("Visit");
  none.predicate = Predicate::parse("tally > 100");
  none.propertiesToFetch = {expression("sumWeight", "sum:", "weight"),
                            expression("first", "min:", "start"),
                            expression("sumTally", "sum:", "tally", AttributeType::integer64),
                            expression("count", "count:", "start", AttributeType::integer64)};
  EXPECT_EQ(store.context->fetchDictionaries(none),
            (std::vector<ResultDictionary>{{{"sumWeight", 0.0}, {"sumTally", 0}, {"count", 0}}}));
  none.propertiesToFetch = {expression("bad", "median:", "tally")};
  EXPECT_THROW(store.context->fetchDictionaries(none), StoreError);

  // Distinct values of a relationship; an absent value is left out of its row.
  FetchRequest distinct("Visit");
  distinct.propertiesToFetch = {std::string("spot")};
  distinct.returnsDistinctResults = true;
  distinct.sortDescriptors = {{"spot", true}};
  EXPECT_EQ(store.context->fetchDictionaries(distinct),
            (std::vector<ResultDictionary>{{}, {{"spot", x->objectID()}}, {{"spot", y->objectID()}}}));
}

TEST_F(FetchDictionaryTest, PlainPropertiesAndKeyPathsThroughARelationship) {
  FetchRequest request("Visit");
  request.predicate = Predicate::parse("spot.name == %@", {"y"});
  request.propertiesToFetch = {std::string("tally"), std::string("start"), std::string("done"),
                               std::string("spot.name")};
  EXPECT_EQ(store.context->fetchDictionaries(request),
            (std::vector<ResultDictionary>{{{"tally", 4}, {"start", start(4)}, {"done", true}, {"spot.name", "y"}}}));
  // Without properties to fetch every attribute and to-one comes back.
  request.propertiesToFetch.clear();
  const auto full = store.context->fetchDictionaries(request).at(0);
  EXPECT_EQ(std::tuple(full.at("weight"), full.at("spot"), full.count("note")),
            std::tuple(Value(1.0), Value(y->objectID()), 0u));

  request.propertiesToFetch = {std::string("spot.visits")};
  EXPECT_THROW(store.context->fetchDictionaries(request), StoreError);
}

// A row fetch hands over what the dictionary fetch holds, column by column in the request's
// order, and its typed readers agree with the values' own views.
TEST_F(FetchDictionaryTest, RowsHoldTheDictionaryValuesInRequestOrder) {
  store.visit(x, 5)->setValue("note", "n");  // a string, and start/tally/weight set or absent
  store.context->save();
  FetchRequest plain("Visit");
  plain.propertiesToFetch = {std::string("weight"), std::string("spot"), std::string("done"), std::string("start"),
                             std::string("tally"),  std::string("note"), std::string("small"), std::string("spot.name"),
                             std::string("tally")};
  plain.sortDescriptors = {{"tally", true}};
  FetchRequest grouped("Visit");
  grouped.propertiesToFetch = {std::string("spot"), expression("total", "sum:", "weight"),
                               expression("n", "count:", "start", AttributeType::integer64),
                               expression("first", "min:", "start"), expression("done", "max:", "done", AttributeType::boolean)};
  grouped.propertiesToGroupBy = {"spot"};
  grouped.sortDescriptors = {{"spot", true}};
  FetchRequest nothing = grouped;  // no group: one row of sums, counts and absent extremes
  nothing.predicate = Predicate::parse("tally > 100");
  nothing.propertiesToGroupBy.clear();
  nothing.propertiesToFetch.erase(nothing.propertiesToFetch.begin());
  FetchRequest everything("Visit");
  everything.sortDescriptors = {{"tally", true}};
  const FetchRequest requests[] = {plain, grouped, nothing, everything};
  for (std::size_t r = 0; r < std::size(requests); ++r) {
    const auto dictionaries = store.context->fetchDictionaries(requests[r]);
    std::size_t n = 0;
    store.context->enumerateRows(requests[r], [&](const FetchedRow& row) {
      ASSERT_LT(n, dictionaries.size()) << "request " << r;
      const ResultDictionary& dictionary = dictionaries[n++];
      for (std::size_t i = 0; i < row.size(); ++i) {
        const Value value = row.value(i);
        const auto held = dictionary.find(row.key(i));
        EXPECT_EQ(value, held == dictionary.end() ? Value() : held->second) << "request " << r << " " << row.key(i);
        EXPECT_EQ(std::tuple(row.integer(i), row.real(i), row.boolean(i), row.date(i), row.objectID(i)),
                  std::tuple(value.asInteger(), value.asDouble(), value.asBool(), value.asDate(), value.asObjectID()))
            << "request " << r << " " << row.key(i);
        EXPECT_EQ(row.primaryKey(i), value.asObjectID() ? std::optional(value.asObjectID()->primaryKey()) : std::nullopt)
            << "request " << r << " " << row.key(i);
      }
    });
    EXPECT_EQ(n, dictionaries.size()) << "request " << r;
  }
  // Columns come in the request's order, a key named twice twice.
  std::vector<std::string> order;
  plain.fetchLimit = 1;
  store.context->enumerateRows(plain, [&](const FetchedRow& row) {
    for (std::size_t i = 0; i < row.size(); ++i) order.push_back(row.key(i));
  });
  EXPECT_EQ(order, (std::vector<std::string>{"weight", "spot", "done", "start", "tally", "note", "small", "spot.name",
                                             "tally"}));

  // A numeric row fetch reads what the typed readers read, a zero apart from an absent value.
  with(store.visit(y, 0), {{"weight", 0.0}, {"done", false}});
  store.context->save();
  FetchRequest numbers("Visit");
  numbers.propertiesToFetch = {std::string("weight"), std::string("spot"), std::string("done"),
                               std::string("start"),  std::string("tally"), std::string("small")};
  numbers.sortDescriptors = {{"tally", true}};
  using Read = std::tuple<std::optional<double>, std::optional<std::int64_t>, std::optional<bool>, std::optional<Date>,
                          std::optional<std::int64_t>, std::optional<std::int64_t>, std::optional<ObjectID>>;
  std::vector<Read> typed;
  std::vector<Read> numeric;
  store.context->enumerateRows(numbers, [&](const FetchedRow& row) {
    typed.emplace_back(row.real(0), row.primaryKey(1), row.boolean(2), row.date(3), row.integer(4), row.integer(5),
                       row.objectID(1));
  });
  FetchedNumericRow::enumerate(*store.context, numbers, [&](const FetchedNumericRow& row) {
    const auto read = [&](std::size_t i, auto value) { return row.isNull(i) ? std::nullopt : std::optional(value); };
    numeric.emplace_back(read(0, row.real(0)), read(1, row.integer(1)), read(2, row.integer(2) != 0),
                         read(3, Date::fromMicroseconds(row.integer(3))), read(4, row.integer(4)),
                         read(5, row.integer(5)), row.objectID(1));
  });
  EXPECT_EQ(numeric, typed);
  numbers.propertiesToFetch.push_back(std::string("note"));
  EXPECT_THROW(FetchedNumericRow::enumerate(*store.context, numbers, [](const FetchedNumericRow&) {}), StoreError);
}

// An object fetch that names properties reads the others for every object of the fetch in one
// statement, the first time one of them is used; in every other respect the objects are whole.
TEST(FetchSomePropertiesTest, TheOthersAreReadOnceForTheWholeFetchAndNothingIsLost) {
  const auto fetchSome = [](TestStore& store, const char* entity, std::vector<std::string> keys) {
    FetchRequest request(entity);
    for (auto& key : keys) request.propertiesToFetch.emplace_back(std::move(key));
    request.sortDescriptors = {{entity == std::string("Visit") ? "tally" : "name", true}};
    return store.context->fetch(request);
  };
  // "name:rank" of each place, as a fresh context reads them from the store.
  const auto stored = [](TestStore& store) {
    auto reader = store.newContext(ConcurrencyType::mainQueue);
    FetchRequest request("Place");
    request.sortDescriptors = {{"name", true}};
    std::string text;
    for (const auto& place : reader->fetch(request)) {
      text += *place->value("name").asString() + ":" + place->value("rank").description() + " ";
    }
    return text;
  };
  struct Case {
    const char* label;
    std::function<std::string(TestStore&)> use;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"read",
       [&](TestStore& store) {
         const auto places = fetchSome(store, "Place", {"name", "area"});
         const std::size_t before = store.context->storeFetchCount();
         std::string text;
         for (const auto& place : places) text += place->value("rank").description() + " ";
         return text + places[0]->value("open").description() + " statements " +
                std::to_string(store.context->storeFetchCount() - before);
       },
       "1 2 0 YES statements 1"},
      {"edit, save",
       [&](TestStore& store) {
         auto visit = fetchSome(store, "Visit", {"tally"}).at(0);
         visit->setValue("tally", 8);
         store.context->save();  // the mandatory start was not fetched
         auto reader = store.newContext(ConcurrencyType::mainQueue);
         return reader->existingObject(visit->objectID())->value("start").description();
       },
       Value(Date::fromSecondsSince1970(1'700'000'000.0 + 7 * 60.0)).description()},
      {"merge told to observers",
       [&](TestStore& store) {
         auto a = fetchSome(store, "Place", {"name"}).at(0);
         store.context->setAutomaticallyMergesChangesFromParent(true);
         std::string heard;
         auto token = a->observe("rank", [&](const ObservedChange& c) {
           heard += c.oldValue.description() + "->" + c.newValue.description();
         });
         auto other = store.newContext();
         other->performAndWait([&] {
           other->existingObject(a->objectID())->setValue("rank", 5);
           other->save();
         });
         MainQueue::shared().runPending();
         return heard + " " + a->value("open").description();
       },
       "1->5 YES"},
      {"delete, save, undo",
       [&](TestStore& store) {
         store.context->setUndoManager(std::make_shared<UndoManager>());
         auto& undo = *store.context->undoManager();
         // Every to-one fetched, so the delete rules need none of the rest.
         auto a = fetchSome(store, "Place", {"name", "area"}).at(0);
         inTask([&] { store.context->deleteObject(a); });
         store.context->save();
         inTask([&] {
           undo.undo();
           store.context->save();
         });
         return stored(store);
       },
       "a:1 b:2 north:0 "},
      {"held past a reset",
       [&](TestStore& store) {
         auto places = fetchSome(store, "Place", {"name"});
         store.context->reset();
         return places[0]->value("rank").description() + " " + places[0]->value("open").description();
       },
       "1 YES"},
      {"unsaved edit between the fetch's keys",
       [&](TestStore& store) {
         // The rest is read for the key range of north and b; a lies between, edited here.
         FetchRequest onlyA("Place");
         onlyA.predicate = Predicate::parse("name == %@", {"a"});
         auto a = store.context->fetch(onlyA).at(0);
         a->setValue("rank", 9);
         const auto places = fetchSome(store, "Place", {"name"});
         const std::string north = places.back()->value("rank").description();
         return north + " " + a->value("rank").description();
       },
       "0 9"},
      {"to-one whose entity has subentities",
       [&](TestStore& store) {
         auto b = fetchSome(store, "Place", {"name"}).at(1);
         insert(*store.context, "Badge", {{"label", "gold"}})->setObject("place", b);
         store.context->save();
         store.reopen();
         FetchRequest badges("Badge");
         badges.propertiesToFetch = {std::string("place")};
         const auto place = store.context->fetch(badges).at(0)->value("place").asObjectID();
         return place ? place->entityName() : std::string("none");
       },
       "Spot"},
      {"saved elsewhere before the rest is read",
       [&](TestStore& store) {
         auto a = fetchSome(store, "Place", {"name"}).at(0);
         auto other = store.newContext();
         other->performAndWait([&] {
           auto theirs = other->existingObject(a->objectID());
           theirs->setValue("name", "z");
           theirs->setValue("rank", 5);
           other->save();
         });
         // One row, not the fetched name of one save beside the rank of the next.
         const std::string rank = a->value("rank").description();
         return rank + " " + *a->value("name").asString();
       },
       "5 z"},
  };
  for (const auto& c : cases) {
    TestStore store;
    auto north = store.area("north");
    auto a = with(store.spot("a", north), {{"rank", 1}, {"open", true}});
    with(store.spot("b", north), {{"rank", 2}});
    store.visit(a, 7);
    store.context->save();
    store.reopen();
    EXPECT_EQ(c.use(store), c.expected) << c.label;
  }

  TestStore store;
  FetchRequest unknown("Place");
  unknown.propertiesToFetch = {std::string("colour")};
  FetchRequest computed("Place");
  computed.propertiesToFetch = {expression("total", "sum:", "rank")};
  for (const auto* request : {&unknown, &computed}) {
    try {
      store.context->fetch(*request);
      ADD_FAILURE() << "no error";
    } catch (const StoreError& e) {
      EXPECT_EQ(e.code(), StoreError::kInvalidPredicate);
    }
  }
}

}  // namespace
}  // namespace chronelle::testing
