#pragma once

#include <memory>

#include "chronelle/platform/Container.h"

namespace chronelle {

/// The application's dependency container. The application registers its services in
/// `shared()` at start-up; library objects resolve them from `sharedSyncedContainer()` on
/// first use. Static state only; thread-safe.
class Injector {
 public:
  /// The application-wide container, created empty on first access. Never null.
  static std::shared_ptr<Container> shared();
  /// Replaces the application-wide container (null installs a fresh empty one). Does not
  /// reach a `sharedSyncedContainer()` that was already handed out.
  static void setShared(std::shared_ptr<Container> container);

  /// The resolver the library resolves through: the container that was `shared()` when this
  /// was first called, kept for the life of the process. The platform Container is itself
  /// thread-safe, so this "synchronised view" is that same container object rather than a
  /// wrapper; the reference is valid until the process ends.
  static Container& sharedSyncedContainer();
};

}  // namespace chronelle
