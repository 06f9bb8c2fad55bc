// The session list in Europe/Berlin, the manual clock at Tuesday 2026-03-10 12:00 there.

#include <algorithm>

#include "chronelle/data/MainDataProvider.h"
#include "chronelle/list/SessionFetchedResultsController3.h"
#include "chronelle/support/DateHelper.h"
#include "chronelle/support/Injector.h"
#include "teststack/StackFixture.h"
#include "testsupport/RunOnMain.h"

namespace chronelle::testing {
namespace {

using Fragments = std::vector<std::shared_ptr<SessionFragment>>;

// Records every change batch of a session list: (removed, added).
struct RecordingListDelegate final : SessionFetchedResultsControllerDelegate3 {
  using Places = std::vector<SessionFragmentLocation>;
  void controllerDidChangeFragments(SessionFetchedResultsController3&, const Places& d, const Places& i) override {
    batches.push_back({d, i});
  }
  std::vector<std::pair<Places, Places>> batches;
};

class SessionList : public StackFixture {
 protected:
  SessionList() : StackFixture(local(10, 12), "Europe/Berlin") {
    Injector::sharedSyncedContainer().registerInstance<MainDataProvider>(provider);
  }

  // 2026-03-<day> hh:mm in Berlin.
  static Date local(int day, int hour, int minute = 0) { return berlinTime(2026, 3, day, hour, minute); }

  std::unique_ptr<SessionFetchedResultsController3> makeList(SessionQuery3 query = {}) {
    auto list = std::make_unique<SessionFetchedResultsController3>(std::move(query), calendar);
    list->setDelegate(delegate);
    list->performFetch();
    return list;
  }

  // "<day>: [dd HH:mm:ss-dd HH:mm:ss edge] …" per section joined by " | ", local times.
  std::string describe(const std::vector<SessionsSectionInfo>& sections) const {
    std::string text;
    for (const auto& section : sections) {
      text += (text.empty() ? "" : " | ") + section.name + ":";
      for (const auto& f : *section.objects)
        text += " [" + calendar.format(f->from(), "dd HH:mm:ss") + "-" + calendar.format(f->to().value(), "dd HH:mm:ss") +
                " " + toString(f->edge()) + "]";
    }
    return text;
  }

