#include "chronelle/support/UniversalDecimalNumberFormatter.h"

#include <unicode/fmtable.h>
#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/parsepos.h>
#include <unicode/unistr.h>

#include "chronelle/support/NumberParsing.h"

namespace chronelle {

struct UniversalDecimalNumberFormatter::Impl {
  std::unique_ptr<icu::NumberFormat> format;  // null when ICU has no data for the locale
};

UniversalDecimalNumberFormatter::UniversalDecimalNumberFormatter(const std::string& locale)
    : impl_(std::make_unique<Impl>()) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Locale icuLocale =
      locale.empty() ? icu::Locale::getDefault() : icu::Locale(locale.c_str());
  impl_->format.reset(icu::NumberFormat::createInstance(icuLocale, UNUM_DECIMAL, status));
  if (U_FAILURE(status)) impl_->format.reset();
}

UniversalDecimalNumberFormatter::~UniversalDecimalNumberFormatter() = default;

std::optional<double> UniversalDecimalNumberFormatter::number(std::string_view text) const {
  if (const auto value = toDoubleByUsingFlexibleSeparator(text)) return value;
  std::lock_guard lock(mutex_);
  if (!impl_->format) return std::nullopt;
  const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  icu::Formattable result;
  icu::ParsePosition position(0);
  impl_->format->parse(unicode, result, position);
  if (position.getErrorIndex() >= 0 || position.getIndex() == 0 ||
      position.getIndex() != unicode.length()) {
    return std::nullopt;
  }
  UErrorCode status = U_ZERO_ERROR;
  const double value = result.getDouble(status);
  if (U_FAILURE(status)) return std::nullopt;
  return value;
}

bool UniversalDecimalNumberFormatter::getObjectValue(double* slot, std::string_view text,
                                                     std::string* /*errorDescription*/) const {
  if (slot == nullptr) return false;
  const auto value = toDoubleByUsingFlexibleSeparator(text);
  if (!value) return false;
  *slot = *value;
  return true;
}

std::string UniversalDecimalNumberFormatter::string(double number) const {
  std::lock_guard lock(mutex_);
  if (!impl_->format) return std::to_string(number);
  icu::UnicodeString formatted;
  impl_->format->format(number, formatted);
  std::string result;
  formatted.toUTF8String(result);
  return result;
}

}  // namespace chronelle
