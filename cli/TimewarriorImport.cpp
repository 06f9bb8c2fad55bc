#include "TimewarriorImport.h"

#include <nlohmann/json.hpp>
#include <regex>

#include "CliError.h"
#include "TextInput.h"
#include "chronelle/platform/Calendar.h"

namespace chronelle::cli {
namespace {

[[noreturn]] void bad(std::size_t index, const std::string& why) {
  throw CliError::usage("import: element " + std::to_string(index + 1) + ": " + why + "; nothing was imported");
}

// "20240301T080600Z" in UTC.
std::optional<Date> readTime(const std::string& text) {
  static const std::regex form(R"(^(\d{4})(\d{2})(\d{2})T(\d{2})(\d{2})(\d{2})Z$)");
  std::smatch m;
  if (!std::regex_match(text, m, form)) return std::nullopt;
  DateComponents c;
  c.year = std::stoi(m[1]);
  c.month = std::stoi(m[2]);
  c.day = std::stoi(m[3]);
  c.hour = std::stoi(m[4]);
  c.minute = std::stoi(m[5]);
  c.second = std::stoi(m[6]);
  if (*c.month < 1 || *c.month > 12 || *c.day < 1 || *c.day > 31 || *c.hour > 23 || *c.minute > 59 || *c.second > 60) {
    return std::nullopt;
  }
  static const Calendar utc("UTC");
  const auto date = utc.date(c);
  if (!date || utc.components(*date).day != c.day) return std::nullopt;
  return date;
}

}  // namespace

std::vector<TimewarriorInterval> parseTimewarriorExport(const std::string& text) {
  nlohmann::json document;
  try {
    document = nlohmann::json::parse(text);
  } catch (const nlohmann::json::parse_error& e) {
    throw CliError::usage(std::string("import: not JSON (") + e.what() + "); nothing was imported");
  }
  if (!document.is_array()) throw CliError::usage("import: expected a JSON array of intervals; nothing was imported");
  std::vector<TimewarriorInterval> intervals;
  intervals.reserve(document.size());
  for (std::size_t i = 0; i < document.size(); ++i) {
    const auto& element = document[i];
    if (!element.is_object()) bad(i, "not an object");
    TimewarriorInterval interval;
    if (!element.contains("start") || !element["start"].is_string()) bad(i, "missing \"start\"");
    const auto start = readTime(element["start"].get<std::string>());
    if (!start) bad(i, "bad \"start\" " + quoteInput(element["start"].get<std::string>()));
    interval.start = *start;
    if (element.contains("end")) {
      if (!element["end"].is_string()) bad(i, "bad \"end\"");
      interval.end = readTime(element["end"].get<std::string>());
      if (!interval.end) bad(i, "bad \"end\" " + quoteInput(element["end"].get<std::string>()));
      if (*interval.end < interval.start) bad(i, "ends before it starts");
    } else if (i + 1 != document.size()) {
      bad(i, "an open interval (no \"end\") must be the last one");
    }
    std::vector<std::string> tags;
    if (element.contains("tags")) {
      if (!element["tags"].is_array()) bad(i, "\"tags\" is not an array");
      for (const auto& tag : element["tags"]) {
        if (!tag.is_string()) bad(i, "a tag is not a string");
        tags.push_back(tag.get<std::string>());
      }
    }
    interval.taskName = tags.empty() ? "Untagged" : tags.front();
    try {
      checkName(interval.taskName, "first tag");
    } catch (const CliError& e) {
      bad(i, e.what());
    }
    std::string notes;
    if (element.contains("annotation")) {
      if (!element["annotation"].is_string()) bad(i, "\"annotation\" is not a string");
      notes = element["annotation"].get<std::string>();
    }
    for (std::size_t t = 1; t < tags.size(); ++t) notes += (notes.empty() ? "#" : " #") + tags[t];
    try {
      checkNotes(notes, "annotation and tags");
    } catch (const CliError& e) {
      bad(i, e.what());
    }
    if (!notes.empty()) interval.notes = notes;
    intervals.push_back(std::move(interval));
  }
  return intervals;
}

}  // namespace chronelle::cli
