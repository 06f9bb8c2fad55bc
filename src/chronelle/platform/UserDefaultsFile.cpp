#include "chronelle/platform/UserDefaultsFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

namespace chronelle {

namespace {

UserDefaultsFileStamp stampOf(const struct stat& info) {
  return {info.st_dev, info.st_ino, info.st_size, static_cast<long long>(info.st_ctim.tv_sec),
          info.st_ctim.tv_nsec};
}

bool writeAll(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const auto n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// Closes a descriptor on every path out.
struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::optional<UserDefaultsFileStamp> stampOfDefaultsFile(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return stampOf(info);
}

UserDefaultsFileContents readDefaultsFile(const std::filesystem::path& path, nlohmann::json& values) {
  UserDefaultsFileContents contents;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return contents;
    contents.state = UserDefaultsFileContents::State::unreadable;
    contents.error = std::strerror(errno);
    return contents;
  }
  const FdCloser closer{fd};
  // The stamp of the version opened: a writer renaming a new file meanwhile does not
  // change what this descriptor reads.
  struct stat info {};
  if (::fstat(fd, &info) == 0) contents.stamp = stampOf(info);
  contents.state = UserDefaultsFileContents::State::unreadable;
  std::string text;
  char buffer[65536];
  for (;;) {
    const auto n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      contents.error = std::strerror(errno);
      return contents;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  try {
    auto document = nlohmann::json::parse(text);
    auto found = document.at("values");
    if (!found.is_object()) throw std::runtime_error("\"values\" is not an object");
    values = std::move(found);
    contents.state = UserDefaultsFileContents::State::readable;
  } catch (const std::exception& e) {
    contents.error = e.what();
  }
  return contents;
}

std::optional<DefaultsWriteFailure> replaceDefaultsFile(const std::filesystem::path& path,
                                                        const std::string& text) {
  const auto directory = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  if (ec) return DefaultsWriteFailure{"create directory", ec.value()};

  // The name is unique per process and call so concurrent writers never share a temporary
  // file, even one that writes without the lock.
  static std::atomic<unsigned> counter{0};
  const auto temporary = directory / (path.filename().string() + ".tmp-" +
                                      std::to_string(::getpid()) + "-" +
                                      std::to_string(counter.fetch_add(1)));
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return DefaultsWriteFailure{"create temporary file", errno};
  if (!writeAll(fd, text) || ::fsync(fd) != 0) {
    const int error = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    return DefaultsWriteFailure{"write temporary file", error};
  }
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return DefaultsWriteFailure{"close temporary file", error};
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return DefaultsWriteFailure{"rename", error};
  }
  // Make the rename itself durable.
  if (const int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return std::nullopt;
}

DefaultsFileLock::DefaultsFileLock(const std::filesystem::path& path) {
  const auto directory = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  const auto lockPath = directory / (path.filename().string() + ".lock");
  fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    error_ = errno;
    return;
  }
  // flock locks belong to the open file description, so two UserDefaults of one process
  // exclude each other as two processes do.
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    error_ = errno;
    ::close(fd_);
    fd_ = -1;
    return;
  }
}

DefaultsFileLock::~DefaultsFileLock() {
  if (fd_ >= 0) ::close(fd_);  // releases the lock
}

}  // namespace chronelle
