#pragma once

#include <optional>

#include "chronelle/model/ALEntry.h"
#include "chronelle/platform/Url.h"

namespace chronelle {

/// An activity-log entry of a document-based application, with the open document. Used on its
/// context's queue only.
class DocumentAppALEntry : public ALEntry {
 public:
  /// The entity's name in the object model.
  static constexpr const char* kEntityName = "DocumentAppALEntry";
  /// The "type" of this kind of entry in its dictionary form.
  static constexpr const char* kDictionaryType = "doc";
  /// A fetch request for document entries.
  static FetchRequest fetchRequest() { return FetchRequest(kEntityName); }
  /// The entity's name, `kEntityName`.
  std::string entityName() const { return kEntityName; }

  /// The open document; stored as its absolute string. Absent when none (or the stored text no
  /// longer parses as a URL).
  ///@{
  std::optional<Url> documentUrl() const;
  void setDocumentUrl(const std::optional<Url>& url);
  ///@}

  /// Similar to another document entry of the same application with an equal document URL
  /// (two absent URLs are equal).
  bool isSimilar(const ALEntry& other) const override;
  /// The entry's dictionary with "type" = "doc" and "documentUrl" (absolute string) when set.
  ValueDictionary toDictionary() const override;
  /// As ALEntry, then a string under "documentUrl" sets the document: to the parsed URL, or to
  /// none when it does not parse. Without a string there the document is kept.
  void populate(const ValueDictionary& dictionary) override;
};

}  // namespace chronelle
