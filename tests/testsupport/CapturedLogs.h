#pragma once

#include <memory>
#include <string>
#include <vector>

#include "chronelle/platform/Logger.h"

namespace chronelle::testing {

// Routes every log record to a capturing handler for the lifetime of the object and
// lowers the default level to trace (so every logger without a level of its own emits
// everything); the previous handler and default level are restored afterwards.
class CapturedLogs {
 public:
  CapturedLogs();
  ~CapturedLogs();
  CapturedLogs(const CapturedLogs&) = delete;
  CapturedLogs& operator=(const CapturedLogs&) = delete;

  std::vector<LogRecord> records() const { return handler_->records(); }
  // Records whose label equals `label`.
  std::vector<LogRecord> records(const std::string& label) const;
  // The messages of all records, "label: message" joined by newlines — for one comparison.
  std::string transcript() const;
  void clear() { handler_->clear(); }

 private:
  std::shared_ptr<CapturingLogHandler> handler_ = std::make_shared<CapturingLogHandler>();
  std::shared_ptr<LogHandler> previous_;
  LogLevel previousLevel_;
};

}  // namespace chronelle::testing
