#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>

#include "teststack/ProviderFixture.h"

namespace chronelle::testing {
namespace {

using MergeType = MainDataProvider::SessionMergeType;

class SessionMergeTest : public ProviderFixture {
 protected:
  SessionMergeTest() {
    target = makeTask("Target");
    target->setIsBillableSet(true), target->setIsBillable(true), target->setHourlyRateIsSet(true);
    target->setHourlyRate(60);
    source = makeTask("Source", nullptr, 1);
    saveAndSettle();
  }

  struct Entry {
    Date begin;
    std::optional<Date> end;
    std::optional<std::string> notes = std::nullopt;
    BillingStatus status = BillingStatus::unbilled;
  };

  std::shared_ptr<Session> add(const Entry& e) {
    auto session = makeSession(source, e.begin, e.end);
    session->setNotes(e.notes), session->setBillingStatusValue(e.status.rawValue());
    session->setHourlyRate(100);
    return session;
  }

  std::set<std::string> targetEntryIds() {
    std::set<std::string> ids;
    for (const auto& s : target->sessions()) ids.insert(*s->identifier());
    return ids;
  }

  std::shared_ptr<Task> target, source;
};

TEST_F(SessionMergeTest, MergedEntryReplacesTheFinishedEntriesOfTheSelection) {
  struct Case {
    const char* name;
    std::vector<Entry> entries;  // passed in this order
    MergeType type;
    Date begin, end;
    std::optional<std::string> notes = std::nullopt;
    BillingStatus status;
    bool nameFirstTwice = false;
  };
  const auto push = MergeType::byPushingSessionsTogether;
  const auto fill = MergeType::byFillingTimeBetweenSessions;
  const auto u = BillingStatus::unbilled, billed = BillingStatus::billed;
  const std::vector<Case> cases = {
      {"push", {{utc(9), utc(10)}, {utc(11), utc(11, 30)}}, push, utc(9), utc(10, 30), {}, u},
      {"fill", {{utc(11), utc(11, 30)}, {utc(9), utc(10)}}, fill, utc(9), utc(11, 30), {}, u},
      {"notes in begin order", {{utc(13), utc(13, 10), "b"}, {utc(12), utc(12, 10)}, {utc(11), utc(11, 10), "a"}},
       fill, utc(11), utc(13, 10), "a\nb", u},
      {"empty notes count", {{utc(9), utc(10), ""}, {utc(10), utc(11), "x"}}, push, utc(9), utc(11), "\nx", u},
      {"equal begins keep selection order", {{utc(9), utc(9, 10), "first"}, {utc(9), utc(9, 20), "second"}}, push,
       utc(9), utc(9, 30), "first\nsecond", u},
      {"billed and unbilled", {{utc(9), utc(10), {}, billed}, {utc(10), utc(11)}}, fill, utc(9), utc(11), {}, u},
      {"both billed", {{utc(9), utc(10), {}, billed}, {utc(10), utc(11), {}, billed}}, fill, utc(9), utc(11), {},
       billed},
      {"running entry stays", {{utc(9), utc(10), "kept"}, {utc(11), std::nullopt, "running"}}, fill, utc(9),
       utc(10), "kept", u},
      {"an entry named twice counts once", {{utc(9), utc(10), "a"}, {utc(11), utc(11, 30), "b"}}, push, utc(9),
       utc(10, 30), "a\nb", u, true},
      {"single entry", {{utc(9) + 0.5, utc(10) + 0.9, "n", BillingStatus::paid}}, push, utc(9), utc(10), "n",
       BillingStatus::paid},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::shared_ptr<Session>> selected;
    std::vector<std::string> ids;
    for (const auto& e : c.entries) {
      selected.push_back(add(e));
      ids.push_back(*selected.back()->identifier());
    }
    if (c.nameFirstTwice) ids.push_back(ids.front());
    ids.push_back("no-such-entry");
    saveAndSettle();
    const auto before = targetEntryIds();
    const double totalBefore = target->confirmedDuration();

    write(provider->mergeSessions(ids, *target->identifier(), c.type));

    EXPECT_EQ(takeEvents(), "returned | " + changed(R"(["session"])", R"(["task"])", R"(["session"])"));
    std::vector<std::shared_ptr<Session>> created;
    for (const auto& s : target->sessions()) {
      if (!before.count(*s->identifier())) created.push_back(s);
    }
    ASSERT_EQ(created.size(), 1u);
    const auto& merged = created.front();
    // Priced by the target task (60/h), not the sources (100/h).
    const double seconds = c.end.timeIntervalSince(c.begin);
    EXPECT_EQ(std::tuple(merged->begin(), merged->end(), merged->notes(), merged->billingStatus(),
                         merged->autotracked(), merged->hourlyRate(), merged->confirmedRevenue()),
              std::tuple(c.begin, c.end, c.notes, c.status, false, 60.0,
                         std::round(seconds / 60 * 100) / 100));
    // The finished entries are gone; a running one stays where it was.
    for (std::size_t i = 0; i < selected.size(); ++i) {
      auto found = provider->getSession(ids[i]);
      EXPECT_EQ(found ? found->task() : nullptr, c.entries[i].end ? nullptr : source) << "entry " << i;
    }
    EXPECT_DOUBLE_EQ(target->confirmedDuration(), totalBefore + seconds);
  }
}

TEST_F(SessionMergeTest, UnknownTaskThrowsAndNothingFinishedIsANoOp) {
  auto finished = add({utc(9), utc(10), "n"});
  auto running = add({utc(11), std::nullopt});
  saveAndSettle();

  try {
    write(provider->mergeSessions({*finished->identifier()}, "no-such-task",
                                  MergeType::byPushingSessionsTogether));
    ADD_FAILURE() << "expected selectedTaskDoesNotExist";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), MainDataProvider::MergeSessionsErrors::selectedTaskDoesNotExist);
    EXPECT_EQ(error.code().message(), "selectedTaskDoesNotExist");
  }
  write(provider->mergeSessions({*running->identifier(), "gone"}, *target->identifier(),
                                MergeType::byFillingTimeBetweenSessions));
  EXPECT_EQ(takeEvents(), "returned");
  EXPECT_TRUE(finished->task() == source && finished->notes() == "n" && !running->end());
  EXPECT_TRUE(target->sessions().empty());

  // The bounds of a selection count a running entry as ending now; an empty one has none.
  EXPECT_EQ(MainDataProvider::getLatestEnd({finished, running}), time.now());
  EXPECT_EQ(MainDataProvider::getEarliestBegin({running, finished}), utc(9));
  EXPECT_FALSE(MainDataProvider::getLatestEnd({}) || MainDataProvider::getUnifiedBillingStatus({}));
}

}  // namespace
}  // namespace chronelle::testing
