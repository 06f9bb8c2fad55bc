#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <stdexcept>

#include "TimerFixture.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/Logging.h"

namespace chronelle::testing {
namespace {

using State = CHTimer::State;
using Name = CHTimer::NotificationName;
using Method = RoundingMethodOption;

class TimerPauseTest : public TimerFixture {};

// One entry per case: started at 09:00 on a fresh task, paused `after` seconds later.
TEST_F(TimerPauseTest, RoundingAndMinimumLength) {
  const struct Case {
    const char* name;
    bool rounding;
    Method method;
    double minimum;
    double after;        // pause date minus begin
    std::string events;  // of the pause
    double storedDuration;
    bool rounded;  // rounding keys written
    bool dropped;
  } cases[] = {
      {"nearest 449", true, Method::nearest, 0, 449, "WillRoundSession StateChanged Paused", 300,
       true, false},
      {"up 449", true, Method::up, 0, 449, "WillRoundSession StateChanged Paused", 600, true,
       false},
      {"down 449", true, Method::down, 0, 449, "WillRoundSession StateChanged Paused", 300, true,
       false},
      {"nearest 450 (half up)", true, Method::nearest, 0, 450,
       "WillRoundSession StateChanged Paused", 600, true, false},
      {"multiple of the step", true, Method::up, 0, 600, "StateChanged Paused", 600, false, false},
      {"rounding off", false, Method::up, 0, 449, "StateChanged Paused", 449, false, false},
      {"down below one step is kept", true, Method::down, 60, 200,
       "WillRoundSession StateChanged Paused", 0, true, false},
      {"exactly the minimum", false, Method::nearest, 60, 60, "StateChanged Paused", 60, false,
       false},
      {"just below the minimum", false, Method::nearest, 60, 59.9,
       "WillDropSession WillSetCurrentSession DidSetCurrentSession StateChanged Paused", 0, false,
       true},
      {"pause before begin, minimum 1", false, Method::nearest, 1, -30,
       "WillDropSession WillSetCurrentSession DidSetCurrentSession StateChanged Paused", 0, false,
       true},
      {"pause before begin, minimum 0", false, Method::nearest, 0, -30, "StateChanged Paused", 0,
       false, false},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "case " << index << ": " << c.name);
    auto task = makeTask("Task " + std::to_string(index++));
    setPrefs(c.rounding, 300, c.method, c.minimum);
    time.set(at(9));
    auto session = run(timer->start(task, time.now(), false));
    ASSERT_TRUE(session);
    const std::string identifier = *session->identifier();
    takeEvents();

    run(timer->pause(at(9) + c.after, false));
    EXPECT_EQ(takeEvents(), c.events);
    const Notification paused = last(Name::paused);
    ASSERT_TRUE(paused.value<bool>(Name::byAutotrackingKey));
    EXPECT_FALSE(task->hasRunningSession());

    auto stored = provider->getSession(identifier);
    if (c.dropped) {
      EXPECT_EQ(stored, nullptr);
      EXPECT_EQ(timer->state(), State::idleWithTask);
      EXPECT_EQ(timer->currentTask(), task);
      EXPECT_EQ(paused.value<std::shared_ptr<Session>>(Name::sessionKey), nullptr);
      continue;
    }
    ASSERT_TRUE(stored);
    EXPECT_EQ(timer->state(), State::paused);
    EXPECT_EQ(timer->currentSession(), stored);
    ASSERT_TRUE(paused.value<std::shared_ptr<Session>>(Name::sessionKey));
    const Date unroundedEnd = c.after < 0 ? at(9) : at(9) + c.after;
    EXPECT_EQ(stored->end(), at(9) + c.storedDuration);
    EXPECT_EQ(stored->originalEnd(), unroundedEnd);
    EXPECT_DOUBLE_EQ(stored->confirmedDuration(), c.storedDuration);
    EXPECT_FALSE(stored->isRunning());
    if (c.rounded) {
      EXPECT_EQ(stored->roundingTo(), 300);
      EXPECT_EQ(stored->roundingMethod(), Method(c.method).rawValue());
      const Notification round = last(Name::willRoundSession);
      ASSERT_TRUE(round.value<double>(Name::fromKey) && round.value<double>(Name::toKey));
      EXPECT_DOUBLE_EQ(*round.value<double>(Name::fromKey),
                       ChronelleDateUtils::effectiveDuration(at(9), unroundedEnd));
      EXPECT_DOUBLE_EQ(*round.value<double>(Name::toKey), c.storedDuration);
    } else {
      EXPECT_EQ(stored->roundingTo(), 0);
    }
  }
}

// A rounded entry records its step in whole seconds in 16 bits: a step it could not record
// is refused and the preferences stay as they were.
TEST_F(TimerPauseTest, PreferencesRefuseAStepAnEntryCannotRecord) {
  CHTimerPreferences preferences({true, 900, Method::up, 0});
  for (double step : {0.0, 0.5, 32768.0, 36000.0, std::nan("")}) {
    EXPECT_THROW(preferences.setValues({true, step, Method::down, 5}), std::invalid_argument) << "step " << step;
    EXPECT_EQ(preferences.values().roundingMethodOption, Method::up) << "step " << step;
  }
  for (double step : {1.0, 32767.0}) {
    preferences.setValues({true, step, Method::down, 5});
    EXPECT_EQ(preferences.roundingStep(), step);
  }
}

// The transition table has the events of these; here what they carry and write.
TEST_F(TimerPauseTest, PauseWithoutEntryAndPauseOfAPausedEntry) {
  // Nothing to pause: only the flag.
  run(timer->pause(time.now(), true));
  const Notification empty = last(Name::paused);
  EXPECT_EQ(empty.userInfo.size(), 1u);
  ASSERT_TRUE(empty.value<bool>(Name::byAutotrackingKey));
  EXPECT_TRUE(*empty.value<bool>(Name::byAutotrackingKey));

  // A paused entry is ended anew, with the rules applied again; the tick stays stopped.
  auto session = run(timer->start(makeTask("Task"), at(9), false));
  run(timer->pause(at(9, 10), false));
  EXPECT_EQ(time.scheduler().pendingCount(), 0u);
  setPrefs(true, 300, Method::up, 0);
  run(timer->pause(at(9, 12), false));
  EXPECT_EQ(session->end(), at(9, 15));
  EXPECT_EQ(session->originalEnd(), at(9, 12));
}

// The store changes behind its back: the pause's save finds no row to update, a start's insert
// is refused. Each failure is logged with the store's own error.
TEST_F(TimerPauseTest, FailedWritesAreLoggedAndPauseStillPauses) {
  auto task = makeTask("Task");
  auto session = run(timer->start(task, at(9), false));
  const auto alterStore = [&](const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((directory.path() / "store" / "Chronelle.sqlite").c_str(), &db), SQLITE_OK);
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK);
  };
  const auto lastError = [&] {
    const auto records = logs.records(LogLabel::timer);
    const auto& record = records.back();
    const auto error = record.metadata.find("error");
    return record.message + ": " + (error == record.metadata.end() ? "" : error->second.text());
  };
  alterStore("DELETE FROM ZSESSION");
  takeEvents();

  run(timer->pause(at(9, 30), false));
  EXPECT_EQ(takeEvents(), "StateChanged Paused");
  EXPECT_EQ(timer->state(), State::paused);
  EXPECT_EQ(timer->currentSession(), session);
  EXPECT_FALSE(task->hasRunningSession());
  EXPECT_NE(lastError().find("Error on pausing time entry: optimistic locking failure"), std::string::npos);

  alterStore("CREATE TRIGGER refuse BEFORE INSERT ON ZSESSION BEGIN SELECT RAISE(ABORT, 'disk says no'); END");
  EXPECT_EQ(run(timer->start(task, at(10), false)), nullptr);
  EXPECT_NE(lastError().find("Error on start timer: "), std::string::npos) << lastError();
  EXPECT_NE(lastError().find("disk says no"), std::string::npos) << lastError();
}

}  // namespace
}  // namespace chronelle::testing
