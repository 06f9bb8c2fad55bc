#pragma once

#include <sys/types.h>

#include <filesystem>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

namespace chronelle {

// The file operations behind UserDefaults, apart from its in-memory view. Free functions and
// small RAII types; thread-safe as far as the file system is.

// What identifies one version of the file: a writer replaces it by renaming a new file
// over it, so a new version has a new inode (or, if the number was reused, a new change time).
struct UserDefaultsFileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  long long changeSeconds = 0;
  long changeNanoseconds = 0;
  friend bool operator==(const UserDefaultsFileStamp&, const UserDefaultsFileStamp&) = default;
};

// The stamp of the file at `path` now; absent when there is no file (or it cannot be seen).
std::optional<UserDefaultsFileStamp> stampOfDefaultsFile(const std::filesystem::path& path);

// One read of the file.
struct UserDefaultsFileContents {
  enum class State { missing, readable, unreadable };
  State state = State::missing;
  // The stamp of the version read; absent when missing.
  std::optional<UserDefaultsFileStamp> stamp;
  // Why it is unreadable.
  std::string error;
};

// Reads `path` into `values` (left untouched unless the file is readable). Never throws
// except on allocation failure.
UserDefaultsFileContents readDefaultsFile(const std::filesystem::path& path, nlohmann::json& values);

// Writes `text` to a temporary file beside `path`, flushes it, renames it over `path` and
// flushes the directory, so readers see the old version or the new one, never a mix.
// Creates the directory when missing. Returns the failed step and errno, or absent on success.
struct DefaultsWriteFailure {
  const char* step;
  int error;
};
std::optional<DefaultsWriteFailure> replaceDefaultsFile(const std::filesystem::path& path,
                                                        const std::string& text);

// An exclusive lock shared by every process that writes the file at `path`, held from
// construction to destruction. It is taken on a companion file (`<name>.lock`, never removed),
// since the data file itself is replaced on every write. Blocks until the lock is free.
class DefaultsFileLock {
 public:
  explicit DefaultsFileLock(const std::filesystem::path& path);
  ~DefaultsFileLock();
  DefaultsFileLock(const DefaultsFileLock&) = delete;
  DefaultsFileLock& operator=(const DefaultsFileLock&) = delete;

  // False (with errno in `error()`) when the lock file could not be opened or locked; the
  // caller then decides whether to write unlocked.
  bool locked() const { return fd_ >= 0; }
  int error() const { return error_; }

 private:
  int fd_ = -1;
  int error_ = 0;
};

}  // namespace chronelle