  Calendar calendar{"Europe/Berlin"};
  std::shared_ptr<MainDataProvider> provider = std::make_shared<MainDataProvider>();
  std::shared_ptr<RecordingListDelegate> delegate = std::make_shared<RecordingListDelegate>();
};

TEST_F(SessionList, CutsEntriesAtMidnightIntoDaySections) {
  struct Case {
    const char* name;
    std::vector<std::array<int, 4>> entries;  // begin day, hour, end day, hour (end day 0: running)
    std::array<int, 4> query;                 // from day, hour, to day, hour (day 0: none)
    const char* sections;
  };
  const std::vector<Case> cases = {
      {"22:00 to 02:00 splits in two", {{8, 22, 9, 2}}, {},
       "2026-03-09: [09 00:00:00-09 02:00:00 before] | 2026-03-08: [08 22:00:00-08 23:59:59 after]"},
      {"an end exactly at midnight gives one fragment", {{8, 22, 9, 0}}, {},
       "2026-03-08: [08 22:00:00-08 23:59:59 after]"},
      {"a running entry that began yesterday gives two", {{9, 20, 0, 0}}, {},
       "2026-03-10: [10 00:00:00-10 12:00:00 before] | 2026-03-09: [09 20:00:00-09 23:59:59 after]"},
      {"a zero-length entry gives one fragment", {{8, 10, 8, 10}}, {}, "2026-03-08: [08 10:00:00-08 10:00:00 none]"},
      {"a query starting today drops yesterday's part", {{9, 20, 0, 0}}, {10, 0, 0, 0},
       "2026-03-10: [10 00:00:00-10 12:00:00 before]"},
      {"a query ending at midnight drops the next day", {{8, 22, 9, 2}}, {8, 0, 9, 0},
       "2026-03-08: [08 22:00:00-08 23:59:59 after]"},
      {"three days: the middle one is covered on both sides", {{6, 23, 8, 1}}, {},
       "2026-03-08: [08 00:00:00-08 01:00:00 before] | 2026-03-07: [07 00:00:00-07 23:59:59 beforeAndAfter] | "
       "2026-03-06: [06 23:00:00-06 23:59:59 after]"},
      {"the short night of the clock change splits at local midnight", {{28, 22, 29, 5}}, {},
       "2026-03-29: [29 00:00:00-29 05:00:00 before] | 2026-03-28: [28 22:00:00-28 23:59:59 after]"},
      {"days newest first, fragments latest first", {{8, 9, 8, 10}, {9, 7, 9, 8}, {8, 14, 8, 15}, {8, 23, 9, 1}}, {},
       "2026-03-09: [09 07:00:00-09 08:00:00 none] [09 00:00:00-09 01:00:00 before] | "
       "2026-03-08: [08 23:00:00-08 23:59:59 after] [08 14:00:00-08 15:00:00 none] [08 09:00:00-08 10:00:00 none]"},
      {"entries beginning together, the running one too, stay in the order they were added",
       {{8, 9, 8, 11}, {8, 9, 8, 10}, {8, 9, 0, 0}}, {8, 0, 11, 0},
       "2026-03-10: [10 00:00:00-10 12:00:00 before] | 2026-03-09: [09 00:00:00-09 23:59:59 beforeAndAfter] | "
       "2026-03-08: [08 09:00:00-08 11:00:00 none] [08 09:00:00-08 10:00:00 none] [08 09:00:00-08 23:59:59 after]"},
      {"entries outside the query's period are not listed", {{5, 9, 5, 10}, {8, 9, 8, 10}}, {7, 0, 9, 0},
       "2026-03-08: [08 09:00:00-08 10:00:00 none]"},
  };
  // Again for a period, when the context holds many other entries (as a list opened again
  // does): then it reads the listed entries it does not hold by key, version and begin first.
  for (std::size_t run = 0; run < 2 * cases.size(); ++run) {
    const Case& c = cases[run % cases.size()];
    const bool holdingMany = run >= cases.size();
    if (holdingMany && !c.query[0] && !c.query[2]) continue;
    SCOPED_TRACE(std::string(c.name) + (holdingMany ? ", holding many" : ""));
    for (const auto& session : context().fetch(Session::fetchRequest())) context().deleteObject(session);
    auto task = makeTask("Work");
    for (const auto& [day, hour, endDay, endHour] : c.entries)
      makeSession(task, local(day, hour), endDay ? std::optional(local(endDay, endHour)) : std::nullopt);
    for (int i = 0; holdingMany && i < 40; ++i) makeSession(task, local(1, 0, i), local(1, 0, i));
    save();
    ObjectSet held;
    if (holdingMany) {
      context().reset();
      auto early = Session::fetchRequest();
      early.predicate = Predicate::parse("begin < %@", {Value(local(2, 0))});
      held = context().fetch(early);
    }
    SessionQuery3 query;
    if (c.query[0]) query.from = local(c.query[0], c.query[1]);
    if (c.query[2]) query.to = local(c.query[2], c.query[3]);
    auto list = makeList(query);
    EXPECT_EQ(describe(list->sections()), c.sections);
    EXPECT_TRUE(delegate->batches.empty()) << "the initial fetch does not tell the delegate";
  }
  // A section is named by its day's start in the process's zone, also when that zone changed
  // since the days were worked out: Berlin's 9 March begins on the 8th in New York.
  makeSession(makeTask("Late"), local(9, 9), local(9, 10));
  save();
  SessionQuery3 eighth, ninth;
  eighth.from = local(8, 0), eighth.to = local(8, 23);
  ninth.from = local(9, 0), ninth.to = local(9, 23);
  makeList(eighth);  // works out the 8th and, last, the 9th
  const ScopedTimeZone newYork("America/New_York");
  EXPECT_EQ(describe(makeList(ninth)->sections()), "2026-03-08: [09 09:00:00-09 10:00:00 none]");
}

TEST_F(SessionList, FragmentValuesLookupsAndChangeCallbacks) {
  auto task = makeTask("Work");
  const auto entry = [&](Date begin, Date end, bool billable, double rate) {
    auto session = makeSession(task, begin, end);
    session->setIsBillable(billable);
    session->setHourlyRate(rate);
    return session;
  };
  auto split = entry(local(8, 22), local(9, 2), true, 60);
  auto billable = entry(local(9, 9), local(9, 10, 1), true, 50);
  auto unpaid = entry(local(9, 11), local(9, 12), false, 50);
  save();
  auto list = makeList();

  // Each fragment earns for its own part only: 22:00 to the end of the day and 00:00 to 02:00.
  const auto parts = list->fragments(*split);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(std::tuple(parts[0]->revenue(), parts[1]->revenue(), parts[1]->duration()), std::tuple(120.0, 120.0, 7200.0));
  EXPECT_EQ(std::tuple(list->fragments(*billable).at(0)->revenue(), list->fragments(*billable).at(0)->duration(),
                       list->fragments(*unpaid)[0]->revenue()),
            std::tuple(50.83, 3660.0, 0.0));

  // Lookups by index path: inside, and every way of being outside.
  EXPECT_EQ((Fragments{list->sessionFragment({0, 0}), list->sessionFragment({0, 2}), list->sessionFragment({1, 0}),
                       list->sessionFragment({0, 3}), list->sessionFragment({2, 0})}),
            (Fragments{list->fragments(*unpaid)[0], parts[0], parts[1], nullptr, nullptr}));

  // An interval is never negative; an open fragment runs to now.
  const SessionFragment backwards(split, local(9, 5), local(9, 4), SessionEdge::none);
  EXPECT_EQ(backwards.interval().start(), local(9, 5));
  EXPECT_EQ(backwards.duration(), 0.0);
  EXPECT_EQ(SessionFragment(split, local(10, 11), std::nullopt, SessionEdge::none).duration(), 3600.0);

  auto& frc = list->fetchedResultController();
  // A batch with nothing to apply still ends with one call with two empty lists; an unknown
  // change type is logged and ignored.
  list->controllerWillChangeContent(frc);
  list->controllerDidChange(frc, task, std::nullopt, FetchedResultsChangeType::insert, IndexPath{0, 0});
  list->controllerDidChange(frc, unpaid, IndexPath{0, 0}, static_cast<FetchedResultsChangeType>(9), std::nullopt);
  list->controllerDidChangeContent(frc);
  ASSERT_EQ(delegate->batches.size(), 1u);
  EXPECT_TRUE(delegate->batches[0].first.empty() && delegate->batches[0].second.empty());
  const auto records = logs.records("SessionFetchedResultsController");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].level, LogLevel::critical);
  EXPECT_EQ(records[0].message, "Have new types on NSFetchedResultsChangeType");
}

