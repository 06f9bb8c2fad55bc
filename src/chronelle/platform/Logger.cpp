#include "chronelle/platform/Logger.h"

#include <atomic>
#include <mutex>

namespace chronelle {

namespace {

struct HandlerSlot {
  // Guards `handler`. Handlers are thread-safe, so they are called outside the lock.
  std::mutex mutex;
  std::shared_ptr<LogHandler> handler;
  std::atomic<LogLevel> defaultLevel{LogLevel::info};
};

HandlerSlot& slot() {
  // Leaked on purpose: components may log while static objects are being destroyed.
  static auto* s = new HandlerSlot;
  return *s;
}

}  // namespace

MetadataValue MetadataValue::string(std::string text) {
  MetadataValue v;
  v.kind_ = Kind::string;
  v.text_ = std::move(text);
  return v;
}

MetadataValue MetadataValue::stringConvertible(std::string description) {
  MetadataValue v;
  v.kind_ = Kind::stringConvertible;
  v.text_ = std::move(description);
  return v;
}

MetadataValue MetadataValue::array(Array elements) {
  MetadataValue v;
  v.kind_ = Kind::array;
  v.array_ = std::move(elements);
  return v;
}

MetadataValue MetadataValue::dictionary(Dictionary entries) {
  MetadataValue v;
  v.kind_ = Kind::dictionary;
  v.dictionary_ = std::move(entries);
  return v;
}

namespace {

// A string in the quoted, escaped form lists and dictionaries print their elements in.
void appendQuoted(std::string& out, const std::string& text) {
  out += '"';
  for (char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  out += '"';
}

}  // namespace

std::string MetadataValue::toString() const {
  switch (kind_) {
    case Kind::string:
    case Kind::stringConvertible:
      return text_;
    case Kind::array: {
      std::string out = "[";
      for (std::size_t i = 0; i < array_.size(); ++i) {
        if (i) out += ", ";
        appendQuoted(out, array_[i].toString());
      }
      return out + "]";
    }
    case Kind::dictionary: {
      if (dictionary_.empty()) return "[:]";
      std::string out = "[";
      bool first = true;
      for (const auto& [key, value] : toDictionary()) {
        if (!first) out += ", ";
        first = false;
        appendQuoted(out, key);
        out += ": ";
        appendQuoted(out, value);
      }
      return out + "]";
    }
  }
  return text_;
}

std::map<std::string, std::string> MetadataValue::toDictionary() const {
  std::map<std::string, std::string> out;
  for (const auto& [key, value] : dictionary_) out.emplace(key, value.toString());
  return out;
}

Logger::Logger(std::string label) : label_(std::move(label)) {}

LogLevel Logger::logLevel() const {
  const int level = level_.load();
  return level < 0 ? defaultLogLevel() : static_cast<LogLevel>(level);
}

void Logger::log(LogLevel level, std::string message, LogMetadata metadata, std::string source,
                 std::string file, std::string function, std::uint32_t line) const noexcept {
  if (!isEnabled(level)) return;
  try {
    auto target = handler();
    if (!target) return;
    LogRecord record;
    record.label = label_;
    record.level = level;
    record.message = std::move(message);
    record.metadata = std::move(metadata);
    record.source = std::move(source);
    record.file = std::move(file);
    record.function = std::move(function);
    record.line = line;
    target->log(record);
  } catch (...) {
    // A failing log destination must never fail the operation that logged.
  }
}

void Logger::bootstrap(std::shared_ptr<LogHandler> handler) {
  std::lock_guard lock(slot().mutex);
  slot().handler = std::move(handler);
}

std::shared_ptr<LogHandler> Logger::handler() {
  std::lock_guard lock(slot().mutex);
  if (!slot().handler) slot().handler = std::make_shared<SpdlogHandler>();
  return slot().handler;
}

void Logger::setDefaultLogLevel(LogLevel level) { slot().defaultLevel.store(level); }

LogLevel Logger::defaultLogLevel() { return slot().defaultLevel.load(); }

std::string_view logLevelName(LogLevel level) {
  switch (level) {
    case LogLevel::trace: return "trace";
    case LogLevel::debug: return "debug";
    case LogLevel::info: return "info";
    case LogLevel::notice: return "notice";
    case LogLevel::warning: return "warning";
    case LogLevel::error: return "error";
    case LogLevel::critical: return "critical";
  }
  return "unknown";
}

struct CapturingLogHandler::Impl {
  // Guards `records`.
  std::mutex mutex;
  std::vector<LogRecord> records;
};

void CapturingLogHandler::log(const LogRecord& record) noexcept {
  try {
    std::lock_guard lock(impl_->mutex);
    impl_->records.push_back(record);
  } catch (...) {
  }
}

std::vector<LogRecord> CapturingLogHandler::records() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->records;
}

void CapturingLogHandler::clear() {
  std::lock_guard lock(impl_->mutex);
  impl_->records.clear();
}

std::shared_ptr<CapturingLogHandler::Impl> CapturingLogHandler::makeImpl() {
  return std::make_shared<Impl>();
}

}  // namespace chronelle
