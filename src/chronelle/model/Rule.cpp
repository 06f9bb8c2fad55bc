#include "chronelle/model/Rule.h"

#include "chronelle/model/ApplicationBundle.h"
#include "chronelle/model/JetbrainsToolbox.h"
#include "chronelle/model/NSDictionaryValueTransformer.h"
#include "chronelle/platform/Url.h"

namespace chronelle {
namespace {

constexpr const char* kApplicationPath = "applicationPath";
constexpr const char* kFilePath = "filePath";
constexpr const char* kTypeValue = "typeValue";
constexpr const char* kWebsiteUrl = "websiteUrl";
constexpr const char* kText = "text";
constexpr const char* kRelationValue = "relationValue";
constexpr const char* kIsInActiveWindow = "isInActiveWindow";
constexpr const char* kUserInfo = "userInfo";

Value optionalString(std::optional<std::string> text) {
  return text ? Value(std::move(*text)) : Value();
}

}  // namespace

std::optional<std::string> Rule::applicationPath() const {
  return value(kApplicationPath).asString();
}
void Rule::setApplicationPath(std::optional<std::string> path) {
  setValue(kApplicationPath, optionalString(std::move(path)));
}

std::optional<std::string> Rule::filePath() const { return value(kFilePath).asString(); }
void Rule::setFilePath(std::optional<std::string> path) {
  setValue(kFilePath, optionalString(std::move(path)));
}

std::int16_t Rule::typeValue() const {
  return static_cast<std::int16_t>(value(kTypeValue).asInteger().value_or(0));
}
void Rule::setTypeValue(std::int16_t rawValue) { setValue(kTypeValue, rawValue); }

std::optional<std::string> Rule::websiteUrl() const { return value(kWebsiteUrl).asString(); }
void Rule::setWebsiteUrl(std::optional<std::string> url) {
  setValue(kWebsiteUrl, optionalString(std::move(url)));
}

std::optional<std::string> Rule::text() const { return value(kText).asString(); }
void Rule::setText(std::optional<std::string> text) {
  setValue(kText, optionalString(std::move(text)));
}

std::int16_t Rule::relationValue() const {
  return static_cast<std::int16_t>(value(kRelationValue).asInteger().value_or(0));
}
void Rule::setRelationValue(std::int16_t rawValue) { setValue(kRelationValue, rawValue); }

bool Rule::isInActiveWindow() const { return value(kIsInActiveWindow).asBool().value_or(false); }
void Rule::setIsInActiveWindow(bool inActiveWindow) { setValue(kIsInActiveWindow, inActiveWindow); }

std::optional<ValueDictionary> Rule::userInfo() const {
  return NSDictionaryValueTransformer::reverseTransformedValue(value(kUserInfo));
}
void Rule::setUserInfo(const std::optional<ValueDictionary>& userInfo) {
  setValue(kUserInfo, userInfo ? Value(NSDictionaryValueTransformer::encode(*userInfo)) : Value());
}

RuleType Rule::type() const { return RuleType::fromStored(typeValue()); }
void Rule::setType(RuleType type) { setTypeValue(type.rawValue()); }

TextMatchRelation Rule::textMatchRelation() const {
  return TextMatchRelation::fromRaw(relationValue()).value_or(TextMatchRelation::contains);
}
void Rule::setTextMatchRelation(TextMatchRelation relation) {
  setRelationValue(relation.rawValue());
}

FileMatchRelation Rule::fileMatchRelation() const {
  return FileMatchRelation::fromRaw(relationValue()).value_or(FileMatchRelation::pathIs);
}
void Rule::setFileMatchRelation(FileMatchRelation relation) {
  setRelationValue(relation.rawValue());
}

std::optional<std::string> Rule::bundleId() const {
  const auto path = applicationPath();
  if (!path) return std::nullopt;
  if (auto jetbrains = bundleIdFromJetbrainsToolboxActivatorApplication(*path)) return jetbrains;
  // Through a file URL, as the platform opens bundles by URL: a relative path becomes
  // absolute against the working directory.
  const auto location = Url::fileUrl(*path).filePath();
  if (!location) return std::nullopt;
  return ApplicationBundle::bundleIdentifier(*location);
}

void Rule::setUserInfo(const Value& value, const std::string& key) {
  ValueDictionary dictionary = userInfo().value_or(ValueDictionary{});
  if (value.isNull()) {
    dictionary.erase(key);
  } else {
    dictionary[key] = value;
  }
  setUserInfo(std::optional<ValueDictionary>(std::move(dictionary)));
}

}  // namespace chronelle
