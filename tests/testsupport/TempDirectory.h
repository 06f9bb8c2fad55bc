#pragma once

#include <filesystem>

namespace chronelle::testing {

// A fresh, empty directory under the system temporary directory, removed with everything
// in it when the object is destroyed. Not copyable.
class TempDirectory {
 public:
  TempDirectory();
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // `path() / name`.
  std::filesystem::path file(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace chronelle::testing
