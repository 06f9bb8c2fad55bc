#pragma once
// Store-internal: the lock file beside a store that tells whether the previous user of the
// store ended without closing it.

#include <filesystem>
#include <memory>

namespace chronelle {

/// An advisory lock on `<store>-lock` held for as long as a coordinator has the store open,
/// and a marker kept in that file: "open" from the first write of a user until the last user
/// closed the store, "closed" after that. The kernel drops the lock of a process that dies,
/// but not the marker, so:
///
/// - before its first write, a user makes sure the marker says "open" (synced). A user that
///   only reads never touches the file: it cannot leave totals half-written, and opening a
///   store to read from it costs no synced write;
/// - on opening, the opener that gets the lock exclusively is the only user. If the marker
///   still says "open", a user that wrote crashed or was killed. It keeps a shared lock, so
///   later openers see they are not alone;
/// - on closing, the closer that can take the lock exclusively is the last user and writes
///   "closed" when the marker says "open". Openers and closers that share the store with
///   others leave the marker alone.
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

  /// Makes sure the marker says "open" before this user's first write; a no-op after the
  /// first call. Call with the store's write lock held. Never throws.
  void markWriting();

  /// The lock file of a store.
  static std::filesystem::path lockFile(const std::filesystem::path& storeFile);

 private:
  explicit StoreFileLock(int fd) : fd_(fd) {}
  int fd_ = -1;
  bool previousUserDidNotClose_ = false;
  bool markedWriting_ = false;
};

}  // namespace chronelle
