#include "chronelle/store/KeptLogVfs.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace chronelle {

namespace {

constexpr const char* kName = "chronelle-kept-log";
constexpr const char* kMark = "user.chronelle.log-entry-synced";

// A log starts with a 32-byte header whose first four bytes are one of two magic numbers
// (big-endian), the low bit telling the byte order of the frames' checksums.
constexpr std::size_t kLogHeaderBytes = 32;
constexpr std::uint32_t kLogMagic = 0x377f0682;

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

int openWithoutCreatingKnownLog(sqlite3_vfs* self, sqlite3_filename name, sqlite3_file* file, int flags,
                                int* outFlags) {
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

// A log file's methods: the base layer's, except the truncation. The file's pMethods points at
// `methods`, the first member, so the truncation finds the base methods through it.
struct KeptLogMethods {
  sqlite3_io_methods methods;
  const sqlite3_io_methods* base;
};

// Called by SQLite with the log's write lock and every read lock held. Emptying (size 0) writes a
// header that matches no frame instead; any other size is cut as asked.
int truncateLog(sqlite3_file* file, sqlite3_int64 size) {
  const sqlite3_io_methods* base = reinterpret_cast<const KeptLogMethods*>(file->pMethods)->base;
  sqlite3_int64 current = 0;
  if (size != 0 || base->xFileSize(file, &current) != SQLITE_OK ||
      current <= static_cast<sqlite3_int64>(kLogHeaderBytes)) {
    return base->xTruncate(file, size);
  }
  if (current > KeptLogVfs::kMostBytesKept) {
    if (const int rc = base->xTruncate(file, KeptLogVfs::kMostBytesKept); rc != SQLITE_OK) return rc;
  }
  static constexpr char kNoHeader[kLogHeaderBytes] = {};
  return base->xWrite(file, kNoHeader, sizeof kNoHeader, 0);
}

std::mutex methodsMutex;
// One table per base table seen (normally one); never freed, as open files point at them.
// Guarded by methodsMutex.
std::vector<std::unique_ptr<KeptLogMethods>> methodTables;

const sqlite3_io_methods* keptLogMethods(const sqlite3_io_methods* base) {
  std::lock_guard lock(methodsMutex);
  for (const auto& table : methodTables) {
    if (table->base == base) return &table->methods;
  }
  auto table = std::make_unique<KeptLogMethods>(KeptLogMethods{*base, base});
  table->methods.xTruncate = truncateLog;
  methodTables.push_back(std::move(table));
  return &methodTables.back()->methods;
}

int openFile(sqlite3_vfs* self, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  const int rc = openWithoutCreatingKnownLog(self, name, file, flags, outFlags);
  if (rc == SQLITE_OK && (flags & SQLITE_OPEN_WAL) != 0 && file->pMethods != nullptr) {
    file->pMethods = keptLogMethods(file->pMethods);
  }
  return rc;
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

// A plain read: SQLite holds no locks on the log file itself, so closing this descriptor
// drops none of the process's.
bool KeptLogVfs::logHoldsFrames(const std::filesystem::path& logFile) {
  const int fd = ::open(logFile.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  unsigned char header[kLogHeaderBytes];
  const auto got = ::pread(fd, header, sizeof header, 0);
  ::close(fd);
  if (got != static_cast<ssize_t>(sizeof header)) return false;
  const std::uint32_t magic = (std::uint32_t{header[0]} << 24) | (std::uint32_t{header[1]} << 16) |
                              (std::uint32_t{header[2]} << 8) | header[3];
  return (magic & ~1u) == kLogMagic;
}

}  // namespace chronelle
