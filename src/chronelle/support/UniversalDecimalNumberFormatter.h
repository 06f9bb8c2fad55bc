#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace chronelle {

/// A decimal number formatter that reads both "1,5" and "1.5" as one and a half, whatever the
/// locale, for fields where people type amounts. Formatting, and parsing of text that is not a
/// flexible-separator number, are those of ICU's decimal format for the formatter's locale.
/// Thread-safe: the ICU formatter is guarded by a mutex.
class UniversalDecimalNumberFormatter {
 public:
  /// `locale`: an ICU locale identifier ("de_DE"); empty for the process's default locale.
  ///@{
  explicit UniversalDecimalNumberFormatter(const std::string& locale = "");
  ~UniversalDecimalNumberFormatter();
  UniversalDecimalNumberFormatter(const UniversalDecimalNumberFormatter&) = delete;
  ///@}
  UniversalDecimalNumberFormatter& operator=(const UniversalDecimalNumberFormatter&) = delete;

  /// The flexible-separator value of `text` when there is one; otherwise what the locale's
  /// decimal format reads from the whole text ("1.234,5" in German); absent when neither
  /// reads it.
  std::optional<double> number(std::string_view text) const;

  /// Stores the flexible-separator value of `text` in `*slot` and returns true. Returns false
  /// at once when `slot` is null, and false, leaving `*slot` and `*errorDescription` untouched,
  /// when the text is not a flexible-separator number (the locale's format is not asked).
  /// `errorDescription` may be null; it is never written.
  bool getObjectValue(double* slot, std::string_view text, std::string* errorDescription) const;

  /// `number` in the locale's decimal format ("1.234,5" in German).
  std::string string(double number) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  mutable std::mutex mutex_;  ///< guards the ICU formatter in impl_
};

}  // namespace chronelle