// Entries arriving in batches land as if appended and the list stable-sorted again (newest
// day first, latest start first, equal starts in arrival order), without sorting.
TEST_F(SessionList, BatchesLandWhereAStableSortAfterAppendingPutsThem) {
  auto task = makeTask("Work");
  auto list = makeList();
  auto& frc = list->fetchedResultController();
  std::vector<const Session*> arrived;
  // A pseudo-random walk over five days and two hours: days come between others, starts tie.
  std::uint32_t seed = 7;
  const auto next = [&](std::uint32_t bound) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % bound);
  };
  for (int batch = 0; batch < 6; ++batch) {
    list->controllerWillChangeContent(frc);
    for (int i = 0; i < 7; ++i) {
      const Date begin = local(9 + next(5), 9 + next(2), 30 * next(2));
      auto session = makeSession(task, begin, begin + 600.0);
      arrived.push_back(session.get());
      list->controllerDidChange(frc, session, std::nullopt, FetchedResultsChangeType::insert, std::nullopt);
    }
    list->controllerDidChangeContent(frc);
    std::vector<const Session*> expected = arrived, actual;
    std::stable_sort(expected.begin(), expected.end(), [](auto a, auto b) { return *a->begin() > *b->begin(); });
    for (const auto& section : list->sections()) {
      for (const auto& fragment : *section.objects) {
        actual.push_back(fragment->session().get());
        EXPECT_EQ(section.name, calendar.format(fragment->from(), "yyyy-MM-dd"));
      }
    }
    ASSERT_EQ(actual, expected) << "after batch " << batch;
  }
}

