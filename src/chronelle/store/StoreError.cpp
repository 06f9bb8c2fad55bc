#include "chronelle/store/StoreError.h"

#include <cstdint>
#include <string>
#include <vector>

namespace chronelle {

namespace {

// Renders the user-info values the store itself puts there; anything else (objects of
// the application) is shown by its type only, which is all a log line needs.
std::string describeAny(const std::any& value) {
  if (const auto* s = std::any_cast<std::string>(&value)) return "\"" + *s + "\"";
  if (const auto* s = std::any_cast<const char*>(&value)) return std::string("\"") + *s + "\"";
  if (const auto* i = std::any_cast<int>(&value)) return std::to_string(*i);
  if (const auto* i = std::any_cast<std::int64_t>(&value)) return std::to_string(*i);
  if (const auto* d = std::any_cast<double>(&value)) return std::to_string(*d);
  if (const auto* b = std::any_cast<bool>(&value)) return *b ? "1" : "0";
  if (const auto* errors = std::any_cast<std::vector<StoreError>>(&value)) {
    std::string text = "(";
    for (std::size_t i = 0; i < errors->size(); ++i) {
      if (i > 0) text += ", ";
      text += (*errors)[i].description();
    }
    return text + ")";
  }
  if (!value.has_value()) return "nil";
  return std::string("<") + value.type().name() + ">";
}

}  // namespace

StoreError::StoreError(int code, std::string message, std::map<std::string, std::any> userInfo)
    : std::runtime_error(std::move(message)), code_(code), userInfo_(std::move(userInfo)) {}

std::string StoreError::description() const {
  std::string text = "Error Domain=" + domain_ + " Code=" + std::to_string(code_) + " \"" + what() +
                     "\" UserInfo={";
  bool first = true;
  for (const auto& [key, value] : userInfo_) {
    if (!first) text += ", ";
    first = false;
    text += key + "=" + describeAny(value);
  }
  return text + "}";
}

}  // namespace chronelle
