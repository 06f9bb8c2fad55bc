// Building the day sections: adding one entry day by day, removing entries, and finding
// an entry's fragments.

#include <algorithm>

#include "chronelle/list/SessionFetchedResultsController3.h"
#include "chronelle/list/CalendarDays.h"
#include "chronelle/model/Session.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/support/DateExtensions.h"

namespace chronelle {

std::vector<SessionFragmentLocation> SessionFetchedResultsController3::insertSession(
    const std::shared_ptr<Session>& session) {
  if (!addFragments(session, *session, session->begin())) return {};
  return locations(*session);
}

bool SessionFetchedResultsController3::addFragments(const std::shared_ptr<ManagedObject>& owner, Session& session,
                                                    std::optional<Date> begin) {
  if (!begin) return false;  // an entry that was never given a begin has no day
  const Date b = *begin;
  // A running entry is cut here, at the moment it is added.
  const std::optional<Date> end = session.end();
  const Date e = end ? *end : Clock::now();
  CalendarDays& days = calendarDays();

  // The entry's begin and end each fall on one day; a day holds them when its bounds do.
  const Date endDayStart = days.dayOf(e).start;
  const Date firstDayStart = days.dayOf(b).start;
  Date rangeStart = firstDayStart;
  if (query_.from && *query_.from > rangeStart) rangeStart = *query_.from;
  Date rangeEnd = e;
  if (query_.to && *query_.to < rangeEnd) rangeEnd = *query_.to;
  const DateInterval range(rangeStart, std::max(rangeStart, rangeEnd));

  // Fragments share the entry's object (and so keep it alive) without a cast per fragment.
  std::shared_ptr<Session> listed(owner, &session);
  const CalendarDays::Day* day = &days.dayOf(rangeStart);
  for (;;) {
    const bool beginsToday = day->start == firstDayStart;
    const bool endsToday = day->start == endDayStart;
    const SessionEdge edge = beginsToday ? (endsToday ? SessionEdge::none : SessionEdge::after)
                                         : (endsToday ? SessionEdge::before : SessionEdge::beforeAndAfter);
    const Date from = beginsToday ? b : day->start;
    const Date to = endsToday ? e : day->end;
    // The next day begins one second after this day's last second.
    const CalendarDays::Day* next = &days.dayOf(day->end + 1.0);
    const bool last = !(next->start < range.end());
    // The fragment's interval runs from `from` to the later of `from` and `to`.
    if (intersectsStrict(DateInterval(from, std::max(from, to)), range)) {
      std::shared_ptr<Session> owner = last ? std::move(listed) : listed;
      if (fetchedFragments_) {
        auto& made = fetchedFragments_->emplace_back(std::move(owner), from, to, edge);
        place(day->name, std::shared_ptr<SessionFragment>(fetchedFragments_, &made));
      } else {
        place(day->name, std::make_shared<SessionFragment>(std::move(owner), from, to, edge));
      }
    }
    if (last) return true;
    day = next;
  }
}

CalendarDays& SessionFetchedResultsController3::calendarDays() {
  if (!days_) days_ = std::make_unique<CalendarDays>(calendar_);
  return *days_;
}

void SessionFetchedResultsController3::place(const std::string& name, std::shared_ptr<SessionFragment> fragment) {
  // Both lists are kept sorted, so the new fragment (or section) goes where a stable sort
  // after appending it would put it: after every element that sorts before it or equal to
  // it. A month's list is thousands of fragments; sorting it again on every insert is not.
  // Entries come latest first, so the section of the last fragment placed, and the end of
  // it, are where the next one mostly goes.
  auto section = lastSection_ < sections_.size() && sections_[lastSection_].name == name
                     ? sections_.begin() + static_cast<std::ptrdiff_t>(lastSection_)
                     : std::partition_point(sections_.begin(), sections_.end(),
                                            [&](const SessionsSectionInfo& s) { return s.name > name; });
  lastSection_ = static_cast<std::size_t>(section - sections_.begin());
  if (section != sections_.end() && section->name == name) {
    auto& objects = section->objects;
    if (!objects) objects.emplace();
    const Date from = fragment->from();
    if (objects->empty() || objects->back()->from() >= from) {
      objects->push_back(std::move(fragment));
      return;
    }
    auto at = std::partition_point(objects->begin(), objects->end(), [&](const auto& f) { return f->from() >= from; });
    objects->insert(at, std::move(fragment));
    return;
  }
  sections_.emplace(section, name, std::nullopt, std::vector<std::shared_ptr<SessionFragment>>{std::move(fragment)});
}

std::vector<SessionFragmentLocation> SessionFetchedResultsController3::insertSessions(
    const std::vector<std::shared_ptr<Session>>& sessions) {
  std::vector<std::shared_ptr<Session>> ordered = sessions;
  std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
    return a->begin().value_or(Date::distantPast()) > b->begin().value_or(Date::distantPast());
  });
  std::vector<SessionFragmentLocation> result;
  for (const auto& session : ordered) {
    auto added = insertSession(session);
    result.insert(result.end(), added.begin(), added.end());
  }
  return result;
}

std::vector<SessionFragmentLocation> SessionFetchedResultsController3::deleteSessions(
    const std::vector<std::shared_ptr<Session>>& sessions) {
  std::vector<SessionFragmentLocation> found;
  for (const auto& session : sessions) {
    for (std::size_t s = 0; s < sections_.size(); ++s) {
      const auto& objects = sections_[s].objects;
      if (!objects) continue;
      for (std::size_t i = 0; i < objects->size(); ++i) {
        if ((*objects)[i]->session() == session) found.push_back({IndexPath{s, i}, (*objects)[i]});
      }
    }
  }
  std::sort(found.begin(), found.end(), [](const SessionFragmentLocation& a, const SessionFragmentLocation& b) {
    return a.indexPath > b.indexPath;
  });
  for (const auto& location : found) {
    const auto [s, i] = location.indexPath;
    if (s >= sections_.size()) continue;
    auto& objects = sections_[s].objects;
    if (!objects || i >= objects->size()) continue;
    objects->erase(objects->begin() + static_cast<std::ptrdiff_t>(i));
    if (objects->empty()) sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(s));
  }
  return found;
}

std::vector<SessionFragmentLocation> SessionFetchedResultsController3::locations(const Session& session) const {
  std::vector<SessionFragmentLocation> result;
  bool seen = false;
  for (std::size_t s = 0; s < sections_.size(); ++s) {
    bool here = false;
    if (const auto& objects = sections_[s].objects) {
      for (std::size_t i = 0; i < objects->size(); ++i) {
        if ((*objects)[i]->session().get() != &session) continue;
        result.push_back({IndexPath{s, i}, (*objects)[i]});
        here = true;
      }
    }
    if (seen && !here) break;
    seen = seen || here;
  }
  return result;
}

}  // namespace chronelle
