#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace chronelle {

// Severity, in order: a record is emitted when the logger's level is at or below it.
enum class LogLevel { trace = 0, debug, info, notice, warning, error, critical };

// A metadata value: a string, a value that described itself as text, a list, or a
// dictionary. A value type.
class MetadataValue {
 public:
  enum class Kind { string, stringConvertible, array, dictionary };
  using Array = std::vector<MetadataValue>;
  using Dictionary = std::map<std::string, MetadataValue>;

  // An empty string value.
  MetadataValue() = default;
  static MetadataValue string(std::string text);
  static MetadataValue stringConvertible(std::string description);
  static MetadataValue array(Array elements);
  static MetadataValue dictionary(Dictionary entries);

  Kind kind() const { return kind_; }
  // The text of a string or string-convertible value; empty for the other kinds.
  const std::string& text() const { return text_; }
  const Array& elements() const { return array_; }
  const Dictionary& entries() const { return dictionary_; }

  // The value as text: a string or string-convertible value as it is; a dictionary as
  // the textual form of `toDictionary()` (`["key": "value"]`, `[:]` when empty); a list as
  // the textual form of its elements' `toString()` (`["a", "b"]`). Does not throw except
  // on allocation failure.
  std::string toString() const;
  // The entries of a dictionary with every value turned into text by `toString()`; empty
  // for the other kinds.
  std::map<std::string, std::string> toDictionary() const;

  friend bool operator==(const MetadataValue&, const MetadataValue&) = default;

 private:
  Kind kind_ = Kind::string;
  std::string text_;
  Array array_;
  Dictionary dictionary_;
};

using LogMetadata = std::map<std::string, MetadataValue>;

// The lower-case name of a level ("trace" … "critical").
std::string_view logLevelName(LogLevel level);

// One emitted record, as a handler receives it.
struct LogRecord {
  std::string label;
  LogLevel level = LogLevel::info;
  std::string message;
  LogMetadata metadata;
  std::string source;
  std::string file;
  std::string function;
  std::uint32_t line = 0;
};

// Destination of records. Implementations must be thread-safe and must not throw.
class LogHandler {
 public:
  virtual ~LogHandler() = default;
  virtual void log(const LogRecord& record) noexcept = 0;
};

// A labelled logger. Cheap to create; the handler is process-wide (`bootstrap`).
// Thread-safe. Logging never throws.
class Logger {
 public:
  explicit Logger(std::string label);
  // Copies carry the level set at the time of the copy.
  Logger(const Logger& other) : label_(other.label_), level_(other.level_.load()) {}
  Logger& operator=(const Logger& other) {
    label_ = other.label_;
    level_.store(other.level_.load());
    return *this;
  }

  const std::string& label() const { return label_; }
  // The level set with `setLogLevel`, else the process default (`defaultLogLevel()`), so
  // a component logger created early follows a later change of the default.
  LogLevel logLevel() const;
  // Fixes this logger's level. Safe while other threads log through the same logger: they
  // see the old level or the new one.
  void setLogLevel(LogLevel level) { level_.store(static_cast<int>(level)); }
  bool isEnabled(LogLevel level) const { return level >= logLevel(); }

  // Emits the record when `level` is enabled; swallows every failure of the handler.
  void log(LogLevel level, std::string message, LogMetadata metadata = {},
           std::string source = "n/a", std::string file = "", std::string function = "",
           std::uint32_t line = 0) const noexcept;

  // Installs the process-wide handler (null restores the default spdlog handler on
  // stderr). Loggers created before and after see the new handler.
  static void bootstrap(std::shared_ptr<LogHandler> handler);
  static std::shared_ptr<LogHandler> handler();
  // Level of every logger whose own level was not set (default: info).
  static void setDefaultLogLevel(LogLevel level);
  static LogLevel defaultLogLevel();

 private:
  std::string label_;
  // A LogLevel, or -1 to follow the process default. Atomic because components share one
  // logger across threads and the application may change its level at any time.
  std::atomic<int> level_{-1};
};

// Writes through spdlog to stderr, or to a file when a path is given.
class SpdlogHandler final : public LogHandler {
 public:
  SpdlogHandler();
  explicit SpdlogHandler(const std::string& filePath);
  ~SpdlogHandler() override;
  void log(const LogRecord& record) noexcept override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Keeps every record, for tests. Thread-safe.
class CapturingLogHandler final : public LogHandler {
 public:
  void log(const LogRecord& record) noexcept override;
  std::vector<LogRecord> records() const;
  void clear();

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_ = makeImpl();
  static std::shared_ptr<Impl> makeImpl();
};

}  // namespace chronelle
