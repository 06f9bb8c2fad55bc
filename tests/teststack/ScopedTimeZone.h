#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace chronelle::testing {

// Sets TZ for its lifetime (local days, chart columns and list sections follow the process
// zone) and restores the previous value afterwards.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* current = std::getenv("TZ")) previous_ = current;
    set(zone);
  }
  ~ScopedTimeZone() { set(previous_ ? previous_->c_str() : nullptr); }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  static void set(const char* zone) {
    zone ? ::setenv("TZ", zone, 1) : ::unsetenv("TZ");
    ::tzset();
  }
  std::optional<std::string> previous_;
};

}  // namespace chronelle::testing
