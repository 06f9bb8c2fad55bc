#pragma once

#include <optional>
#include <string>

namespace chronelle::testing {

// Sets TZ for its lifetime (local days, chart columns and list sections follow the process
// zone) and restores the previous value afterwards.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

}  // namespace chronelle::testing
