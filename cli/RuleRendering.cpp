#include "RuleRendering.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <sstream>

#include "NodeDirectory.h"
#include "chronelle/model/Rule.h"
#include "chronelle/model/RuleCombination.h"
#include "chronelle/model/RuleSet.h"
#include "chronelle/model/Task.h"

namespace chronelle::cli {
namespace {

constexpr std::array<const char*, 4> kTextMatches = {"exact", "contains", "starts-with", "ends-with"};
constexpr std::array<const char*, 5> kFileMatches = {"path-is", "name-contains", "path-contains", "name-regex",
                                                     "path-regex"};

template <std::size_t N>
std::optional<int> indexOf(const std::array<const char*, N>& names, const std::string& text) {
  for (std::size_t i = 0; i < N; ++i) {
    if (text == names[i]) return static_cast<int>(i);
  }
  return std::nullopt;
}

template <class Delay>
std::optional<Delay> delayNamed(const std::string& text) {
  for (const auto delay : Delay::allCases()) {
    if (delayName(delay.interval()) == text) return delay;
  }
  return std::nullopt;
}

// Top-level rules of a set, or the children of a combination, in their order.
std::vector<std::shared_ptr<RuleBase>> ordered(std::vector<std::shared_ptr<RuleBase>> rules) {
  std::stable_sort(rules.begin(), rules.end(), [](const auto& a, const auto& b) { return a->order() < b->order(); });
  return rules;
}

std::vector<std::shared_ptr<RuleBase>> childrenOf(const RuleBase& rule) {
  if (const auto* combination = dynamic_cast<const RuleCombination*>(&rule)) return combination->childrenArray();
  return {};
}

Json ruleJson(const RuleBase& base) {
  Json json{{"id", base.identifier().value_or("")}, {"active", base.active()}, {"order", base.order()}};
  if (const auto* rule = dynamic_cast<const Rule*>(&base)) {
    json["kind"] = "rule";
    json["type"] = rule->type().rawValue();
    const auto optionalText = [](const std::optional<std::string>& text) { return text ? Json(*text) : Json(nullptr); };
    json["application"] = optionalText(rule->applicationPath());
    json["file"] = optionalText(rule->filePath());
    json["url"] = optionalText(rule->websiteUrl());
    json["text"] = optionalText(rule->text());
    json["relation"] = rule->relationValue();
    json["textMatch"] = kTextMatches[static_cast<std::size_t>(rule->textMatchRelation().rawValue())];
    json["fileMatch"] = kFileMatches[static_cast<std::size_t>(rule->fileMatchRelation().rawValue())];
    json["activeWindow"] = rule->isInActiveWindow();
    Json info = Json::object();
    for (const auto& [key, value] : rule->userInfo().value_or(ValueDictionary{})) {
      info[key] = value.asString().value_or(value.description());
    }
    json["userInfo"] = info;
  } else {
    json["kind"] = "combination";
    Json children = Json::array();
    for (const auto& child : childrenOf(base)) children.push_back(ruleJson(*child));
    json["children"] = children;
  }
  return json;
}

void ruleText(std::ostream& out, const RuleBase& base, int depth) {
  out << std::string(static_cast<std::size_t>(2 + depth * 2), ' ') << shortId(base.identifier()) << "  ";
  if (const auto* rule = dynamic_cast<const Rule*>(&base)) {
    out << "rule type " << rule->type().rawValue();
    if (rule->applicationPath()) out << "  app " << *rule->applicationPath();
    if (rule->filePath()) out << "  file " << *rule->filePath();
    if (rule->websiteUrl()) out << "  url " << *rule->websiteUrl();
    if (rule->text()) out << "  text \"" << *rule->text() << '"';
    out << "  relation " << rule->relationValue() << " ("
        << kTextMatches[static_cast<std::size_t>(rule->textMatchRelation().rawValue())] << " / "
        << kFileMatches[static_cast<std::size_t>(rule->fileMatchRelation().rawValue())] << ")";
    if (rule->isInActiveWindow()) out << "  in active window";
    for (const auto& [key, value] : rule->userInfo().value_or(ValueDictionary{})) {
      out << "  " << key << "=" << value.asString().value_or(value.description());
    }
  } else {
    out << "group";
  }
  if (!base.active()) out << "  (inactive)";
  out << '\n';
  for (const auto& child : childrenOf(base)) ruleText(out, *child, depth + 1);
}

}  // namespace

std::string startTypeName(RuleSetStartType type) { return type == RuleSetStartType::notify ? "notify" : "active"; }

std::string pauseTypeName(RuleSetPauseType type) {
  switch (type) {
    case RuleSetPauseType::none:
      return "none";
    case RuleSetPauseType::notify:
      return "notify";
    case RuleSetPauseType::active:
      return "active";
  }
  return "active";
}

std::string delayName(double seconds) {
  if (seconds <= 0) return "immediately";
  if (seconds < 60) return std::to_string(static_cast<int>(std::lround(seconds))) + "s";
  return std::to_string(static_cast<int>(std::lround(seconds / 60))) + "m";
}

std::optional<RuleSetStartType> startTypeNamed(const std::string& text) {
  if (text == "notify") return RuleSetStartType::notify;
  if (text == "active") return RuleSetStartType::active;
  return std::nullopt;
}

std::optional<RuleSetPauseType> pauseTypeNamed(const std::string& text) {
  for (const auto type : {RuleSetPauseType::none, RuleSetPauseType::notify, RuleSetPauseType::active}) {
    if (pauseTypeName(type) == text) return RuleSetPauseType(type);
  }
  return std::nullopt;
}

std::optional<RuleSetStartDelay> startDelayNamed(const std::string& text) {
  return delayNamed<RuleSetStartDelay>(text);
}
std::optional<RuleSetPauseDelay> pauseDelayNamed(const std::string& text) {
  return delayNamed<RuleSetPauseDelay>(text);
}
std::optional<int> textMatchNamed(const std::string& text) { return indexOf(kTextMatches, text); }
std::optional<int> fileMatchNamed(const std::string& text) { return indexOf(kFileMatches, text); }

Json ruleSetJson(const Task& task) {
  Json json{{"task", NodeDirectory::pathOf(task)}};
  const auto set = task.ruleSet();
  json["hasRuleSet"] = static_cast<bool>(set);
  if (!set) {
    json["rules"] = Json::array();
    return json;
  }
  json["id"] = set->identifier().value_or("");
  json["active"] = set->active();
  json["start"] = startTypeName(set->startType());
  json["startDelay"] = delayName(set->startDelay().interval());
  json["pause"] = pauseTypeName(set->pauseType());
  json["pauseDelay"] = delayName(set->pauseDelay().interval());
  Json rules = Json::array();
  for (const auto& rule : ordered(set->rules())) rules.push_back(ruleJson(*rule));
  json["rules"] = rules;
  return json;
}

std::string ruleSetText(const Task& task) {
  std::ostringstream out;
  const auto set = task.ruleSet();
  out << "Rules of " << NodeDirectory::pathOf(task);
  if (!set) {
    out << ": none\n";
    return out.str();
  }
  out << (set->active() ? "" : " (inactive)") << '\n';
  const auto after = [](double seconds) {
    return seconds > 0 ? "after " + delayName(seconds) : delayName(seconds);
  };
  out << "  start: " << startTypeName(set->startType()) << " " << after(set->startDelay().interval())
      << "   pause: " << pauseTypeName(set->pauseType()) << " " << after(set->pauseDelay().interval()) << '\n';
  for (const auto& rule : ordered(set->rules())) ruleText(out, *rule, 0);
  return out.str();
}

}  // namespace chronelle::cli
