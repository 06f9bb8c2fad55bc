#pragma once

// The library's logging operations on top of the platform Logger: messages built only when
// their level is enabled, metadata from values of any kind, the source taken from the
// calling file, and the error form with its fixed function and line. Logging never throws
// and never fails the caller. Thread-safe (as the Logger it writes through).

#include <any>
#include <concepts>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <source_location>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "chronelle/platform/Date.h"
#include "chronelle/platform/Logger.h"

namespace chronelle {

/// The fixed labels of the component loggers.
struct LogLabel {
  /// BaseDataProvider, MainDataProvider, CoreDataStack.
  ///@{
  static constexpr const char* data = "Data";
  static constexpr const char* dataModifier = "DataModifier";
  ///@}
  /// ReportCalculator.
  ///@{
  static constexpr const char* report = "Report";
  static constexpr const char* reportCacheProvider = "ReportCacheProvider";
  static constexpr const char* timeEntriesChartDataCalculator = "TimeEntriesChartDataCalculator";
  ///@}
  /// SessionFetchedResultsController3.
  static constexpr const char* sessionFetchedResultsController = "SessionFetchedResultsController";
  /// SystemTimeUpdateNotificator.
  static constexpr const char* timeUpdate = "TimeUpdate";
  /// CHTimer.
  static constexpr const char* timer = "Timer";
};

/// The source of a record logged from `filePath`: the text between its last two '/', or
/// "n/a" when the path holds fewer than two.
std::string logSource(std::string_view filePath);

/// A readable name of a type, demangled ("chronelle::Task", "std::vector<int, …>").
std::string describeType(const std::type_info& type);

namespace logging_detail {

template <class T>
concept HasDescription = requires(const T& v) {
  { v.description() } -> std::convertible_to<std::string>;
};
template <class T>
concept Streamable = requires(std::ostream& os, const T& v) { os << v; };
template <class T>
concept Range = requires(const T& v) {
  std::begin(v);
  std::end(v);
};
template <class T>
concept StringKeyedMap = Range<T> && requires { typename T::key_type; typename T::mapped_type; } &&
                         std::convertible_to<typename T::key_type, std::string>;
template <class T>
struct IsOptional : std::false_type {};
template <class U>
struct IsOptional<std::optional<U>> : std::true_type {};

std::string describeException(const std::exception_ptr& error);
MetadataValue fromAny(const std::any& value);

}  // namespace logging_detail

/// `MetadataValue.from(value:)`: the metadata form of `value`, first rule that applies —
/// 1. text (std::string, string views, C strings, anything convertible to std::string) →
///    a string value;
/// 2. a value that describes itself → a string-convertible value of that description: a
///    `description()` member, an exception (`what()`), an error code (`message()`), a
///    Date (ISO 8601), a boolean ("true"/"false"), a number, or `operator<<`;
/// 3. a list (any range that is not a map) → an array, each element by these rules;
/// 4. a map from string keys → a dictionary, each value by these rules;
/// 5. anything else → a string value of its description: `std::any` is unwrapped when it
///    holds one of the common types above and otherwise named by its type, an empty
///    optional is "nil" (an engaged one is its value), an enumeration is "Type(raw)", any
///    other type is its type name.
/// Does not throw except on allocation failure.
template <class T>
MetadataValue metadataValueFrom(const T& value) {
  using namespace logging_detail;
  if constexpr (std::is_same_v<T, MetadataValue>) {
    return value;
  } else if constexpr (std::is_same_v<T, const char*> || std::is_same_v<T, char*>) {
    return MetadataValue::string(value ? value : "");
  } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
    return MetadataValue::string(std::string(std::string_view(value)));
  } else if constexpr (std::is_convertible_v<const T&, std::string>) {
    return MetadataValue::string(std::string(value));
  } else if constexpr (HasDescription<T>) {
    return MetadataValue::stringConvertible(std::string(value.description()));
  } else if constexpr (std::is_base_of_v<std::exception, T>) {
    return MetadataValue::stringConvertible(value.what());
  } else if constexpr (std::is_same_v<T, std::exception_ptr>) {
    return MetadataValue::stringConvertible(describeException(value));
  } else if constexpr (std::is_same_v<T, std::error_code>) {
    return MetadataValue::stringConvertible(value.message());
  } else if constexpr (std::is_same_v<T, Date>) {
    return MetadataValue::stringConvertible(value.isoString());
  } else if constexpr (std::is_same_v<T, bool>) {
    return MetadataValue::stringConvertible(value ? "true" : "false");
  } else if constexpr (std::is_arithmetic_v<T> || Streamable<T>) {
    std::ostringstream out;
    if constexpr (std::is_floating_point_v<T>) out.precision(17);
    out << value;
    return MetadataValue::stringConvertible(out.str());
  } else if constexpr (std::is_same_v<T, std::any>) {
    return fromAny(value);
  } else if constexpr (IsOptional<T>::value) {
    return value ? metadataValueFrom(*value) : MetadataValue::string("nil");
  } else if constexpr (StringKeyedMap<T>) {
    MetadataValue::Dictionary entries;
    for (const auto& [key, element] : value)
      entries.insert_or_assign(std::string(key), metadataValueFrom(element));
    return MetadataValue::dictionary(std::move(entries));
  } else if constexpr (Range<T>) {
    MetadataValue::Array elements;
    for (const auto& element : value) elements.push_back(metadataValueFrom(element));
    return MetadataValue::array(std::move(elements));
  } else if constexpr (std::is_enum_v<T>) {
    return MetadataValue::string(describeType(typeid(T)) + "(" +
                                 std::to_string(static_cast<long long>(value)) + ")");
  } else {
    return MetadataValue::string(describeType(typeid(T)));
  }
}

