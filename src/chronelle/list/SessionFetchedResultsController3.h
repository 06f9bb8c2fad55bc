#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "chronelle/data/SessionQuery3.h"
#include "chronelle/list/SessionFetchedResultsControllerDelegate3.h"
#include "chronelle/list/SessionFragment.h"
#include "chronelle/list/SessionFragmentLocation.h"
#include "chronelle/list/SessionsSectionInfo.h"
#include "chronelle/platform/Calendar.h"
#include "chronelle/platform/Logger.h"
#include "chronelle/store/FetchedResultsController.h"

namespace chronelle {

class CalendarDays;
class MainDataProvider;
class Session;

/// A live list of time entries in one section per calendar day, newest day first. An entry
/// that crosses midnight is listed once per day it touches, as a SessionFragment covering
/// that day's part; inside a day, fragments are ordered by `from`, latest first.
///
/// The list follows the store through a FetchedResultsController over the MainDataProvider's
/// view context: each batch of changes removes the changed entries' fragments and adds them
/// again, then tells the delegate, in one call, which fragments went and which came. A
/// running entry is cut at the moment it is added; its last fragment is not extended later.
///
/// Typical use (the application's day list for a period):
///   SessionFetchedResultsController3 list(SessionQuery3{from, to}, Calendar::current());
///   list.setDelegate(delegate);   // optional
///   list.performFetch();
///   for (const auto& day : list.sections()) ... day.name, *day.objects ...
///
/// Start of day, end of day and the same-day test use the calendar given; section names are
/// the day formatted "yyyy-MM-dd" in the local time zone (as Session::dayString), so the
/// calendar should be in the local zone. The MainDataProvider is resolved from the
/// Injector's container on first use (it must be registered by then). Main thread only.
class SessionFetchedResultsController3 final : public FetchedResultsControllerDelegate {
 public:
  /// Keeps `query` (fixed for the controller's life) and `calendar`; no sections yet.
  ///@{
  SessionFetchedResultsController3(SessionQuery3 query, Calendar calendar);
  ~SessionFetchedResultsController3() override;
  SessionFetchedResultsController3(const SessionFetchedResultsController3&) = delete;
  ///@}
  SessionFetchedResultsController3& operator=(const SessionFetchedResultsController3&) = delete;

  /// Runs the fetch (every entry overlapping the query's period, running ones included,
  /// latest begin first) and adds each entry to the sections. The delegate is not told.
  /// Call once: it does not clear the sections first. A failing fetch is logged ("Error on
  /// fetching sessions") and leaves the sections as they were; never throws.
  void performFetch();

  /// The entries the fetch holds now, in fetch order; empty before the first fetch.
  std::vector<std::shared_ptr<Session>> fetchedSessions() const;
  /// Their number; 0 before the first fetch.
  std::size_t sessionsCount() const;
  /// The day sections, newest first.
  const std::vector<SessionsSectionInfo>& sections() const { return sections_; }
  /// The fragment at `indexPath`; null when the section or item is outside the sections.
  std::shared_ptr<SessionFragment> sessionFragment(IndexPath indexPath) const;
  /// Every fragment of `session` (the same object), in section order and item order.
  std::vector<std::shared_ptr<SessionFragment>> fragments(const Session& session) const;

  /// The query that selects the listed entries, as given.
  const SessionQuery3& query() const { return query_; }
  /// The calendar whose days make the sections, as given.
  const Calendar& calendar() const { return calendar_; }

  /// The receiver of change batches; held weakly, null when none (or gone).
  ///@{
  std::shared_ptr<SessionFetchedResultsControllerDelegate3> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<SessionFetchedResultsControllerDelegate3> delegate) {
    delegate_ = std::move(delegate);
  }
  ///@}

  /// The provider whose view context is fetched; resolved on first use and kept.
  MainDataProvider& dataProvider();
  /// The underlying controller over "Session"; created on first use with this object as
  /// its delegate. Throws only when the store's model has no "Session" entity.
  FetchedResultsController& fetchedResultController();

  /// \name Change callbacks of the underlying controller (main thread)
  ///@{

  /// Starts a batch: forgets the pending entries.
  void controllerWillChangeContent(FetchedResultsController& controller) override;
  /// Collects one changed entry: insert → to add; remove → to remove; move and update →
  /// both. Objects that are not entries are ignored; an unknown change type is logged at
  /// critical level ("Have new types on NSFetchedResultsChangeType") and ignored.
  void controllerDidChange(FetchedResultsController& controller, const std::shared_ptr<ManagedObject>& object,
                           std::optional<IndexPath> indexPath, FetchedResultsChangeType type,
                           std::optional<IndexPath> newIndexPath) override;
  /// Ends a batch: removes the fragments of the entries to remove, adds those of the entries
  /// to add (latest begin first), and tells the delegate, even when both lists are empty.
  void controllerDidChangeContent(FetchedResultsController& controller) override;
  ///@}

 private:
  /// Adds the fragments of one entry day by day; returns their places right after.
  std::vector<SessionFragmentLocation> insertSession(const std::shared_ptr<Session>& session);
  /// The same without collecting the places; false when the entry has no begin. `owner` is
  /// the object `session` is (held by the fragments), `begin` its begin, read by the caller.
  bool addFragments(const std::shared_ptr<ManagedObject>& owner, Session& session, std::optional<Date> begin);
  /// Adds the entries latest begin first; their places joined in that order.
  std::vector<SessionFragmentLocation> insertSessions(const std::vector<std::shared_ptr<Session>>& sessions);
  /// Removes every fragment of the entries (and sections left empty); the places they had,
  /// greatest section and item first.
  std::vector<SessionFragmentLocation> deleteSessions(const std::vector<std::shared_ptr<Session>>& sessions);
  /// Places `fragment` in the section named `name`, creating it when missing.
  void place(const std::string& name, std::shared_ptr<SessionFragment> fragment);
  /// The places of `session`'s fragments: sections in order, stopping at the first section
  /// without one that follows a section with one.
  std::vector<SessionFragmentLocation> locations(const Session& session) const;
  const Logger& log();
  /// The days entries fall on, worked out once each. Forgotten at the start of every fetch
  /// and batch, so a change of the local zone shows in the next one.
  CalendarDays& calendarDays();

  std::shared_ptr<MainDataProvider> dataProvider_;
  std::weak_ptr<SessionFetchedResultsControllerDelegate3> delegate_;
  SessionQuery3 query_;
  std::vector<SessionsSectionInfo> sections_;
  std::optional<Logger> log_;
  Calendar calendar_;
  std::vector<std::shared_ptr<Session>> pendingDeletedSessions_;
  std::vector<std::shared_ptr<Session>> pendingInsertedSessions_;
  std::unique_ptr<FetchedResultsController> fetchedResultController_;
  std::unique_ptr<CalendarDays> days_;
  /// The section the last fragment went to (checked by name before use).
  std::size_t lastSection_ = 0;
  /// While a fetch builds the sections: its fragments, made in one block that lives as long
  /// as any of them. A month is thousands of fragments, and one allocation (and release)
  /// each cost more than making them; entries added by later batches are made one by one.
  std::shared_ptr<std::deque<SessionFragment>> fetchedFragments_;
};

}  // namespace chronelle
