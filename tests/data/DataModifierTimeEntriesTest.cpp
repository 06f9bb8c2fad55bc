#include <cmath>
#include <sstream>
#include <string>
#include <system_error>
#include <tuple>

#include "DataModifierFixture.h"
#include "chronelle/data/ChangeSetError.h"
#include "chronelle/store/Value.h"

namespace chronelle::testing {
namespace {

using Key = TimeEntryChangeKey;

class DataModifierTimeEntriesTest : public DataModifierFixture {};

TEST_F(DataModifierTimeEntriesTest, BeginAndEndAreFlooredAndKeptInOrder) {
  const Date ten = utc(10), eleven = utc(11), nine = utc(9), noon = utc(12);
  struct Case {
    std::string name;
    TimeEntryChanges changes;
    Date expectedBegin;
    std::optional<Date> expectedEnd;
  };
  const std::vector<Case> cases = {
      {"begin after the end moves the end", {{Key::begin, noon}}, noon, noon},
      {"end before the begin moves the begin", {{Key::end, nine}}, nine, nine},
      {"begin fraction is dropped", {{Key::begin, ten + 0.7}}, ten, eleven},
      {"end fraction is dropped", {{Key::end, eleven + 30.9}}, ten, eleven + 30},
      {"both, end before begin", {{Key::begin, eleven}, {Key::end, ten}}, eleven, eleven},
      {"end without a value keeps the end", {{Key::begin, nine}, {Key::end, std::any()}}, nine, eleven},
      {"empty optional end keeps the end", {{Key::end, std::optional<Date>()}}, ten, eleven},
      {"null store value keeps the end", {{Key::end, Value()}}, ten, eleven},
  };
  auto task = makeTask("T");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto session = makeSession(task, ten, std::nullopt);
    modifier.updateTimeEntryBeginEnd(*session, ten, eleven);
    modifier.updateTimeEntry(*session, c.changes);
    const double seconds = c.expectedEnd->timeIntervalSince(c.expectedBegin);
    EXPECT_EQ(std::tuple(session->begin(), session->end(), session->confirmedDuration()),
              std::tuple(c.expectedBegin, c.expectedEnd, seconds));
  }
  // Back to running: no end, no duration.
  auto running = makeSession(task, ten, std::nullopt);
  modifier.updateTimeEntryBeginEnd(*running, ten, eleven);
  modifier.updateTimeEntryBeginEnd(*running, nine, std::nullopt);
  EXPECT_EQ(std::tuple(running->end(), running->confirmedDuration()),
            std::tuple(std::nullopt, 0.0));
}

TEST_F(DataModifierTimeEntriesTest, ChangeSetWithAWrongTypeOrAnUnstorableValueIsRefusedWhole) {
  auto task = makeTask("T");
  auto session = entry(task, utc(10), utc(11));
  session->setNotes("keep");
  auto snapshot = [&] {
    std::ostringstream out;
    out << session->begin()->isoString() << " " << session->notes().value_or("-") << " " << session->roundingTo() << " "
        << session->roundingMethod() << " " << session->hourlyRate() << " " << session->autotracked();
    return out.str();
  };
  const std::string before = snapshot();
  const struct {
    const char* name;
    Key key;
    std::any value;
    ChangeSetError error;
  } cases[] = {
      {"integer rate", Key::hourlyRate, 12, ChangeSetError::wrongType},
      {"rate that is not a number", Key::hourlyRate, std::nan(""), ChangeSetError::valueOutOfRange},
      {"empty optional of another type", Key::hourlyRate, std::optional<int>(), ChangeSetError::wrongType},
      {"ten-hour rounding step", Key::roundingTo, 36000, ChangeSetError::valueOutOfRange},
      {"one below 16 bits", Key::roundingMethod, Value(-32769), ChangeSetError::valueOutOfRange},
      {"largest unsigned", Key::roundingTo, ~0ULL, ChangeSetError::valueOutOfRange},
      {"flag as integer", Key::autotracked, 1, ChangeSetError::wrongType},
      {"task as text", Key::taskId, std::string("not an id"), ChangeSetError::wrongType},
      {"notes as number", Key::notes, 42, ChangeSetError::wrongType},
  };
  for (const auto& c : cases) {
    // Keys applied before the bad one must not be applied either.
    TimeEntryChanges changes{{Key::begin, utc(9)}, {Key::notes, std::string("changed")}};
    changes[c.key] = c.value;
    try {
      modifier.updateTimeEntry(*session, changes);
      ADD_FAILURE() << c.name << ": accepted";
    } catch (const std::system_error& e) {
      EXPECT_EQ(e.code(), c.error) << c.name << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find(Key(c.key).rawValue()), std::string::npos) << c.name << ": " << e.what();
    }
    EXPECT_EQ(snapshot(), before) << c.name;
  }

  // The bounds of 16 bits fit; no value of the expected type changes nothing; notes present
  // without a value clear them.
  modifier.updateTimeEntry(*session, {{Key::roundingTo, std::int16_t{32767}},
                                      {Key::roundingMethod, -32768},
                                      {Key::hourlyRate, std::optional<double>()},
                                      {Key::notes, std::any()}});
  EXPECT_EQ(snapshot(), session->begin()->isoString() + " - 32767 -32768 0 0");
}

