#include "chronelle/store/KeptLogVfs.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace chronelle {

namespace {

constexpr const char* kName = "chronelle-kept-log";
constexpr const char* kMark = "user.chronelle.log-entry-synced";

// SQLite names the log by the database file's full path and "-wal".
std::string directoryOf(const char* file) {
  const std::string_view path(file);
  const auto slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  return std::string(path.substr(0, slash == 0 ? 1 : slash));
}

// "<device>:<directory inode>:<file inode>" of the file at `file`: what a mark must name to be
// valid. A copy is another inode; a file moved to another directory names another directory.
std::optional<std::string> identity(const char* file) {
  struct stat fileStatus{};
  struct stat directoryStatus{};
  if (::stat(file, &fileStatus) != 0 || ::stat(directoryOf(file).c_str(), &directoryStatus) != 0) {
    return std::nullopt;
  }
  return std::to_string(fileStatus.st_dev) + ":" + std::to_string(directoryStatus.st_ino) + ":" +
         std::to_string(fileStatus.st_ino);
}

bool carriesMark(const char* file, const std::string& id) {
  char value[96];
  const auto size = ::getxattr(file, kMark, value, sizeof value);
  return size == static_cast<ssize_t>(id.size()) && std::memcmp(value, id.data(), id.size()) == 0;
}

bool syncDirectory(const std::string& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int rc;
  do {
    rc = ::fsync(fd);
  } while (rc != 0 && errno == EINTR);
  ::close(fd);
  return rc == 0;
}

// The layer this one was registered over, for everything but opening.
sqlite3_vfs* registeredBase = nullptr;

// Set when a log could not be marked (a file system without extended attributes, a log of
// another user): every open would sync the directory again, also for processes that never
// write, so the process leaves the syncing to SQLite from then on, at the first write.
std::atomic<bool> marksFail{false};

// The layer that opens the files: the process's default one now (a test may have put a layer
// of its own in front), unless that is this one.
sqlite3_vfs* openingBase(sqlite3_vfs* self) {
  sqlite3_vfs* current = sqlite3_vfs_find(nullptr);
  return current == nullptr || current == self || current->szOsFile > self->szOsFile ? registeredBase : current;
}

int openFile(sqlite3_vfs* self, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  sqlite3_vfs* base = openingBase(self);
  constexpr int kCreating = SQLITE_OPEN_WAL | SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (name != nullptr && (flags & kCreating) == kCreating && !marksFail.load()) {
    if (const auto id = identity(name)) {
      bool synced = carriesMark(name, *id);
      if (!synced && syncDirectory(directoryOf(name))) {
        synced = true;
        if (::setxattr(name, kMark, id->data(), id->size(), 0) != 0) marksFail.store(true);
      }
      // The entry is on disk: opened without the create flag, SQLite does not sync it again.
      // A log that vanished since (a failed open leaves no methods) is created as usual.
      if (synced && base->xOpen(base, name, file, flags & ~SQLITE_OPEN_CREATE, outFlags) == SQLITE_OK) {
        return SQLITE_OK;
      }
    }
  }
  return base->xOpen(base, name, file, flags, outFlags);
}

sqlite3_vfs* registerLayer() {
  registeredBase = sqlite3_vfs_find(nullptr);
  if (registeredBase == nullptr) return nullptr;
  static sqlite3_vfs layer = *registeredBase;
  layer.pNext = nullptr;
  layer.zName = kName;
  layer.xOpen = openFile;
  if (sqlite3_vfs_register(&layer, 0) != SQLITE_OK) return nullptr;
  return &layer;
}

}  // namespace

const char* KeptLogVfs::name() {
  static sqlite3_vfs* const layer = registerLayer();
  return layer ? kName : nullptr;
}

bool KeptLogVfs::directoryEntrySynced(const std::filesystem::path& logFile) {
  const auto id = identity(logFile.c_str());
  return id && carriesMark(logFile.c_str(), *id);
}

}  // namespace chronelle
