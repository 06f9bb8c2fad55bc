#include "chronelle/model/JetbrainsToolbox.h"

#include <array>
#include <utility>

#include "chronelle/support/UnicodeText.h"

namespace chronelle {
namespace {

// Searched in this order; the first key the name contains wins.
constexpr std::array<std::pair<std::string_view, std::string_view>, 11> kIdentifiers{{
    {"intellij", "com.jetbrains.intellij"},
    {"webstorm", "com.jetbrains.webstorm"},
    {"appcode", "com.jetbrains.appcode"},
    {"goland", "com.jetbrains.goland"},
    {"phpstorm", "com.jetbrains.phpstorm"},
    {"pycharm", "com.jetbrains.pycharm"},
    {"rubymine", "com.jetbrains.rubymine"},
    {"clion", "com.jetbrains.clion"},
    {"rider", "com.jetbrains.rider"},
    {"projector", "com.electron.projector"},
    {"mps", "com.jetbrains.mps"},
}};

// The last path component, ignoring trailing slashes.
std::string_view lastPathComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos || path.size() == 1 ? path : path.substr(slash + 1);
}

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

}  // namespace

std::optional<std::string> bundleIdFromJetbrainsToolboxActivatorApplication(
    std::string_view applicationPath) {
  if (!contains(applicationPath, "/JetBrains Toolbox/")) return std::nullopt;
  const std::string name = lowercased(lastPathComponent(applicationPath));
  if (contains(name, "intellij") && contains(name, "community")) return "com.jetbrains.intellij.ce";
  if (contains(name, "pycharm") && contains(name, "community")) return "com.jetbrains.pycharm.ce";
  for (const auto& [key, identifier] : kIdentifiers) {
    if (contains(name, key)) return std::string(identifier);
  }
  return std::nullopt;
}

}  // namespace chronelle
