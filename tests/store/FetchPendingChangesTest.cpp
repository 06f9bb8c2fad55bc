#include <gtest/gtest.h>

#include "StoreTestModel.h"
#include "chronelle/store/Predicate.h"

namespace chronelle::testing {
namespace {

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
    for (const char* name : {"a", "b", "c", "d"}) {
      auto spot = store.spot(name);
      spot->setValue("rank", rank++);
      spot->setValue("open", true);
      saved[name] = spot;
    }
    store.context->save();
  }
  TestStore store;
  std::map<std::string, std::shared_ptr<ManagedObject>> saved;
};

TEST_F(FetchPendingChangesTest, ObjectFetchesAndCountsMergeUnsavedInsertsEditsAndDeletes) {
  auto e = store.spot("e");  // unsaved insert that matches and sorts first
  e->setValue("open", true);
  saved["b"]->setValue("open", false);  // unsaved edit: stops matching
  store.context->deleteObject(saved["c"]);  // unsaved delete
  saved["d"]->setValue("rank", -1);  // unsaved edit: moves to the front

  const auto open = spots("open == YES");
  EXPECT_EQ(TestStore::names(store.context->fetch(open)), (std::vector<std::string>{"d", "e", "a"}));
  EXPECT_EQ(store.context->count(open), 3u);

  const auto firstTwo = spots("open == YES", {}, {{"rank", true}}, 2);
  const auto ids = store.context->fetchObjectIDs(firstTwo);
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_EQ(ids[0], saved["d"]->objectID());
  EXPECT_TRUE(ids[1].isTemporaryID());

  // An edit can also make an object start matching.
  saved["b"]->setValue("open", true);
  EXPECT_EQ(TestStore::names(store.context->fetch(open)), (std::vector<std::string>{"d", "e", "a", "b"}));

  // Aggregates read saved data only: none of the four changes shows.
  FetchRequest sum("Spot");
  sum.predicate = Predicate::parse("open == YES");
  sum.propertiesToFetch = {ExpressionDescription{"total", "sum:", "rank", AttributeType::integer64},
                           ExpressionDescription{"n", "count:", "rank", AttributeType::integer64}};
  const auto rows = store.context->fetchDictionaries(sum);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("total"), Value(10));
  EXPECT_EQ(rows[0].at("n"), Value(4));
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
    auto spot = store.spot("s" + std::to_string(i));
    spot->setValue("rank", i % 4);
    spot->setValue("open", i % 3 == 0);
    saved["s" + std::to_string(i)] = spot;
  }
  store.context->save();
  // Unsaved: ties, absent ranks, deletes at both ends, inserts in the middle.
  store.context->deleteObject(saved["a"]);
  store.context->deleteObject(saved["s11"]);
  saved["s1"]->setValue("rank", Value());
  saved["s2"]->setValue("open", true);
  saved["s3"]->setValue("rank", 2);
  saved["s4"]->setValue("name", "zz");
  for (int i = 0; i < 3; ++i) {
    auto spot = store.spot("n" + std::to_string(i));
    spot->setValue("rank", i == 1 ? Value() : Value(i));
    spot->setValue("open", true);
  }
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

}  // namespace
}  // namespace chronelle::testing
