#include "RuleFields.h"

#include "CliError.h"
#include "RuleRendering.h"
#include "TextInput.h"
#include "chronelle/model/Rule.h"

namespace chronelle::cli {

void RuleFields::applyTo(Rule& rule) const {
  if (type) rule.setTypeValue(*type);
  for (const auto& [name, value] : texts) {
    if (name == "app") rule.setApplicationPath(value);
    if (name == "file") rule.setFilePath(value);
    if (name == "url") rule.setWebsiteUrl(value);
    if (name == "text") rule.setText(value);
  }
  if (relation) rule.setRelationValue(*relation);
  if (activeWindow) rule.setIsInActiveWindow(*activeWindow);
  for (const auto& [key, value] : userInfo) rule.setUserInfo(value ? Value(*value) : Value(), key);
}

RuleFields RuleFields::read(const Arguments& args) {
  RuleFields fields;
  if (const auto type = args.value("type")) {
    const auto parsed = type->size() == 1 && (*type)[0] >= '0' && (*type)[0] <= '8'
                            ? std::optional<int>((*type)[0] - '0')
                            : std::nullopt;
    if (!parsed) throw CliError::usage("--type takes a rule type 0 … 8");
    fields.type = static_cast<std::int16_t>(*parsed);
  }
  for (const std::string name : {"app", "file", "url", "text"}) {
    if (args.has(name) && args.has("no-" + name)) throw CliError::usage("give --" + name + " or --no-" + name);
    if (const auto value = args.value(name)) {
      checkNotes(*value, "--" + name);
      fields.texts[name] = *value;
    }
    if (args.has("no-" + name)) fields.texts[name] = std::nullopt;
  }
  if (args.has("text-match") && args.has("file-match")) throw CliError::usage("give --text-match or --file-match");
  if (const auto match = args.value("text-match")) {
    const auto raw = textMatchNamed(*match);
    if (!raw) throw CliError::usage("--text-match takes exact, contains, starts-with or ends-with");
    fields.relation = static_cast<std::int16_t>(*raw);
  }
  if (const auto match = args.value("file-match")) {
    const auto raw = fileMatchNamed(*match);
    if (!raw) throw CliError::usage("--file-match takes path-is, name-contains, path-contains, name-regex or path-regex");
    fields.relation = static_cast<std::int16_t>(*raw);
  }
  if (args.has("active-window") && args.has("any-window")) throw CliError::usage("give --active-window or --any-window");
  if (args.has("active-window")) fields.activeWindow = true;
  if (args.has("any-window")) fields.activeWindow = false;
  for (const auto& pair : args.values("set")) {
    const auto eq = pair.find('=');
    if (eq == std::string::npos || eq == 0) throw CliError::usage("--set takes KEY=VALUE, not " + quoteInput(pair));
    checkNotes(pair, "--set");
    fields.userInfo.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
  }
  for (const auto& key : args.values("unset")) {
    checkNotes(key, "--unset");
    fields.userInfo.emplace_back(key, std::nullopt);
  }
  return fields;
}

}  // namespace chronelle::cli
