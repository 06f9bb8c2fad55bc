#pragma once

#include <optional>

#include "chronelle/model/ALEntry.h"
#include "chronelle/platform/Url.h"

namespace chronelle {

/// An activity-log entry of a web browser, with the page shown. Used on its context's queue
/// only.
class BrowserALEntry : public ALEntry {
 public:
  /// The entity's name in the object model.
  static constexpr const char* kEntityName = "BrowserALEntry";
  /// The "type" of this kind of entry in its dictionary form.
  static constexpr const char* kDictionaryType = "browser";
  /// A fetch request for browser entries.
  static FetchRequest fetchRequest() { return FetchRequest(kEntityName); }
  /// The entity's name, `kEntityName`.
  std::string entityName() const { return kEntityName; }

  /// The page; stored as its absolute string. Absent when none (or the stored text no longer
  /// parses as a URL).
  ///@{
  std::optional<Url> url() const;
  void setUrl(const std::optional<Url>& url);
  ///@}

  /// Similar to another browser entry of the same application whose page has the same host
  /// (two pages without a host count as the same).
  bool isSimilar(const ALEntry& other) const override;
  /// The entry's dictionary with "type" = "browser" and "url" (its absolute string) when set.
  ValueDictionary toDictionary() const override;
  /// As ALEntry, then a string under "url" sets the page: to the parsed URL, or to none when it
  /// does not parse. Without a string there the page is kept.
  void populate(const ValueDictionary& dictionary) override;
};

}  // namespace chronelle