// The amount follows the shared cents rule (whose table lives with the money code); here
// only that both setters store it anew, and that a zero rate stores nothing.
TEST_F(DataModifierTimeEntriesTest, StoredRevenueIsTheDecimalAmountInWholeCents) {
  const struct {
    double rate, seconds, revenue;
  } cases[] = {{100, 3601, 100.03}, {-19.99, 1800, -10.00}, {0, 3600, 0}};
  auto task = makeTask("T");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.rate) + "/h for " + std::to_string(c.seconds) + " s");
    auto session = makeSession(task, utc(10), std::nullopt);
    modifier.updateTimeEntryHourlyRate(*session, c.rate);
    modifier.updateTimeEntryBeginEnd(*session, utc(10), utc(10) + c.seconds);
    EXPECT_EQ(session->confirmedRevenue(), c.revenue) << "begin and end";
    modifier.updateTimeEntryHourlyRate(*session, 1);
    modifier.updateTimeEntryHourlyRate(*session, c.rate);
    EXPECT_EQ(session->confirmedRevenue(), c.revenue) << "rate";
  }
}

TEST_F(DataModifierTimeEntriesTest, MovingARunningEntryMovesTheRunningMarks) {
  auto oldFolder = makeFolder("Old"), newFolder = makeFolder("New", nullptr, 1);
  auto oldTask = makeTask("A", oldFolder), newTask = makeTask("B", newFolder);
  // Running marks of A, Old, B, New, then whether B's last begin follows the entry.
  auto marks = [&] {
    std::string text;
    for (const auto& n : std::vector<std::shared_ptr<Node>>{oldTask, oldFolder, newTask, newFolder})
      text += n->hasRunningSession() ? "1" : "0";
    return text + " " + std::to_string(newTask->lastSessionBegin() == utc(10) + 1);
  };
  auto running = entry(oldTask, utc(10), std::nullopt);
  EXPECT_EQ(oldTask->lastSessionBegin(), utc(10) + 1);
  EXPECT_EQ(marks(), "1100 0");
  modifier.updateTimeEntry(*running, {{Key::taskId, newTask->objectID()}});
  EXPECT_EQ(marks(), "0011 1");

  // Identifiers that name no task leave the entry where it is.
  modifier.updateTimeEntry(*running, {{Key::taskId, newFolder->objectID()}});
  modifier.updateTimeEntry(*running, {{Key::taskId, ObjectID::temporary("Task")}});
  EXPECT_EQ(running->task(), newTask);
}

TEST_F(DataModifierTimeEntriesTest, OnlyUnbilledEntriesTakeTheBillingSettingsOfTheirNewTask) {
  auto cheap = makeTask("Cheap"), dear = makeTask("Dear", nullptr, 1);
  for (auto& [task, rate] : {std::pair{cheap, 20.0}, std::pair{dear, 90.0}}) {
    task->setIsBillableSet(true), task->setIsBillable(true), task->setHourlyRateIsSet(true);
    task->setHourlyRate(rate);
  }
  auto unbilled = entry(cheap, utc(9), utc(10));
  auto billed = entry(cheap, utc(10), utc(11));
  modifier.updateTimeEntry(*billed, BillingStatus::billed);
  ASSERT_EQ(billed->hourlyRate(), 20);
  ASSERT_DOUBLE_EQ(billed->confirmedRevenue(), 20);

  for (const auto& session : {unbilled, billed}) modifier.updateTimeEntry(*session, *dear);
  EXPECT_TRUE(unbilled->isBillable());
  EXPECT_EQ(std::tuple(unbilled->hourlyRate(), unbilled->confirmedRevenue(), billed->hourlyRate(),
                       billed->confirmedRevenue()),
            std::tuple(90.0, 90.0, 20.0, 20.0));

  // Task first, status second: the entry is priced while still unbilled, then marked paid.
  auto later = entry(cheap, utc(12), utc(13));
  modifier.updateTimeEntry(*later, {{Key::billingStatus, BillingStatus::paid}, {Key::taskId, dear->objectID()}});
  EXPECT_EQ(later->hourlyRate(), 90);
  EXPECT_EQ(later->billingStatus(), BillingStatus::paid);
}

TEST_F(DataModifierTimeEntriesTest, DuplicateCopiesTimesTaskAndStatusButNotTheRest) {
  auto task = makeTask("T");
  task->setIsBillableSet(true), task->setIsBillable(true), task->setHourlyRateIsSet(true);
  task->setHourlyRate(60);
  auto source = entry(task, utc(9), utc(10, 30));
  source->setNotes("notes"), source->setOriginalEnd(utc(10, 29)), source->setRoundingTo(300);
  source->setAutotracked(true);
  modifier.updateTimeEntryHourlyRate(*source, 10);
  modifier.updateTimeEntry(*source, BillingStatus::billed);

  // Priced by the task, not the source; no original end, rounding or autotracking.
  for (bool withNotes : {false, true}) {
    auto copy = modifier.duplicateTimeEntry(*source, withNotes);
    ASSERT_NE(copy->objectID(), source->objectID());
    EXPECT_EQ(copy->task(), task);
    std::ostringstream fields;
    fields << copy->begin()->isoString() << " " << copy->end()->isoString() << " "
           << copy->billingStatus().enDescription() << " " << copy->hourlyRate() << " " << copy->confirmedDuration()
           << " " << copy->notes().value_or("-") << " " << copy->originalEnd().has_value() << " " << copy->roundingTo()
           << " " << copy->autotracked();
    EXPECT_EQ(fields.str(), utc(9).isoString() + " " + utc(10, 30).isoString() + " billed 60 5400 " +
                                (withNotes ? "notes" : "-") + " 0 0 0");
  }
}

}  // namespace
}  // namespace chronelle::testing
