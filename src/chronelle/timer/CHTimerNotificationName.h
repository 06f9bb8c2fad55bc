#pragma once

namespace chronelle {

/// The names of the timer's notifications and the keys of their user info. Every one is
/// posted on NotificationCenter::defaultCenter() with no object, on the main thread.
/// Reachable as `CHTimer::NotificationName`.
struct CHTimerNotificationName {
  CHTimerNotificationName() = delete;

  /// Before every assignment of `currentSession`. No user info.
  static constexpr const char* willSetCurrentSession = "WillSetCurrentSession";
  /// After every assignment of `currentSession` (also of the same entry). No user info.
  static constexpr const char* didSetCurrentSession = "DidSetCurrentSession";
  /// The current entry's effective duration changed (every second while it runs). No user
  /// info.
  static constexpr const char* durationChanged = "DurationChanged";
  /// `state` was assigned. No user info.
  static constexpr const char* stateChanged = "StateChanged";
  /// `start` created an entry. User info: byAutotracking (bool), session
  /// (std::shared_ptr<Session>).
  static constexpr const char* started = "Started";
  /// `pause` finished, whether or not there was an entry to pause. User info: byAutotracking
  /// (bool), and session (std::shared_ptr<Session>) only when there is a current entry
  /// afterwards.
  static constexpr const char* paused = "Paused";
  /// The timer was cleared. No user info.
  static constexpr const char* cleared = "Cleared";
  /// A paused entry is about to be deleted for being too short. User info: session.
  static constexpr const char* willDropSession = "WillDropSession";
  /// A paused entry is about to be rounded. User info: session; from and to, the unrounded
  /// and the rounded duration in seconds (double).
  static constexpr const char* willRoundSession = "WillRoundSession";

  /// User-info keys.
  ///@{
  static constexpr const char* byAutotrackingKey = "byAutotracking";
  static constexpr const char* sessionKey = "session";
  static constexpr const char* fromKey = "from";
  static constexpr const char* toKey = "to";
  ///@}
};

}  // namespace chronelle
