#include "chronelle/support/Logging.h"

#include <cxxabi.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace chronelle {

std::string logSource(std::string_view filePath) {
  const auto last = filePath.rfind('/');
  if (last == std::string_view::npos || last == 0) return "n/a";
  const auto previous = filePath.rfind('/', last - 1);
  if (previous == std::string_view::npos) return "n/a";
  return std::string(filePath.substr(previous + 1, last - previous - 1));
}

std::string describeType(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> demangled(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
  return status == 0 && demangled ? std::string(demangled.get()) : std::string(type.name());
}

namespace logging_detail {

std::string describeException(const std::exception_ptr& error) {
  if (!error) return "nil";
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown exception";
  }
}

namespace {

// Tries `T` as the type held by `value`.
template <class T>
bool tryAs(const std::any& value, MetadataValue& out) {
  if (auto p = std::any_cast<T>(&value)) {
    out = metadataValueFrom(*p);
    return true;
  }
  return false;
}

}  // namespace

MetadataValue fromAny(const std::any& value) {
  if (!value.has_value()) return MetadataValue::string("nil");
  MetadataValue out;
  if (tryAs<std::string>(value, out) || tryAs<const char*>(value, out) ||
      tryAs<std::string_view>(value, out) || tryAs<bool>(value, out) ||
      tryAs<int>(value, out) || tryAs<long>(value, out) || tryAs<long long>(value, out) ||
      tryAs<unsigned>(value, out) || tryAs<unsigned long>(value, out) ||
      tryAs<unsigned long long>(value, out) || tryAs<double>(value, out) ||
      tryAs<float>(value, out) || tryAs<Date>(value, out) || tryAs<MetadataValue>(value, out) ||
      tryAs<std::exception_ptr>(value, out) || tryAs<std::error_code>(value, out) ||
      tryAs<std::vector<std::string>>(value, out) || tryAs<std::vector<std::any>>(value, out) ||
      tryAs<std::map<std::string, std::string>>(value, out) ||
      tryAs<std::map<std::string, std::any>>(value, out))
    return out;
  return MetadataValue::string(describeType(value.type()));
}

void emit(const Logger& logger, LogLevel level, std::string message, const LogData* data,
          const char* file, const char* function, std::uint32_t line) noexcept {
  try {
    LogMetadata metadata;
    if (data)
      for (const auto& [key, value] : *data) metadata.emplace(key, value.metadata());
    logger.log(level, std::move(message), std::move(metadata), logSource(file), file, function,
               line);
  } catch (...) {
    // Logging never fails the caller.
  }
}

void emitError(const Logger& logger, std::string message, MetadataValue error,
               const char* file) noexcept {
  try {
    // The error form reports a fixed function and line rather than the caller's: records
    // of this form are recognised by them.
    logger.log(LogLevel::error, std::move(message), {{"error", std::move(error)}},
               logSource(file), file, "error(_:_:file:)", 103);
  } catch (...) {
  }
}

}  // namespace logging_detail

}  // namespace chronelle