// Kept in step with writes of the MainDataProvider: after every write, the delegate's removed
// and added places, replayed on the previous sections, give exactly the list's new sections.
TEST_F(SessionList, FollowsWritesOfTheProvider) {
  auto design = makeTask("Design");
  auto build = makeTask("Build");
  makeSession(design, local(7, 9), local(7, 11));
  save();
  SessionQuery3 query;
  query.from = local(6, 0);
  auto list = makeList(query);
  auto previous = list->sections();
  ASSERT_EQ(describe(previous), "2026-03-07: [07 09:00:00-07 11:00:00 none]");
  // Also: `entry` is listed in `fragments` fragments.
  const auto expectReplayMatches = [&](const char* step, const std::shared_ptr<Session>& entry,
                                       std::size_t fragments) {
    SCOPED_TRACE(step);
    EXPECT_EQ(list->fragments(*entry).size(), fragments);
    EXPECT_FALSE(delegate->batches.empty());
    auto sections = previous;
    const auto at = [](auto& vector, std::size_t i) { return vector.begin() + static_cast<std::ptrdiff_t>(i); };
    for (const auto& batch : delegate->batches) {
      for (const auto& [place, fragment] : batch.first) {
        auto& objects = *sections.at(place.section).objects;
        EXPECT_EQ(objects.at(place.item), fragment) << "removed place " << place.description();
        objects.erase(at(objects, place.item));
        if (objects.empty()) sections.erase(at(sections, place.section));
      }
      for (const auto& [place, fragment] : batch.second) {
        const std::string day = DateHelper::toString(DateFormatType::isoDate, fragment->from());
        ASSERT_LE(place.section, sections.size());
        if (place.section == sections.size() || sections[place.section].name != day)
          sections.insert(at(sections, place.section), SessionsSectionInfo(day, std::nullopt, Fragments{}));
        auto& objects = *sections[place.section].objects;
        ASSERT_LE(place.item, objects.size()) << "a new day starts with its first fragment";
        objects.insert(at(objects, place.item), fragment);
      }
    }
    ASSERT_EQ(describe(sections), describe(list->sections()));
    for (std::size_t s = 0; s < sections.size(); ++s)
      EXPECT_EQ(*sections[s].objects, *list->sections()[s].objects) << "fragments of section " << s;
    delegate->batches.clear();
    previous = list->sections();
  };

  using Key = TimeEntryChangeKey;
  const auto create = [&](Date begin, std::optional<Date> end, const std::shared_ptr<Task>& task) {
    return runToEnd(provider->createTimeEntry(begin, end, task->objectID(), false, std::nullopt));
  };
  auto morning = create(local(9, 8), local(9, 9, 30), design);
  expectReplayMatches("created on a new day", morning, 1);
  auto late = create(local(9, 18), local(9, 19), build);
  expectReplayMatches("created on the same day", late, 1);
  auto running = create(local(9, 23), std::nullopt, build);
  expectReplayMatches("running since last night", running, 2);
  const TimeEntryChanges acrossMidnight{{Key::begin, local(8, 22)}, {Key::end, local(9, 3)}};
  runToEnd(provider->updateTimeEntry(morning->objectID(), acrossMidnight));
  expectReplayMatches("re-timed across midnight", morning, 2);
  runToEnd(provider->updateTimeEntry(morning->objectID(), {{Key::taskId, build->objectID()}}));
  expectReplayMatches("moved to another task", morning, 2);
  EXPECT_EQ(list->fragments(*morning).at(0)->session()->task(), build);
  runToEnd(provider->mergeSessions({*morning->identifier(), *late->identifier()}, *design->identifier(),
                                   MainDataProvider::SessionMergeType::byFillingTimeBetweenSessions));
  expectReplayMatches("two entries merged into one", late, 0);
  EXPECT_TRUE(list->fragments(*morning).empty());
  runToEnd(provider->deleteTimeEntries({running}));
  expectReplayMatches("deleted", running, 0);

  // What the list shows is what a new list over the same query shows.
  EXPECT_EQ(describe(makeList(query)->sections()), describe(list->sections()));
}

}  // namespace
}  // namespace chronelle::testing
