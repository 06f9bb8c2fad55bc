#pragma once

#include <map>
#include <string>
#include <string_view>

namespace chronelle {

/// Localised user-visible texts. The application installs its table (key → text) at
/// start-up; a key without an entry is its own text, so an application without a table
/// shows the keys. Process-wide; thread-safe.
class Localizer {
 public:
  /// Key → localised text.
  using Table = std::map<std::string, std::string, std::less<>>;

  /// The text for `key`, or `key` itself when the table has no entry. Does not throw
  /// except on allocation failure.
  static std::string localizedString(std::string_view key);

  /// Replaces the table (an empty table shows the keys).
  static void setTable(Table table);
  /// Adds or replaces entries of the current table.
  static void addEntries(const Table& entries);
  /// The current table (a copy).
  static Table table();
  /// Removes every entry.
  static void reset();
};

}  // namespace chronelle
