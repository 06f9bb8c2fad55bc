#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "chronelle/model/FileMatchRelation.h"
#include "chronelle/model/RuleBase.h"
#include "chronelle/model/RuleType.h"
#include "chronelle/model/TextMatchRelation.h"
#include "chronelle/model/ValueDictionary.h"

namespace chronelle {

/// One leaf rule: a kind of activity (an application, a file, a web page, a text) with what to
/// compare and how. Further settings live in `userInfo`, a dictionary stored through the
/// NSDictionaryValueTransformer. Used on its context's queue only.
class Rule : public RuleBase {
 public:
  /// The entity's name in the object model.
  static constexpr const char* kEntityName = "Rule";
  /// A fetch request for leaf rules.
  static FetchRequest fetchRequest() { return FetchRequest(kEntityName); }
  /// The entity's name, `kEntityName`.
  std::string entityName() const { return kEntityName; }

  /// \name Stored attributes
  ///@{
  std::optional<std::string> applicationPath() const;
  void setApplicationPath(std::optional<std::string> path);
  std::optional<std::string> filePath() const;
  void setFilePath(std::optional<std::string> path);
  std::int16_t typeValue() const;
  void setTypeValue(std::int16_t rawValue);
  std::optional<std::string> websiteUrl() const;
  void setWebsiteUrl(std::optional<std::string> url);
  std::optional<std::string> text() const;
  void setText(std::optional<std::string> text);
  /// A TextMatchRelation or FileMatchRelation raw value, depending on the type.
  std::int16_t relationValue() const;
  void setRelationValue(std::int16_t rawValue);
  bool isInActiveWindow() const;
  void setIsInActiveWindow(bool inActiveWindow);
  /// The settings dictionary; absent when none is stored or the stored data is not one.
  std::optional<ValueDictionary> userInfo() const;
  /// Stores the dictionary (encoded by the transformer); absent clears it.
  void setUserInfo(const std::optional<ValueDictionary>& userInfo);
  ///@}

  /// \name Typed views and helpers
  ///@{

  /// The type of `typeValue`; a value outside 0…8 reads as the case with raw value 6.
  RuleType type() const;
  void setType(RuleType type);
  /// The case of `relationValue`, `contains` outside 0…3.
  TextMatchRelation textMatchRelation() const;
  void setTextMatchRelation(TextMatchRelation relation);
  /// The case of `relationValue`, `pathIs` outside 0…4.
  FileMatchRelation fileMatchRelation() const;
  void setFileMatchRelation(FileMatchRelation relation);

  /// The bundle identifier of the application at `applicationPath`: for a JetBrains Toolbox
  /// launcher the one derived from its name, otherwise the CFBundleIdentifier of the bundle's
  /// Contents/Info.plist. Absent without a path, or when the bundle cannot be read or names
  /// none. Reads the file system; never throws.
  std::optional<std::string> bundleId() const;

  /// `userInfo` when it holds a dictionary, else absent.
  std::optional<ValueDictionary> userInfoDict() const { return userInfo(); }
  /// Sets `value` under `key` in a copy of the dictionary (a new one when there is none) and
  /// stores the copy; an absent (null) value removes the key, still storing a dictionary.
  void setUserInfo(const Value& value, const std::string& key);
  ///@}
};

}  // namespace chronelle