/// One value of `data`: anything, converted with `metadataValueFrom` when the entry is
/// made, so `{{"count", 3}, {"task", name}, {"ids", ids}}` mixes kinds freely.
class LogValue {
 public:
  /// Converts `value`: text as a string, numbers and other printable values as described.
  template <class T>
    requires(!std::is_same_v<std::remove_cvref_t<T>, LogValue>)
  /// Converts `value`: text as a string, numbers and other printable values as described.
  LogValue(const T& value) {  // NOLINT: implicit on purpose
    // Built in the caller's expression, before any logging function is entered: a value
    // whose description fails must not fail the caller either.
    try {
      value_ = metadataValueFrom(value);
    } catch (...) {
      value_ = MetadataValue::string("<no description>");
    }
  }
  /// The converted value.
  const MetadataValue& metadata() const { return value_; }

 private:
  MetadataValue value_;
};

/// The `data` of a record: string keys to values of any kind; it becomes the metadata.
using LogData = std::map<std::string, LogValue>;

/// A message: text, or a callable returning text that is called only when the record is
/// emitted (pass a lambda when the text is costly to build).
template <class M>
concept LogMessage =
    std::is_convertible_v<M, std::string_view> || std::is_convertible_v<M, std::string> ||
    (std::is_invocable_v<M> && std::is_convertible_v<std::invoke_result_t<M>, std::string>);

namespace logging_detail {

/// Emits one record; swallows every failure.
///@{
void emit(const Logger& logger, LogLevel level, std::string message, const LogData* data,
          const char* file, const char* function, std::uint32_t line) noexcept;
void emitError(const Logger& logger, std::string message, MetadataValue error,
               const char* file) noexcept;
///@}

template <class M>
std::string buildMessage(M&& message) {
  if constexpr (std::is_convertible_v<M, std::string_view>) {
    return std::string(std::string_view(message));
  } else if constexpr (std::is_convertible_v<M, std::string>) {
    return std::string(std::forward<M>(message));
  } else {
    return std::string(std::invoke(std::forward<M>(message)));
  }
}

template <class M>
void logAt(const Logger& logger, LogLevel level, M&& message, const LogData& data,
           const std::source_location& location) noexcept {
  if (!logger.isEnabled(level)) return;
  std::string text;
  try {
    text = buildMessage(std::forward<M>(message));
  } catch (...) {
    text = "<message could not be built>";
  }
  emit(logger, level, std::move(text), &data, location.file_name(), location.function_name(),
       location.line());
}

}  // namespace logging_detail

/// Logs `message` with `data` as metadata at debug level, with the caller's file, function
/// and line. Never throws.
template <LogMessage M>
void logDebug(const Logger& logger, M&& message, const LogData& data = {},
              std::source_location location = std::source_location::current()) noexcept {
  logging_detail::logAt(logger, LogLevel::debug, std::forward<M>(message), data, location);
}

/// As `logDebug`, at info level.
template <LogMessage M>
void logInfo(const Logger& logger, M&& message, const LogData& data = {},
             std::source_location location = std::source_location::current()) noexcept {
  logging_detail::logAt(logger, LogLevel::info, std::forward<M>(message), data, location);
}

/// As `logDebug`, at warning level.
template <LogMessage M>
void logWarning(const Logger& logger, M&& message, const LogData& data = {},
                std::source_location location = std::source_location::current()) noexcept {
  logging_detail::logAt(logger, LogLevel::warning, std::forward<M>(message), data, location);
}

/// As `logDebug`, at error level.
template <LogMessage M>
void logError(const Logger& logger, M&& message, const LogData& data = {},
              std::source_location location = std::source_location::current()) noexcept {
  logging_detail::logAt(logger, LogLevel::error, std::forward<M>(message), data, location);
}

/// The error form (`error(_:_:file:)`): logs `message` at error level with one metadata
/// entry, "error", holding `error` converted by `metadataValueFrom`. The record's function
/// is "error(_:_:file:)" and its line 103 whatever the caller; its file and source come
/// from the caller. `error` is typically an exception, an exception_ptr or an error code.
/// Never throws.
template <LogMessage M, class E>
  requires(!std::is_convertible_v<const E&, LogData>)
void logError(const Logger& logger, M&& message, const E& error,
              std::source_location location = std::source_location::current()) noexcept {
  if (!logger.isEnabled(LogLevel::error)) return;
  try {
    logging_detail::emitError(logger, logging_detail::buildMessage(std::forward<M>(message)),
                              metadataValueFrom(error), location.file_name());
  } catch (...) {
  }
}

}  // namespace chronelle
