#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <stdexcept>
#include <unordered_set>

#include "chronelle/store/ObjectID.h"

namespace chronelle {
namespace {

constexpr const char* kStore = "0F6B1C2A-7D3E-4B5F-8A9C-0123456789AB";

TEST(ObjectIDTest, PermanentAndTemporaryIDsRoundTripThroughTheirURIs) {
  const ObjectID permanent = ObjectID::permanent("Session", 42, kStore);
  EXPECT_FALSE(permanent.isTemporaryID());
  EXPECT_EQ(permanent.uriRepresentation(), std::string("x-chronelle://") + kStore + "/Session/p42");
  EXPECT_EQ(ObjectID::fromURI(permanent.uriRepresentation()), permanent);

  const ObjectID temporary = ObjectID::temporary("Task");
  EXPECT_TRUE(temporary.isTemporaryID());
  EXPECT_EQ(temporary.primaryKey(), 0);
  EXPECT_EQ(temporary.uriRepresentation(), "x-chronelle:///Task/t" + temporary.storeIdentifier());
  EXPECT_EQ(ObjectID::fromURI(temporary.uriRepresentation()), temporary);

  // Keys up to the largest 64-bit value survive.
  const ObjectID largest = ObjectID::permanent("Node", INT64_MAX, kStore);
  EXPECT_EQ(ObjectID::fromURI(largest.uriRepresentation()), largest);
}

TEST(ObjectIDTest, TemporaryIDsAreFreshUppercaseVersion4UUIDs) {
  const std::regex uuid4("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string uuid = ObjectID::temporary("Task").storeIdentifier();
    ASSERT_TRUE(std::regex_match(uuid, uuid4)) << uuid;
    seen.insert(uuid);
  }
  EXPECT_EQ(seen.size(), 200u);
}

TEST(ObjectIDTest, OnlyWellFormedURIsParse) {
  const std::string store = kStore;
  const std::string temp = "9A1B2C3D-4E5F-4061-8273-8495A6B7C8D9";
  const struct {
    std::string uri;
    bool parses;
  } cases[] = {
      {"x-chronelle://" + store + "/Task/p1", true},
      {"x-chronelle:///Task/t" + temp, true},
      {"x-chronelle://" + store + "/Rule_2/p9", true},
      {"x-chronelle://0f6b1c2a-7d3e-4b5f-8a9c-0123456789ab/Task/p1", true},  // lowercase UUID
      {"x-coredata://" + store + "/Task/p1", false},
      {"x-chronelle://" + store + "/Task/p0", false},
      {"x-chronelle://" + store + "/Task/p01", false},
      {"x-chronelle://" + store + "/Task/p-1", false},
      {"x-chronelle://" + store + "/Task/p+1", false},
      {"x-chronelle://" + store + "/Task/p", false},
      {"x-chronelle://" + store + "/Task/p1x", false},
      {"x-chronelle://" + store + "/Task/p9223372036854775808", false},  // beyond 64 bits
      {"x-chronelle://" + store + "/Task/t" + temp, false},  // temporary key with a store
      {"x-chronelle:///Task/p1", false},                     // permanent key without a store
      {"x-chronelle:///Task/t" + temp.substr(1), false},
      {"x-chronelle:///Task/t" + temp + "0", false},
      {"x-chronelle:///Task/tZA1B2C3D-4E5F-4061-8273-8495A6B7C8D9", false},
      {"x-chronelle://" + store + "//p1", false},
      {"x-chronelle://" + store + "/1Task/p1", false},
      {"x-chronelle://" + store + "/Ta-sk/p1", false},
      {"x-chronelle://" + store + "/Task/p1/", false},
      {"x-chronelle://" + store + "/Task", false},
      {"x-chronelle://NOT-A-UUID/Task/p1", false},
      {"", false},
      {" x-chronelle://" + store + "/Task/p1", false},
  };
  for (const auto& c : cases) {
    const auto id = ObjectID::fromURI(c.uri);
    EXPECT_EQ(id.has_value(), c.parses) << c.uri;
    if (id) {
      EXPECT_EQ(id->uriRepresentation(), c.uri);
    }
  }
}

TEST(ObjectIDTest, EqualityAndHashFollowEntityKeyAndStore) {
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
  EXPECT_NE(ObjectID::temporary("Task"), ObjectID::temporary("Task"));
  EXPECT_EQ(ObjectID().uriRepresentation(), "");
  EXPECT_THROW(ObjectID::temporary(""), std::invalid_argument);
  EXPECT_THROW(ObjectID::permanent("", 1, kStore), std::invalid_argument);
  EXPECT_THROW(ObjectID::permanent("Task", 0, kStore), std::invalid_argument);
  EXPECT_THROW(ObjectID::permanent("Task", -5, kStore), std::invalid_argument);
}

}  // namespace
}  // namespace chronelle
