#include "chronelle/model/CurrentTimeEntrySource.h"

#include <atomic>

#include "chronelle/support/Injector.h"

namespace chronelle {
namespace {

std::atomic<CurrentTimeEntrySource::Lookup>& installedLookup() {
  static std::atomic<CurrentTimeEntrySource::Lookup> lookup{nullptr};
  return lookup;
}

}  // namespace

void CurrentTimeEntrySource::setServiceLookup(Lookup lookup) { installedLookup().store(lookup); }

std::shared_ptr<CurrentTimeEntrySource> CurrentTimeEntrySource::resolveRegistered() {
  Container& container = Injector::sharedSyncedContainer();
  if (container.isRegistered<CurrentTimeEntrySource>()) return container.tryResolve<CurrentTimeEntrySource>();
  if (Lookup lookup = installedLookup().load()) return lookup();
  // Nothing can provide the running entry: fail here rather than show totals without it.
  return container.resolve<CurrentTimeEntrySource>();
}

}  // namespace chronelle
