#include <gtest/gtest.h>

#include "StoreTestModel.h"
#include "chronelle/store/Predicate.h"
#include "chronelle/store/StoreError.h"

namespace chronelle::testing {
namespace {

ExpressionDescription expression(std::string name, std::string function, std::string keyPath,
                                 AttributeType type = AttributeType::doubleType) {
  return ExpressionDescription{std::move(name), std::move(function), std::move(keyPath), type};
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

TEST_F(FetchDictionaryTest, AggregatesOverAPredicateComeBackWithTheirResultTypes) {
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
  // Over nothing: one row, sums and counts zero, extremes absent.
  request.predicate = Predicate::parse("tally > 100");
  EXPECT_EQ(store.context->fetchDictionaries(request),
            (std::vector<ResultDictionary>{{{"sumWeight", 0.0}, {"count", 0}, {"sumTally", 0}}}));

  request.propertiesToFetch = {expression("bad", "median:", "tally")};
  EXPECT_THROW(store.context->fetchDictionaries(request), StoreError);
}

TEST_F(FetchDictionaryTest, GroupingByAToOneGivesObjectIDsPerGroup) {
  FetchRequest request("Visit");
  request.predicate = Predicate::parse("spot != nil");
  request.propertiesToFetch = {std::string("spot"), expression("total", "sum:", "weight"),
                               expression("n", "count:", "start", AttributeType::integer64)};
  request.propertiesToGroupBy = {"spot"};
  request.sortDescriptors = {{"spot", true}};
  EXPECT_EQ(store.context->fetchDictionaries(request),
            (std::vector<ResultDictionary>{{{"spot", x->objectID()}, {"total", 1.5}, {"n", 3}},
                                           {{"spot", y->objectID()}, {"total", 1.0}, {"n", 1}}}));

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
  const auto full = store.context->fetchDictionaries(request);
  ASSERT_EQ(full.size(), 1u);
  EXPECT_EQ(full[0].at("weight"), Value(1.0));
  EXPECT_EQ(full[0].at("spot"), Value(y->objectID()));
  EXPECT_EQ(full[0].count("note"), 0u);

  request.propertiesToFetch = {std::string("spot.visits")};
  EXPECT_THROW(store.context->fetchDictionaries(request), StoreError);
}

}  // namespace
}  // namespace chronelle::testing
