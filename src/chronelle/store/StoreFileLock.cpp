#include "chronelle/store/StoreFileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

namespace chronelle {

namespace {

constexpr std::string_view kOpen = "open";
constexpr std::string_view kClosed = "closed";

enum class LockType { shared, exclusive };

// Takes (or converts to) the lock; without `wait`, false when another holder conflicts.
bool tryLock(int fd, LockType type, bool wait = false) {
#ifdef F_OFD_SETLK
  struct flock lock {};
  lock.l_type = type == LockType::exclusive ? F_WRLCK : F_RDLCK;
  lock.l_whence = SEEK_SET;  // l_start 0, l_len 0: the whole file
  int rc;
  do {
    rc = fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock);
  } while (rc == -1 && errno == EINTR);
  return rc == 0;
#else
  // flock converts by unlocking first; a racing opener may then misjudge a live user.
  int rc;
  do {
    rc = flock(fd, (type == LockType::exclusive ? LOCK_EX : LOCK_SH) | (wait ? 0 : LOCK_NB));
  } while (rc == -1 && errno == EINTR);
  return rc == 0;
#endif
}

// "open" is synced: after a power cut the marker must still say "open" for a store in use.
// "closed" is not: it is written after the last connection closed, when every commit is
// already on disk, so whatever a power cut leaves of it (the old "open", nothing, "closed")
// costs at most a needless repair on the next open, and every command saves a sync.
bool writeMarker(int fd, std::string_view marker, bool synced) {
  if (ftruncate(fd, 0) != 0) return false;
  const auto written = pwrite(fd, marker.data(), marker.size(), 0);
  return written == static_cast<ssize_t>(marker.size()) && (!synced || fdatasync(fd) == 0);
}

bool markerSaysOpen(int fd) {
  char buffer[16] = {};
  const auto got = pread(fd, buffer, sizeof buffer, 0);
  return got >= static_cast<ssize_t>(kOpen.size()) && std::string_view(buffer, kOpen.size()) == kOpen;
}

}  // namespace

std::filesystem::path StoreFileLock::lockFile(const std::filesystem::path& storeFile) {
  return storeFile.string() + "-lock";
}

std::unique_ptr<StoreFileLock> StoreFileLock::acquire(const std::filesystem::path& storeFile) {
  const int fd = ::open(lockFile(storeFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  std::unique_ptr<StoreFileLock> lock(new StoreFileLock(fd));
  if (tryLock(fd, LockType::exclusive)) {
    // The marker is left as it is: "open" after a crash stays until the last user closes.
    lock->previousUserDidNotClose_ = markerSaysOpen(fd);
    tryLock(fd, LockType::shared);  // a conversion of our own lock cannot conflict
    return lock;
  }
  // Others use the store. One of them may hold the lock exclusively for the moment of its
  // own open or close: wait for that, so that our shared lock marks us as a user and the
  // last of them to close sees us.
  tryLock(fd, LockType::shared, true);
  return lock;
}

void StoreFileLock::markWriting() {
  if (markedWriting_) return;
  // Another user may have marked it already; "open" stays until the last user closes.
  if (!markerSaysOpen(fd_)) writeMarker(fd_, kOpen, true);
  markedWriting_ = true;
}

StoreFileLock::~StoreFileLock() {
  // The last user closes for every user, the ones that wrote among them, so it reads the
  // marker rather than its own writes.
  if (tryLock(fd_, LockType::exclusive) && markerSaysOpen(fd_)) writeMarker(fd_, kClosed, false);
  ::close(fd_);  // releases the lock
}

}  // namespace chronelle
