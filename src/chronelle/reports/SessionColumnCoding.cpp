// The keyed encoding of chart columns and their segments. Decoding is strict, as the
// platform's keyed decoder is: a missing key or a value of another kind fails the whole
// record (nlohmann's own conversions would turn a boolean into a number, or truncate a
// fraction into an integer).

#include <nlohmann/json.hpp>
#include <string>

#include "chronelle/reports/SessionColumnData.h"
#include "chronelle/reports/SessionColumnSegment.h"

namespace chronelle {
namespace {

template <class Json>
[[noreturn]] void wrongKind(const std::string& key, const char* expected) {
  throw Json::type_error::create(302, "value of \"" + key + "\" is not " + expected, nullptr);
}

template <class Json>
bool readBool(const Json& json, const std::string& key) {
  const Json& value = json.at(key);
  if (!value.is_boolean()) wrongKind<Json>(key, "a boolean");
  return value.template get<bool>();
}

template <class Json>
double readDouble(const Json& json, const std::string& key) {
  const Json& value = json.at(key);
  if (!value.is_number()) wrongKind<Json>(key, "a number");
  return value.template get<double>();
}

template <class Json>
std::int64_t readInteger(const Json& json, const std::string& key) {
  const Json& value = json.at(key);
  if (!value.is_number_integer()) wrongKind<Json>(key, "an integer");
  return value.template get<std::int64_t>();
}

template <class Json>
std::string readString(const Json& json, const std::string& key) {
  const Json& value = json.at(key);
  if (!value.is_string()) wrongKind<Json>(key, "a string");
  return value.template get<std::string>();
}

template <class Json>
void encodeSegment(Json& json, const SessionColumnSegment& segment) {
  json = Json::object();
  json["taskId"] = segment.taskId.absoluteString();
  json["taskName"] = segment.taskName;
  json["taskParentNameIsSet"] = segment.taskParentName.has_value();
  if (segment.taskParentName) json["taskParentName"] = *segment.taskParentName;
  Json color = Json::object();
  color["red"] = segment.color.red;
  color["green"] = segment.color.green;
  color["blue"] = segment.color.blue;
  color["alpha"] = segment.color.alpha;
  json["color"] = std::move(color);
  json["taskIsArchived"] = segment.taskIsArchived;
  json["taskIsBillable"] = segment.taskIsBillable;
  json["duration"] = segment.duration;
  json["revenue"] = segment.revenue;
  json["sessionCount"] = segment.sessionCount;
}

template <class Json>
void decodeSegment(const Json& json, SessionColumnSegment& segment) {
  SessionColumnSegment decoded;
  const std::string uri = readString(json, "taskId");
  auto url = Url::parse(uri);
  if (!url) wrongKind<Json>("taskId", "a URL");
  decoded.taskId = *url;
  decoded.taskName = readString(json, "taskName");
  if (readBool(json, "taskParentNameIsSet")) decoded.taskParentName = readString(json, "taskParentName");
  const Json& color = json.at("color");
  decoded.color = Color{readDouble(color, "red"), readDouble(color, "green"), readDouble(color, "blue"),
                        readDouble(color, "alpha"), ColorSpace::sRGB};
  decoded.taskIsArchived = readBool(json, "taskIsArchived");
  decoded.taskIsBillable = readBool(json, "taskIsBillable");
  decoded.duration = readDouble(json, "duration");
  decoded.revenue = readDouble(json, "revenue");
  decoded.sessionCount = readInteger(json, "sessionCount");
  segment = std::move(decoded);
}

template <class Json>
void encodeColumn(Json& json, const SessionColumnData& column) {
  json = Json::object();
  Json segments = Json::array();
  for (const auto& segment : column.segments) {
    Json encoded;
    encodeSegment(encoded, segment);
    segments.push_back(std::move(encoded));
  }
  json["segments"] = std::move(segments);
  json["date"] = column.date.timeIntervalSince1970();
  json["sessionCount"] = column.sessionCount;
}

template <class Json>
void decodeColumn(const Json& json, SessionColumnData& column) {
  SessionColumnData decoded;
  const Json& segments = json.at("segments");
  if (!segments.is_array()) wrongKind<Json>("segments", "an array");
  for (const auto& element : segments) {
    SessionColumnSegment segment;
    decodeSegment(element, segment);
    decoded.segments.push_back(std::move(segment));
  }
  decoded.date = Date::fromSecondsSince1970(readDouble(json, "date"));
  decoded.sessionCount = readInteger(json, "sessionCount");
  column = std::move(decoded);
}

}  // namespace

void to_json(nlohmann::json& json, const SessionColumnSegment& segment) { encodeSegment(json, segment); }
void to_json(nlohmann::ordered_json& json, const SessionColumnSegment& segment) { encodeSegment(json, segment); }
void from_json(const nlohmann::json& json, SessionColumnSegment& segment) { decodeSegment(json, segment); }
void from_json(const nlohmann::ordered_json& json, SessionColumnSegment& segment) { decodeSegment(json, segment); }

void to_json(nlohmann::json& json, const SessionColumnData& column) { encodeColumn(json, column); }
void to_json(nlohmann::ordered_json& json, const SessionColumnData& column) { encodeColumn(json, column); }
void from_json(const nlohmann::json& json, SessionColumnData& column) { decodeColumn(json, column); }
void from_json(const nlohmann::ordered_json& json, SessionColumnData& column) { decodeColumn(json, column); }

}  // namespace chronelle
