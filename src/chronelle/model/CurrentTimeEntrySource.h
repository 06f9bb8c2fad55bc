#pragma once

#include <memory>

namespace chronelle {

class Session;

// What a node needs to know of the running timer: the time entry it is running now. The
// model declares it so that it does not depend on the timer; the timer implements it.
//
// Finding it: the application registers the timer in the shared container under the timer's
// own type, which the model cannot name. So the implementing layer tells the model which
// service to resolve (`setServiceLookup`; the timer does it when one is created). An
// application may instead register a source under this type itself, which then wins (a null
// registration means "no timer": nodes show their confirmed durations only).
//
// Called on the main thread, from the nodes' derived values.
class CurrentTimeEntrySource {
 public:
  // Resolves the registered source from the shared container; may abort like
  // Container::resolve when the service it names was not registered.
  using Lookup = std::shared_ptr<CurrentTimeEntrySource> (*)();

  virtual ~CurrentTimeEntrySource() = default;

  // The running time entry (in the view context), or null when the timer runs nothing.
  virtual std::shared_ptr<Session> currentTimeEntry() const = 0;

  // Installs the lookup of the service that implements this interface. Thread-safe; the
  // last one installed is used.
  static void setServiceLookup(Lookup lookup);

  // The source the application registered: one registered under this type (possibly null on
  // purpose), else the installed lookup's service. A missing registration is a programming
  // error, never a silent zero: the process aborts naming the missing service, as the
  // container does. Thread-safe; the caller reads the source on the main thread.
  static std::shared_ptr<CurrentTimeEntrySource> resolveRegistered();
};

}  // namespace chronelle
