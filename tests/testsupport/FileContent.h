#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace chronelle::testing {

// The whole content of a file; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Replaces the content of `path` with `bytes`.
inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace chronelle::testing
