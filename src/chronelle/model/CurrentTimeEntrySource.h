#pragma once

#include <memory>

namespace chronelle {

class Session;

/// What a node needs to know of the running timer: the time entry it is running now. The
/// model declares it so that it does not depend on the timer; the timer implements it and the
/// application registers that implementation in the shared container under this type
/// (`Injector::shared()->registerInstance<CurrentTimeEntrySource>(timer)`). Until something is
/// registered, nodes show their confirmed durations only.
///
/// Called on the main thread, from the nodes' derived values.
class CurrentTimeEntrySource {
 public:
  virtual ~CurrentTimeEntrySource() = default;

  /// The running time entry (in the view context), or null when the timer runs nothing.
  virtual std::shared_ptr<Session> currentTimeEntry() const = 0;
};

}  // namespace chronelle
