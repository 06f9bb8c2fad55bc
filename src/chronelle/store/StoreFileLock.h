#pragma once
// Store-internal: the lock file beside a store that tells whether the previous user of the
// store ended without closing it.

#include <filesystem>
#include <memory>

namespace chronelle {

/// An advisory lock on `<store>-lock` held for as long as a coordinator has the store open,
/// and a marker kept in that file: "open" while in use, "closed" after the last user closed
/// it. The kernel drops the lock of a process that dies, but not the marker, so:
///
/// - on opening, the opener that gets the lock exclusively is the only user. If the marker
///   still says "open", the last user crashed or was killed. It then writes "open" (synced)
///   and keeps a shared lock, so later openers see they are not alone;
/// - on closing, the closer that can take the lock exclusively is the last user and writes
///   "closed". Openers and closers that share the store with others leave the marker alone.
///
/// The locks are open-file-description locks: they convert between shared and exclusive
/// atomically (no window in which a second process could mistake a live user for a crashed
/// one), and two coordinators in one process conflict like two processes do.
/// A store whose directory refuses the lock file simply has no marker.
class StoreFileLock {
 public:
  /// Takes the lock beside `storeFile`; null when the lock file cannot be opened or
  /// created. Never throws.
  static std::unique_ptr<StoreFileLock> acquire(const std::filesystem::path& storeFile);
  /// Writes "closed" when this is the last user; releases the lock in any case.
  ///@{
  ~StoreFileLock();
  StoreFileLock(const StoreFileLock&) = delete;
  ///@}
  StoreFileLock& operator=(const StoreFileLock&) = delete;

  /// True when, at acquisition, this was the only user and the marker said the previous
  /// user never closed the store.
  bool previousUserDidNotClose() const { return previousUserDidNotClose_; }

  /// The lock file of a store.
  static std::filesystem::path lockFile(const std::filesystem::path& storeFile);

 private:
  explicit StoreFileLock(int fd) : fd_(fd) {}
  int fd_ = -1;
  bool previousUserDidNotClose_ = false;
};

}  // namespace chronelle
