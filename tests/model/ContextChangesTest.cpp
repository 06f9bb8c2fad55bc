#include <gtest/gtest.h>

#include "chronelle/model/ContextChangesNotification.h"
#include "chronelle/model/NSDictionaryValueTransformer.h"
#include "chronelle/store/ObjectContext.h"

namespace chronelle {
namespace {

using E = ContextChanges::Entity;

TEST(ContextChangesTest, QueriesLookAtEachFieldOnItsOwn) {
  const ContextChanges split{E::session, E::task, E()};
  const struct {
    const char* label;
    ContextChanges changes;
    bool sessionAndTask, allSessionTask, anyFolderRule, tracked, empty;
  } cases[] = {
      {"split over fields", split, false, true, false, true, false},
      {"both in one field", {E::session | E::task, E(), E()}, true, true, false, true, false},
      {"only a rule set", {E::ruleSet, E(), E()}, false, false, false, false, false},
      {"deletes only", {E(), E(), E::alEntry | E::folder}, false, false, true, true, false},
      {"nothing", {}, false, false, false, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const ContextChanges& x = c.changes;
    EXPECT_EQ(std::tuple(x.have(E::session | E::task), x.haveAll({E::session, E::task}),
                         x.haveAny({E::folder, E::rule}), x.haveTrackedDataChanges(), x.areEmtpy()),
              std::tuple(c.sessionAndTask, c.allSessionTask, c.anyFolderRule, c.tracked, c.empty));
  }
  EXPECT_TRUE(split.haveAll({}) && !split.haveAny({}));
  EXPECT_TRUE(split.haveInserts() && split.haveUpdates() && !split.haveDeletes());
  EXPECT_TRUE((E::session | E::rule).contains(E::rule));
  EXPECT_FALSE((E::session | E::rule).contains(E::rule | E::task));
  EXPECT_EQ((E::session | E::rule) & (E::rule | E::task), E::rule);
}

TEST(ContextChangesTest, NotificationAccessorsCheckKeyAndType) {
  const ContextChanges changes{E::task, E(), E()};
  Notification carrying{"mainContextDidChange", nullptr, {{"contextChanges", changes}}};
  Notification wrongType{"mainContextDidChange", nullptr, {{"contextChanges", std::string("x")}}};
  EXPECT_EQ(std::tuple(contextChanges(carrying), contextChanges(wrongType),
                       contextChanges(Notification{})),
            std::tuple(std::optional(changes), std::nullopt, std::nullopt));

  const ObjectID gone = ObjectID::permanent("Task", 7, "STORE");
  const ObjectID kept = ObjectID::permanent("Task", 8, "STORE");
  const Notification merged{"merge", nullptr, {{ObjectContext::kDeletedObjectIDsKey, ObjectIDSet{gone}}}};
  Notification asVector{"merge", nullptr, {{ObjectContext::kDeletedObjectIDsKey, std::vector<ObjectID>{gone}}}};
  EXPECT_EQ(std::vector({hasDeletedObject(merged, gone), hasDeletedObject(merged, kept),
                         hasDeletedObject(asVector, gone), hasDeletedObject(Notification{}, gone)}),
            std::vector({true, false, false, false}));
}

TEST(DictionaryTransformerTest, EveryValueKindRoundTripsAndOtherInputGivesNothing) {
  const ValueDictionary dictionary{
      {"bool", true},         {"int", std::int64_t{-9'007'199'254'740'993}},  {"double", 2.0},
      {"fraction", 0.1},      {"string", "ünïcødé"},  {"date", Date::fromMicroseconds(-1'234'567)},
      {"data", Blob{0, 255, 7}}, {"list", Value::List{1, "two", Value::List{3.5}}}, {"nil", Value()},
      {"id", ObjectID::permanent("Rule", 12, "9B2C6B0E-0000-4000-8000-000000000001")},
  };
  // Values compare by kind too: 2.0 must come back a double.
  const Blob data = NSDictionaryValueTransformer::transformedValue(dictionary).value();
  EXPECT_EQ(NSDictionaryValueTransformer::reverseTransformedValue(data), dictionary);
  EXPECT_EQ(NSDictionaryValueTransformer::transformedValue(std::string("text")), std::nullopt);
  EXPECT_EQ(NSDictionaryValueTransformer::reverseTransformedValue(std::string("text")), std::nullopt);
  Blob trailing = data;
  trailing.push_back(0);
  for (const Blob& junk : {Blob{}, Blob{0xFF}, Blob{0x83, 1, 2, 3}, Blob{0xA1, 0x61, 0x61}, trailing}) {
    EXPECT_EQ(NSDictionaryValueTransformer::decode(junk), std::nullopt) << junk.size() << " bytes";
  }
}

}  // namespace
}  // namespace chronelle
