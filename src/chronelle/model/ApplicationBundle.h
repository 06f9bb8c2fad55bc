#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace chronelle {

/// Reads what the library needs from an application bundle folder on disk. Stateless;
/// thread-safe; never throws.
class ApplicationBundle {
 public:
  ApplicationBundle() = delete;

  /// The CFBundleIdentifier of the bundle at `bundlePath`, read from its Contents/Info.plist
  /// in XML property-list form. Absent when the file is missing or unreadable, is not an XML
  /// property list (binary lists are not read), or has no non-empty identifier.
  static std::optional<std::string> bundleIdentifier(const std::filesystem::path& bundlePath);
};

}  // namespace chronelle
