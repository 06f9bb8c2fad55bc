// The session list kept in step with writes of the MainDataProvider: after every write, the
// delegate's removed and added places, replayed on the previous sections, must give exactly
// the list's new sections.

#include "ListFixture.h"
#include "chronelle/support/DateHelper.h"
#include "testsupport/RunOnMain.h"

namespace chronelle::testing {
namespace {

class SessionListLive : public ListFixture {
 protected:
  // Replays the batches recorded since the last check on `previous` and compares with the
  // list; then starts a new record. Returns the number of batches replayed.
  std::size_t expectReplayMatches(const char* step) {
    SCOPED_TRACE(step);
    std::vector<SessionsSectionInfo> sections = previous;
    for (const auto& batch : delegate->batches) {
      for (const auto& location : batch.deleted) {
        const auto [s, i] = location.indexPath;
        EXPECT_LT(s, sections.size());
        if (s >= sections.size()) continue;
        auto& objects = *sections[s].objects;
        EXPECT_LT(i, objects.size());
        if (i >= objects.size()) continue;
        EXPECT_EQ(objects[i], location.object) << "removed place " << location.indexPath.description();
        objects.erase(objects.begin() + static_cast<std::ptrdiff_t>(i));
        if (objects.empty()) sections.erase(sections.begin() + static_cast<std::ptrdiff_t>(s));
      }
      for (const auto& location : batch.inserted) {
        const auto [s, i] = location.indexPath;
        const std::string day = DateHelper::toString(DateFormatType::isoDate, location.object->from());
        if (s < sections.size() && sections[s].name == day) {
          auto& objects = *sections[s].objects;
          EXPECT_LE(i, objects.size());
          objects.insert(objects.begin() + static_cast<std::ptrdiff_t>(std::min(i, objects.size())), location.object);
        } else {
          EXPECT_EQ(i, 0u) << "a new day starts with its first fragment";
          EXPECT_LE(s, sections.size());
          sections.insert(sections.begin() + static_cast<std::ptrdiff_t>(std::min(s, sections.size())),
                          SessionsSectionInfo(day, std::nullopt, std::vector{location.object}));
        }
      }
    }
    EXPECT_EQ(describe(sections), describe(list->sections()));
    EXPECT_EQ(sections.size(), list->sections().size());
    for (std::size_t s = 0; s < std::min(sections.size(), list->sections().size()); ++s) {
      EXPECT_EQ(*sections[s].objects, *list->sections()[s].objects) << "fragments of section " << s;
    }
    const std::size_t batches = delegate->batches.size();
    delegate->batches.clear();
    previous = list->sections();
    return batches;
  }

  std::unique_ptr<SessionFetchedResultsController3> list;
  std::vector<SessionsSectionInfo> previous;
};

TEST_F(SessionListLive, FollowsWritesOfTheProvider) {
  auto design = makeTask("Design");
  auto build = makeTask("Build");
  makeSession(design, local(7, 9), local(7, 11));
  context().save();
  SessionQuery3 query;
  query.from = local(6, 0);
  list = makeList(query);
  previous = list->sections();
  ASSERT_EQ(describe(previous), "2026-03-07: [07 09:00:00-07 11:00:00 none]");

  auto morning = runToEnd(provider->createTimeEntry(local(9, 8), local(9, 9, 30), design->objectID(), false, "plan"));
  EXPECT_GE(expectReplayMatches("created on a new day"), 1u);
  auto late = runToEnd(provider->createTimeEntry(local(9, 18), local(9, 19), build->objectID(), false, std::nullopt));
  EXPECT_GE(expectReplayMatches("created on the same day"), 1u);
  auto running = runToEnd(provider->createTimeEntry(local(9, 23), std::nullopt, build->objectID(), false, std::nullopt));
  EXPECT_GE(expectReplayMatches("running since last night"), 1u);
  EXPECT_EQ(list->fragments(*running).size(), 2u);

  runToEnd(provider->updateTimeEntry(morning->objectID(), {{TimeEntryChangeKey::begin, local(8, 22)},
                                                         {TimeEntryChangeKey::end, local(9, 3)}}));
  EXPECT_GE(expectReplayMatches("re-timed across midnight"), 1u);
  EXPECT_EQ(list->fragments(*morning).size(), 2u);

  runToEnd(provider->updateTimeEntry(morning->objectID(), {{TimeEntryChangeKey::taskId, build->objectID()}}));
  EXPECT_GE(expectReplayMatches("moved to another task"), 1u);
  EXPECT_EQ(list->fragments(*morning).at(0)->session()->task(), build);

  runToEnd(provider->mergeSessions({*morning->identifier(), *late->identifier()}, *design->identifier(),
                                MainDataProvider::SessionMergeType::byFillingTimeBetweenSessions));
  EXPECT_GE(expectReplayMatches("two entries merged into one"), 1u);
  EXPECT_TRUE(list->fragments(*morning).empty());
  EXPECT_TRUE(list->fragments(*late).empty());

  runToEnd(provider->deleteTimeEntries({running}));
  EXPECT_GE(expectReplayMatches("deleted"), 1u);
  EXPECT_TRUE(list->fragments(*running).empty());

  // What the list shows is what a new list over the same query shows.
  SessionFetchedResultsController3 fresh(query, calendar);
  fresh.performFetch();
  EXPECT_EQ(describe(fresh.sections()), describe(list->sections()));
  EXPECT_EQ(fresh.sessionsCount(), list->sessionsCount());
}

}  // namespace
}  // namespace chronelle::testing
