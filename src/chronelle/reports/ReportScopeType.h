#pragma once

#include <optional>
#include <string>

namespace chronelle {

/// The kind of period a report covers. Raw values start at 1. A value type.
enum class ReportScopeType : int { daily = 1, weekly = 2, monthly = 3, yearly = 4, custom = 5 };

/// The type of `rawValue`, or nothing outside 1…5.
std::optional<ReportScopeType> reportScopeTypeFromRaw(int rawValue);

/// The case name ("daily" … "custom"), for descriptions and logs.
const char* toString(ReportScopeType type);

/// The user-visible name: "Daily", "Weekly", "Monthly", "Yearly" or "Custom" looked up in the
/// application's localisation table (the key itself when it has no entry). Thread-safe.
std::string localizedName(ReportScopeType type);

}  // namespace chronelle
