#pragma once

#include <memory>
#include <optional>
#include <string>

#include "chronelle/list/SessionEdge.h"
#include "chronelle/platform/Date.h"
#include "chronelle/platform/DateInterval.h"

namespace chronelle {

class Session;

/// The part of one time entry that falls on one calendar day, as the day-sectioned session
/// list shows it. Shared (shared_ptr) between the list's sections and the application;
/// `from`, `to` and `edge` are fixed at construction. Main thread only, as its entry.
class SessionFragment {
 public:
  /// `session` may be null only for fragments the application builds itself.
  SessionFragment(std::shared_ptr<Session> session, Date from, std::optional<Date> to, SessionEdge edge);

  /// The entry this fragment belongs to.
  ///@{
  const std::shared_ptr<Session>& session() const { return session_; }
  void setSession(std::shared_ptr<Session> session) { session_ = std::move(session); }
  ///@}
  /// Where the fragment starts.
  Date from() const { return from_; }
  /// Where it ends; absent means "still running" (the list always sets it).
  std::optional<Date> to() const { return to_; }
  /// Whether the entry goes on beyond this fragment's day: before it, after it, both or neither.
  SessionEdge edge() const { return edge_; }

  /// From `from` to the later of `from` and `to` (now, from Clock::now(), when `to` is
  /// absent): never negative.
  DateInterval interval() const;
  /// The length of `interval()` in whole seconds, measured as every duration of the library is.
  double duration() const;
  /// 0 when the entry is not billable (or absent); otherwise the entry's effective duration
  /// between `from` and `to` times its hourly rate, rounded to cents with halves away from
  /// zero.
  double revenue() const;
  /// "<SessionFragment <entry> from … to … edge>", for logs and test output.
  std::string description() const;

 private:
  std::shared_ptr<Session> session_;
  Date from_;
  std::optional<Date> to_;
  SessionEdge edge_;
};

}  // namespace chronelle
