#pragma once

#include <stdexcept>
#include <string>

namespace chronelle {

/// A fatal failure while setting up the store (missing or unloadable model, no coordinator,
/// a file where the store directory should be, a directory that cannot be created or read,
/// a store that cannot be opened or migrated). `what()` is the fatal message, e.g.
/// "[CoreDataManager] unable to find data model". The library cannot go on without an open
/// store, so the application is expected to report it and stop.
class CoreDataStackSetupError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace chronelle
