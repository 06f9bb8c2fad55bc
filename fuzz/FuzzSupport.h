#pragma once

// Shared helpers of the fuzz targets: how a target reports a broken property. A property
// failure aborts with the reason on stderr, which libFuzzer records as a crash together
// with the input that caused it.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace chronelle::fuzz {

[[noreturn]] inline void fail(const std::string& what, std::string_view input) {
  std::fprintf(stderr, "property broken: %s\ninput (%zu bytes): %.*s\n", what.c_str(),
               input.size(), static_cast<int>(input.size()), input.data());
  std::abort();
}

inline std::string_view asText(const unsigned char* data, std::size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

}  // namespace chronelle::fuzz
