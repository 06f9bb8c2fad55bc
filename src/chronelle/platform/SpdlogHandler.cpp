// The default log destination: spdlog on stderr, or a file the application names.
#include <spdlog/logger.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include "chronelle/platform/Logger.h"

namespace chronelle {

struct SpdlogHandler::Impl {
  std::shared_ptr<spdlog::logger> logger;
};

namespace {

std::shared_ptr<spdlog::logger> makeLogger(spdlog::sink_ptr sink) {
  auto logger = std::make_shared<spdlog::logger>("chronelle", std::move(sink));
  // Level filtering is the Logger's business; spdlog writes whatever reaches it. Its own
  // pattern carries only the time: level, label and metadata are formatted below, because
  // our seven levels do not map one to one onto spdlog's.
  logger->set_level(spdlog::level::trace);
  logger->set_pattern("%Y-%m-%dT%H:%M:%S.%f%z %v");
  logger->flush_on(spdlog::level::trace);
  return logger;
}

spdlog::level::level_enum spdlogLevel(LogLevel level) {
  switch (level) {
    case LogLevel::trace: return spdlog::level::trace;
    case LogLevel::debug: return spdlog::level::debug;
    case LogLevel::info:
    case LogLevel::notice: return spdlog::level::info;
    case LogLevel::warning: return spdlog::level::warn;
    case LogLevel::error: return spdlog::level::err;
    case LogLevel::critical: return spdlog::level::critical;
  }
  return spdlog::level::info;
}

}  // namespace

SpdlogHandler::SpdlogHandler() : impl_(std::make_unique<Impl>()) {
  impl_->logger = makeLogger(std::make_shared<spdlog::sinks::stderr_sink_mt>());
}

SpdlogHandler::SpdlogHandler(const std::string& filePath) : impl_(std::make_unique<Impl>()) {
  impl_->logger = makeLogger(std::make_shared<spdlog::sinks::basic_file_sink_mt>(filePath));
}

SpdlogHandler::~SpdlogHandler() = default;

void SpdlogHandler::log(const LogRecord& record) noexcept {
  try {
    // "<level> <label> : <message> key=value …" — metadata sorted by key.
    std::string line;
    line.reserve(record.message.size() + 64);
    line += logLevelName(record.level);
    line += ' ';
    line += record.label;
    line += " : ";
    line += record.message;
    for (const auto& [key, value] : record.metadata) {
      line += ' ';
      line += key;
      line += '=';
      line += value.toString();
    }
    impl_->logger->log(spdlogLevel(record.level), line);
  } catch (...) {
    // Nowhere left to report a failure of the log destination itself.
  }
}

}  // namespace chronelle
