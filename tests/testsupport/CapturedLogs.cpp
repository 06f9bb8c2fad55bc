#include "testsupport/CapturedLogs.h"

namespace chronelle::testing {

CapturedLogs::CapturedLogs()
    : previous_(Logger::handler()), previousLevel_(Logger::defaultLogLevel()) {
  Logger::bootstrap(handler_);
  Logger::setDefaultLogLevel(LogLevel::trace);
}

CapturedLogs::~CapturedLogs() {
  Logger::bootstrap(previous_);
  Logger::setDefaultLogLevel(previousLevel_);
}

std::vector<LogRecord> CapturedLogs::records(const std::string& label) const {
  std::vector<LogRecord> out;
  for (auto& r : handler_->records())
    if (r.label == label) out.push_back(r);
  return out;
}

std::string CapturedLogs::transcript() const {
  std::string out;
  for (const auto& r : handler_->records()) out += (out.empty() ? "" : "\n") + r.label + ": " + r.message;
  return out;
}

}  // namespace chronelle::testing
