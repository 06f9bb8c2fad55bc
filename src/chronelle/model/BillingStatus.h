#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "chronelle/platform/Color.h"

namespace chronelle {

/// Where a time entry stands in billing: not yet billed, billed, or paid. Stored in
/// `Session.billingStatusValue` as its raw value. Used like an enumeration
/// (`BillingStatus::paid`, `switch (status)`); a value type, thread-safe as any value.
class BillingStatus {
 public:
  /// The cases, with their stored raw values.
  enum Case : std::int16_t { unbilled = 0, billed = 1, paid = 2 };

  /// The value of `value`; implicit, so a case converts like a plain enumerator.
  constexpr BillingStatus(Case value) : case_(value) {}  // NOLINT: implicit like a plain enum
  /// The case, for `switch` and comparisons.
  constexpr operator Case() const { return case_; }

  /// The status of `raw`, or nothing for a value outside 0…2.
  static constexpr std::optional<BillingStatus> fromRaw(int raw) {
    if (raw < 0 || raw > 2) return std::nullopt;
    return BillingStatus(static_cast<Case>(raw));
  }
  /// unbilled, billed, paid.
  static const std::array<BillingStatus, 3>& allCases();

  /// The stored raw value.
  constexpr std::int16_t rawValue() const { return case_; }
  /// The localised name, looked up through the Localizer under "Unbilled", "Billed", "Paid".
  std::string description() const;
  /// The English name in lower case: "unbilled", "billed", "paid".
  std::string enDescription() const;
  /// The colour that marks the status: the interface's secondary label colour for unbilled
  /// entries, "#FF7601" for billed and "#37B403" for paid ones (the same in both appearances).
  DynamicColor color() const;

 private:
  Case case_;
};

}  // namespace chronelle

template <>
struct std::hash<chronelle::BillingStatus> {
  std::size_t operator()(chronelle::BillingStatus s) const noexcept {
    return std::hash<std::int16_t>()(s.rawValue());
  }
};
