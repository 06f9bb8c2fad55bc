#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace chronelle {

/// The bundle identifier of a JetBrains IDE launched from a JetBrains Toolbox folder, derived
/// from the application's name, since the Toolbox's launcher bundles do not carry the IDE's
/// own identifier. `applicationPath` is a file path. Absent when the path does not contain
/// "/JetBrains Toolbox/" (case-sensitive) or its last component names no known IDE. Community
/// editions of IntelliJ IDEA and PyCharm have their own identifiers. Pure; thread-safe.
std::optional<std::string> bundleIdFromJetbrainsToolboxActivatorApplication(
    std::string_view applicationPath);

}  // namespace chronelle
