#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <stdexcept>
#include <thread>
#include <unordered_set>

#include "chronelle/store/IdentityMap.h"
#include "chronelle/store/ManagedObject.h"
#include "chronelle/store/ObjectID.h"
#include "chronelle/store/StoredValueOrder.h"
#include "chronelle/store/Value.h"
#include "store/SqliteTestSupport.h"

namespace chronelle {
namespace {

constexpr const char* kStore = "0F6B1C2A-7D3E-4B5F-8A9C-0123456789AB";

TEST(ValueTest, NumericViewsAcceptOnlyNumbersAndBooleans) {
  constexpr auto kNone = std::nullopt;
  const double infinity = std::numeric_limits<double>::infinity();
  const struct {
    Value value;
    std::optional<double> asDouble;
    std::optional<std::int64_t> asInteger;
    std::optional<bool> asBool;
  } cases[] = {
      {Value(), kNone, kNone, kNone}, {Value(true), 1.0, 1, true}, {Value(false), 0.0, 0, false},
      {Value(7), 7.0, 7, true}, {Value(0), 0.0, 0, false}, {Value(-3), -3.0, -3, true},
      {Value(2.0), 2.0, 2, true}, {Value(-0.0), 0.0, 0, false},
      {Value(2.5), 2.5, kNone, true},  // a fraction has no integer view
      {Value(1e19), 1e19, kNone, true},  // beyond 64 bits
      {Value(-9223372036854775808.0), -9223372036854775808.0, INT64_MIN, true},
      {Value(infinity), infinity, kNone, true},
      {Value("1"), kNone, kNone, kNone},  // text is never a number
      {Value(Date::fromMicroseconds(1'500'000)), kNone, kNone, kNone},
      {Value(ObjectID::permanent("Task", 3, kStore)), kNone, kNone, kNone},
      {Value(Blob{1}), kNone, kNone, kNone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.value.asDouble(), c.asDouble) << c.value.description();
    EXPECT_EQ(c.value.asInteger(), c.asInteger) << c.value.description();
    EXPECT_EQ(c.value.asBool(), c.asBool) << c.value.description();
  }
}

// Equality is by kind and value; numbers of different kinds are different values (the
// predicate layer compares them numerically, Value itself does not).
TEST(ValueTest, EqualityKeepsTheKindAndDescriptionsAreReadable) {
  EXPECT_EQ(Value(1), Value(std::int64_t{1}));
  EXPECT_EQ(Value(Value::List{1, "a"}), Value(Value::List{1, "a"}));
  for (const auto& [a, b] : std::vector<std::pair<Value, Value>>{
           {1, true}, {1, 1.0}, {"1", 1}, {Value::List{1, "a"}, Value::List{"a", 1}}})
    EXPECT_NE(a, b) << a.description() << " " << b.description();

  const ObjectID id = ObjectID::permanent("Task", 3, kStore);
  const struct {
    Value value;
    std::string text;
  } cases[] = {
      {Value(), "nil"}, {Value(true), "YES"}, {Value(false), "NO"}, {Value(-12), "-12"},
      {Value(2.5), "2.5"}, {Value(0.1), "0.1"}, {Value(id), id.uriRepresentation()},
      {Value("say \"hi\" \\ bye"), "\"say \\\"hi\\\" \\\\ bye\""},
      {Value(Date::fromMicroseconds(86'400'000'000 + 1)), "1970-01-02T00:00:00.000001Z"},
      {Value(Blob{0x00, 0xAB, 0x10}), "<00ab10>"},
      {Value(Value::List{1, "a", Value()}), "(1, \"a\", nil)"}, {Value(Value::List{}), "()"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value.description(), c.text);
}

// The in-memory order must be SQLite's ORDER BY on what the engine writes, because
// fetches sort pending objects in memory beside rows sorted by SQL.
TEST(ValueOrderTest, InMemoryOrderIsSqliteOrderOfTheStoredValues) {
  const std::int64_t twoTo53 = std::int64_t{1} << 53;
  const std::vector<Value> values = {
      Value(), Value(3), Value(2.5), Value(-1), Value(true), Value(false), Value(2.0),
      Value(twoTo53 + 1),                   // not representable as a double
      Value(static_cast<double>(twoTo53)),  // just below it
      Value(-0.5),
      Value(Date::fromMicroseconds(2)),  // stored as the integer 2
      Value(ObjectID::permanent("Task", 4, kStore)),
      Value(ObjectID::temporary("Task")),  // bound as -1
      Value("b"), Value("B"), Value(""), Value("ab"), Value("a"),
      Value("\xC3\xA9"),  // é: bytes above ASCII sort after it
      Value("z"), Value(Blob{0x01}), Value(Blob{}), Value(Blob{0x00, 0xFF}), Value(Blob{0xFF}),
  };
  testing::MemoryDatabase db;
  db.exec("CREATE TABLE t(position INTEGER PRIMARY KEY, v)");
  for (std::size_t i = 0; i < values.size(); ++i) {
    db.queryIntegers("INSERT INTO t(position, v) VALUES (?, ?)",
                     {Value(static_cast<std::int64_t>(i)), values[i]});
  }
  const auto sqlOrder = db.queryIntegers("SELECT position FROM t ORDER BY v, position", {});

  std::vector<std::int64_t> memoryOrder(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) memoryOrder[i] = static_cast<std::int64_t>(i);
  std::stable_sort(memoryOrder.begin(), memoryOrder.end(), [&](std::int64_t a, std::int64_t b) {
    return compareStoredValues(values[static_cast<std::size_t>(a)],
                               values[static_cast<std::size_t>(b)]) < 0;
  });
  ASSERT_EQ(sqlOrder.size(), memoryOrder.size());
  for (std::size_t i = 0; i < sqlOrder.size(); ++i) {
    EXPECT_EQ(values[static_cast<std::size_t>(memoryOrder[i])].description(),
              values[static_cast<std::size_t>(sqlOrder[i])].description())
        << "position " << i;
  }

  // NaN is absent, as SQLite stores it.
  const Value nan(std::nan(""));
  EXPECT_TRUE(storageClassOf(nan) == StorageClass::absent && compareStoredValues(nan, Value()) == 0 &&
              compareStoredValues(nan, Value(-1e300)) < 0);
}

TEST(ObjectIDTest, OnlyWellFormedURIsParseAndEveryIDRoundTrips) {
  const std::string store = kStore;
  const std::string temp = "9A1B2C3D-4E5F-4061-8273-8495A6B7C8D9";
  const std::string p = "x-chronelle://" + store + "/";
  const struct {
    std::string uri;
    bool parses;
  } cases[] = {
      {p + "Task/p1", true}, {"x-chronelle:///Task/t" + temp, true}, {p + "Rule_2/p9", true},
      {p + "Node/p9223372036854775807", true},  // keys up to the largest 64-bit value
      {"x-chronelle://0f6b1c2a-7d3e-4b5f-8a9c-0123456789ab/Task/p1", true},  // lowercase UUID
      {"x-coredata://" + store + "/Task/p1", false}, {p + "Task/p0", false},
      {p + "Task/p01", false}, {p + "Task/p-1", false}, {p + "Task/p+1", false},
      {p + "Task/p", false}, {p + "Task/p1x", false},
      {p + "Task/p9223372036854775808", false},  // beyond 64 bits
      {p + "Task/t" + temp, false},              // temporary key with a store
      {"x-chronelle:///Task/p1", false},         // permanent key without a store
      {"x-chronelle:///Task/t" + temp.substr(1), false},
      {"x-chronelle:///Task/t" + temp + "0", false},
      {"x-chronelle:///Task/tZA1B2C3D-4E5F-4061-8273-8495A6B7C8D9", false}, {p + "/p1", false},
      {p + "1Task/p1", false}, {p + "Ta-sk/p1", false}, {p + "Task/p1/", false},
      {p + "Task", false}, {"x-chronelle://NOT-A-UUID/Task/p1", false}, {"", false},
      {" " + p + "Task/p1", false},
  };
  for (const auto& c : cases) {
    const auto id = ObjectID::fromURI(c.uri);
    EXPECT_EQ(id.has_value(), c.parses) << c.uri;
    if (id) {
      EXPECT_EQ(id->uriRepresentation(), c.uri);
    }
  }
  const ObjectID permanent = ObjectID::permanent("Session", 42, kStore);
  const ObjectID temporary = ObjectID::temporary("Task");
  EXPECT_TRUE(!permanent.isTemporaryID() && temporary.isTemporaryID() && temporary.primaryKey() == 0);
  EXPECT_EQ(permanent.uriRepresentation(), p + "Session/p42");
  EXPECT_EQ(temporary.uriRepresentation(), "x-chronelle:///Task/t" + temporary.storeIdentifier());
  for (const auto& id : {permanent, temporary}) EXPECT_EQ(ObjectID::fromURI(id.uriRepresentation()), id);
}

TEST(ObjectIDTest, EqualityAndHashFollowEntityKeyAndStoreAndTemporaryIDsAreFresh) {
  const ObjectID a = ObjectID::permanent("Task", 1, kStore);
  std::unordered_set<ObjectID> set{a, ObjectID::permanent("Task", 1, kStore)};
  EXPECT_EQ(set.size(), 1u);
  for (const auto& other : {ObjectID::permanent("Task", 2, kStore), ObjectID::permanent("Folder", 1, kStore),
                            ObjectID::permanent("Task", 1, "11111111-2222-4333-8444-555555555555"),
                            ObjectID::temporary("Task"), ObjectID()}) {
    EXPECT_NE(a, other) << other.uriRepresentation();
    set.insert(other);
  }
  EXPECT_EQ(set.size(), 6u);
  // IDs made on another thread are the same IDs.
  ObjectID fromThread;
  std::thread([&] { fromThread = ObjectID::permanent("Task", 1, kStore); }).join();
  EXPECT_EQ(fromThread, a);
  EXPECT_EQ(set.count(fromThread), 1u);
  // Ordered by entity name, key, then store or temporary UUID, each as text.
  const std::vector<ObjectID> ascending{ObjectID(),
                                        ObjectID::permanent("Folder", 7, kStore),
                                        ObjectID::fromURI("x-chronelle:///Task/t00000000-0000-4000-8000-000000000000").value(),
                                        ObjectID::fromURI("x-chronelle:///Task/tFFFFFFFF-0000-4000-8000-000000000000").value(),
                                        a,  // its store UUID begins with 0
                                        ObjectID::permanent("Task", 1, "11111111-2222-4333-8444-555555555555"),
                                        ObjectID::permanent("Task", 2, "11111111-2222-4333-8444-555555555555")};
  for (std::size_t i = 0; i < ascending.size(); ++i) {
    for (std::size_t j = 0; j < ascending.size(); ++j) {
      EXPECT_EQ(ascending[i] <=> ascending[j], i <=> j) << "case " << i << ", " << j;
    }
  }
  EXPECT_NE(ObjectID::temporary("Task"), ObjectID::temporary("Task"));
  // A temporary ID read back from its URI holds its own copy of the UUID and is still the
  // same ID, in a hash set too; a copy keeps the UUID after the ID it came from is gone.
  ObjectID kept;
  {
    const ObjectID original = ObjectID::temporary("Task");
    const ObjectID parsed = ObjectID::fromURI(original.uriRepresentation()).value();
    EXPECT_TRUE(parsed == original && (parsed <=> original) == 0);
    EXPECT_EQ((std::unordered_set<ObjectID>{original, parsed}.size()), 1u);
    kept = original;
    const ObjectID& same = kept;
    kept = same;
    ObjectID moved = ObjectID(parsed);
    EXPECT_EQ(moved, original);
  }
  EXPECT_TRUE(kept.isTemporaryID());
  EXPECT_TRUE(std::regex_match(kept.uriRepresentation(), std::regex("x-chronelle:///Task/t[0-9A-F-]{36}")));
  EXPECT_EQ(ObjectID().uriRepresentation(), "");
  EXPECT_THROW(ObjectID::temporary(""), std::invalid_argument);
  EXPECT_THROW(ObjectID::permanent("", 1, kStore), std::invalid_argument);
  EXPECT_THROW(ObjectID::permanent("Task", 0, kStore), std::invalid_argument);
  EXPECT_THROW(ObjectID::permanent("Task", -5, kStore), std::invalid_argument);

  // Temporary IDs carry fresh uppercase version-4 UUIDs.
  const std::regex uuid4("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string uuid = ObjectID::temporary("Task").storeIdentifier();
    ASSERT_TRUE(std::regex_match(uuid, uuid4)) << uuid;
    seen.insert(uuid);
  }
  EXPECT_EQ(seen.size(), 200u);
}


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
}  // namespace chronelle
