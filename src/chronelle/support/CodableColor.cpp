#include "chronelle/support/CodableColor.h"

#include <nlohmann/json.hpp>

namespace chronelle {

void to_json(nlohmann::json& json, const CodableColor& color) {
  json = nlohmann::json{
      {"red", color.red}, {"green", color.green}, {"blue", color.blue}, {"alpha", color.alpha}};
}

void from_json(const nlohmann::json& json, CodableColor& color) {
  // at() rather than operator[] so a missing key throws instead of reading null.
  json.at("red").get_to(color.red);
  json.at("green").get_to(color.green);
  json.at("blue").get_to(color.blue);
  json.at("alpha").get_to(color.alpha);
}

}  // namespace chronelle
