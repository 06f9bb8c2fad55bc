#include "teststack/ScopedTimeZone.h"

#include <cstdlib>
#include <ctime>

namespace chronelle::testing {

ScopedTimeZone::ScopedTimeZone(const char* zone) {
  if (const char* current = std::getenv("TZ")) previous_ = current;
  ::setenv("TZ", zone, 1);
  ::tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  if (previous_) {
    ::setenv("TZ", previous_->c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

}  // namespace chronelle::testing
