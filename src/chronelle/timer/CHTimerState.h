#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace chronelle {

/// What the timer is doing, with the raw values the application may store or compare. Used
/// like an enumeration (`CHTimerState::paused`, or `CHTimer::State::paused`); a value type.
class CHTimerState {
 public:
  /// The cases, with their stored raw values.
  enum Case : std::int8_t {
    /// No current task and no current entry.
    idle = 0,
    /// A current task, no current entry.
    idleWithTask = 1,
    /// A current entry that has an end.
    paused = 2,
    /// A current entry without an end, started by the user.
    runningManually = 3,
    /// A current entry without an end, started by automatic tracking.
    runningAutotracked = 4,
  };

  /// The value of `value`; implicit, so a case converts like a plain enumerator.
  constexpr CHTimerState(Case value) : case_(value) {}  // NOLINT: implicit like an enum
  /// The case, for `switch` and comparisons.
  constexpr operator Case() const { return case_; }

  /// The state of `raw`, or nothing outside 0…4.
  static constexpr std::optional<CHTimerState> fromRaw(int raw) {
    if (raw < 0 || raw > 4) return std::nullopt;
    return CHTimerState(static_cast<Case>(raw));
  }

  /// The stored raw value.
  constexpr int rawValue() const { return case_; }
  /// True for both running states.
  constexpr bool isRunning() const {
    return case_ == runningManually || case_ == runningAutotracked;
  }
  /// The case name, e.g. "idleWithTask"; for logs and tests.
  std::string description() const;

 private:
  Case case_;
};

}  // namespace chronelle

template <>
struct std::hash<chronelle::CHTimerState> {
  std::size_t operator()(chronelle::CHTimerState s) const noexcept {
    return std::hash<int>()(s.rawValue());
  }
};
