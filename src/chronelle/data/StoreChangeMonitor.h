#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

namespace chronelle {

class Connection;
class CoreDataStack;

// Tells a long-running reader (a live view) when the store file was changed by a commit of
// any other connection — another process, or another connection of this one — so it can read
// again. It keeps one connection of its own on the stack's store file and compares SQLite's
// data version of that connection between calls; it never holds a transaction open, so
// writers and checkpoints are not held up. Not thread-safe: use it from one thread.
class StoreChangeMonitor {
 public:
  // Opens the connection on the store file of `stack` (which must have its store) and takes
  // the current version as seen. Throws StoreError when the file cannot be opened.
  explicit StoreChangeMonitor(const CoreDataStack& stack);
  ~StoreChangeMonitor();
  StoreChangeMonitor(const StoreChangeMonitor&) = delete;
  StoreChangeMonitor& operator=(const StoreChangeMonitor&) = delete;

  // True when some other connection committed since the previous call (or since
  // construction). A failing query (the file is gone, the disk is busy past the timeout)
  // counts as a change, so the caller rereads and sees the error itself.
  bool hasChanged();

 private:
  std::unique_ptr<Connection> connection_;
  std::int64_t lastVersion_ = -1;
};

}  // namespace chronelle
