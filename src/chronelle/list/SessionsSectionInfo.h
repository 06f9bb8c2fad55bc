#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "chronelle/list/SessionFragment.h"

namespace chronelle {

/// One day section of the session list: the day's text and its fragments, latest `from`
/// first. A value type; its fragments are shared with the list.
struct SessionsSectionInfo {
  /// The day ("yyyy-MM-dd" in the local time zone); also the section's identity.
  std::string name;
  /// Always absent in the session list.
  std::optional<std::string> indexTitle;
  /// The day's fragments; absent counts as none.
  std::optional<std::vector<std::shared_ptr<SessionFragment>>> objects;

  /// A section with its name, index title and fragments.
  SessionsSectionInfo(std::string name, std::optional<std::string> indexTitle,
                      std::optional<std::vector<std::shared_ptr<SessionFragment>>> objects)
      : name(std::move(name)), indexTitle(std::move(indexTitle)), objects(std::move(objects)) {}

  /// The number of `objects`; 0 when absent.
  std::size_t numberOfObjects() const { return objects ? objects->size() : 0; }
};

}  // namespace chronelle
