#include <gtest/gtest.h>

#include <map>
#include <random>

#include "chronelle/store/IdentityMap.h"
#include "chronelle/store/ManagedObject.h"

namespace chronelle::testing {
namespace {

// Registering and forgetting at random over few keys, so that searches run over emptied
// slots and the table grows and is rebuilt, checked against an ordinary map after each step.
TEST(IdentityMapTest, FindsWhatWasRegisteredThroughRemovalsAndGrowth) {
  std::mt19937 random(7);
  IdentityMap map;
  std::map<std::int64_t, std::shared_ptr<ManagedObject>> model;
  for (int step = 0; step < 4000; ++step) {
    const std::int64_t key = 1 + static_cast<std::int64_t>(random() % (step < 2000 ? 40 : 700));
    if (random() % 3 == 0) {
      map.erase(key);
      model.erase(key);
    } else if (!model.count(key)) {
      auto object = std::make_shared<ManagedObject>();
      map[key] = object;
      model[key] = object;
    }
    ASSERT_EQ(map.size(), model.size()) << "step " << step;
    for (const std::int64_t probe : {key, key + 1, std::int64_t{0}, std::int64_t{-1}}) {
      const auto it = map.find(probe);
      const auto expected = model.find(probe);
      ASSERT_EQ(it == map.end(), expected == model.end()) << "step " << step << ", key " << probe;
      if (it != map.end()) {
        ASSERT_EQ(it->second, expected->second) << "step " << step << ", key " << probe;
      }
    }
  }
  std::map<std::int64_t, std::shared_ptr<ManagedObject>> walked;
  for (const auto& [key, object] : map) walked.emplace(key, object);
  EXPECT_EQ(walked, model);
  map.clear();
  EXPECT_EQ(map.size(), 0u);
  EXPECT_TRUE(map.begin() == map.end());
  EXPECT_TRUE(map.find(model.begin()->first) == map.end());
}

}  // namespace
}  // namespace chronelle::testing
