// The session query as a value: its cache key and equality, interval and billing options.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "chronelle/data/SessionQuery3.h"
#include "chronelle/platform/Localizer.h"

namespace chronelle {
namespace {

using Billing = SessionQuery3::BillingStatusOption;
using Archive = SessionQuery3::ArchiveFilterOption;

const Date kNine = Date::fromSecondsSince1970(1'773'133'200.0);
const Date kTen = kNine + 3600;
const ObjectID kTaskA = ObjectID::permanent("Task", 1, "STORE");
const ObjectID kTaskB = ObjectID::permanent("Task", 2, "STORE");

TEST(SessionQueryValue, HashKeyTellsEveryFieldApart) {
  auto q = [](auto&& edit) {
    SessionQuery3 query;
    edit(query);
    return query;
  };
  // Each query differs from every other in at least one field.
  const std::vector<SessionQuery3> queries = {
      SessionQuery3{},
      q([](SessionQuery3& x) { x.from = kNine; }),
      q([](SessionQuery3& x) { x.to = kNine; }),
      q([](SessionQuery3& x) { x.from = kNine + 0.000001; }),
      q([](SessionQuery3& x) { x.from = Date::fromSecondsSince1970(-1.5); }),
      q([](SessionQuery3& x) { x.from = kNine, x.to = kTen; }),
      q([](SessionQuery3& x) { x.from = kTen, x.to = kNine; }),
      q([](SessionQuery3& x) { x.taskIds = std::set<ObjectID>{}; }),
      q([](SessionQuery3& x) { x.taskIds = std::set<ObjectID>{kTaskA}; }),
      q([](SessionQuery3& x) { x.taskIds = std::set<ObjectID>{kTaskA, kTaskB}; }),
      q([](SessionQuery3& x) { x.archived = Archive::activeOnly; }),
      q([](SessionQuery3& x) { x.archived = Archive::archivedOnly; }),
      q([](SessionQuery3& x) { x.billingStatus = std::set<Billing>{}; }),
      q([](SessionQuery3& x) { x.billingStatus = std::set{Billing::nonBillable}; }),
      q([](SessionQuery3& x) { x.billingStatus = std::set{Billing::unbilled}; }),
      q([](SessionQuery3& x) { x.billingStatus = std::set{Billing::nonBillable, Billing::unbilled}; }),
  };
  for (std::size_t i = 0; i < queries.size(); ++i) {
    EXPECT_EQ(queries[i].hashKey(), SessionQuery3(queries[i]).hashKey()) << "case " << i;
    EXPECT_TRUE(queries[i] == SessionQuery3(queries[i])) << "case " << i;
    for (std::size_t j = i + 1; j < queries.size(); ++j) {
      EXPECT_NE(queries[i].hashKey(), queries[j].hashKey()) << "cases " << i << " and " << j;
      EXPECT_TRUE(queries[i] != queries[j]) << "cases " << i << " and " << j;
    }
  }

  // Built up in different orders, the same sets give the same key.
  SessionQuery3 forward;
  forward.taskIds.emplace();
  forward.taskIds->insert(kTaskA);
  forward.taskIds->insert(kTaskB);
  forward.billingStatus = std::set{Billing::paid, Billing::nonBillable};
  SessionQuery3 backward;
  backward.taskIds.emplace();
  backward.taskIds->insert(kTaskB);
  backward.taskIds->insert(kTaskA);
  backward.billingStatus = std::set{Billing::nonBillable, Billing::paid};
  EXPECT_EQ(forward.hashKey(), backward.hashKey());
  EXPECT_EQ(forward, backward);
}

TEST(SessionQueryValue, IntervalNeedsBothBoundsAndIsNeverNegative) {
  SessionQuery3 query;
  EXPECT_FALSE(query.dateInteval());
  query.from = kNine;
  EXPECT_FALSE(query.dateInteval());
  query.to = kTen;
  EXPECT_EQ(query.dateInteval(), DateInterval(kNine, kTen));
  query.to = kNine - 60;  // before `from`: an empty interval at `from`
  ASSERT_TRUE(query.dateInteval());
  EXPECT_EQ(query.dateInteval()->start(), kNine);
  EXPECT_EQ(query.dateInteval()->end(), kNine);
  query.from.reset();
  EXPECT_FALSE(query.dateInteval());
}

TEST(SessionQueryValue, BillingOptionsMapOntoStoredStatuses) {
  struct Case {
    int raw;
    std::optional<Billing> option;
    std::optional<int> status;
    const char* key;
  };
  const std::vector<Case> cases = {
      {-2, std::nullopt, std::nullopt, ""},
      {-1, Billing::nonBillable, std::nullopt, "Non-billable"},
      {0, Billing::unbilled, BillingStatus::unbilled, "Unbilled"},
      {1, Billing::billed, BillingStatus::billed, "Billed"},
      {2, Billing::paid, BillingStatus::paid, "Paid"},
      {3, std::nullopt, std::nullopt, ""},
  };
  Localizer::setTable({{"Paid", "Bezahlt"}});
  for (const Case& c : cases) {
    auto option = SessionQuery3::billingStatusOptionFromRaw(c.raw);
    ASSERT_EQ(option, c.option) << "raw " << c.raw;
    if (!option) continue;
    auto status = toBillingStatus(*option);
    EXPECT_EQ(status ? std::optional<int>(status->rawValue()) : std::nullopt, c.status) << "raw " << c.raw;
    const std::string expected = std::string(c.key) == "Paid" ? "Bezahlt" : c.key;
    EXPECT_EQ(localizedName(*option), expected) << "raw " << c.raw;
  }
  Localizer::reset();
}

}  // namespace
}  // namespace chronelle
