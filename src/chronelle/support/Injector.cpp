#include "chronelle/support/Injector.h"

#include <mutex>

namespace chronelle {

namespace {

struct InjectorState {
  // Guards both slots.
  std::mutex mutex;
  std::shared_ptr<Container> shared;
  // Set once, on the first request, and never replaced or released.
  std::shared_ptr<Container> synchronized;
};

InjectorState& state() {
  static auto* s = new InjectorState;  // leaked: services may be resolved during shutdown
  return *s;
}

std::shared_ptr<Container> sharedLocked(InjectorState& s) {
  if (!s.shared) s.shared = std::make_shared<Container>();
  return s.shared;
}

}  // namespace

std::shared_ptr<Container> Injector::shared() {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  return sharedLocked(s);
}

void Injector::setShared(std::shared_ptr<Container> container) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  s.shared = container ? std::move(container) : std::make_shared<Container>();
}

Container& Injector::sharedSyncedContainer() {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  if (!s.synchronized) s.synchronized = sharedLocked(s);
  return *s.synchronized;
}

}  // namespace chronelle
