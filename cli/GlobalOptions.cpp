#include "GlobalOptions.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "CliError.h"
#include "TextInput.h"

namespace chronelle::cli {

std::optional<int> GlobalOptions::weekdayNumber(std::string name) {
  static const std::array<const char*, 7> names = {"sunday",   "monday", "tuesday", "wednesday",
                                                   "thursday", "friday", "saturday"};
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  if (name.size() < 3) return std::nullopt;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string full = names[i];
    if (name == full || name == full.substr(0, 3)) return static_cast<int>(i) + 1;
  }
  return std::nullopt;
}

GlobalOptions GlobalOptions::parse(const std::vector<std::string>& args,
                                   const std::function<std::optional<std::string>(const char*)>& environment) {
  GlobalOptions options;
  std::optional<std::string> store;
  std::optional<std::string> weekStart;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded) {
      options.command.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      options.command.push_back(arg);
      continue;
    }
    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (arg.rfind("--", 0) == 0) {
      if (const auto eq = arg.find('='); eq != std::string::npos) {
        name = arg.substr(0, eq);
        inlineValue = arg.substr(eq + 1);
      }
    }
    const auto takeValue = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw CliError::usage("option " + quoteInput(name) + " needs a value");
      return args[++i];
    };
    if (name == "--json" && !inlineValue) {
      options.json = true;
    } else if (name == "--store") {
      store = takeValue();
    } else if (name == "--now") {
      options.now = takeValue();
    } else if (name == "--tz") {
      options.timeZone = takeValue();
    } else if (name == "--week-start") {
      weekStart = takeValue();
    } else {
      options.command.push_back(arg);
    }
  }

  options.storeGiven = store.has_value();
  if (!store) store = environment("CHRONELLE_HOME");
  if (store && !store->empty()) {
    options.storeDirectory = *store;
  } else {
    const auto home = environment("HOME");
    options.storeDirectory = std::filesystem::path(home.value_or(".")) / ".local" / "share" / "chronelle";
  }
  if (!options.now) options.now = environment("CHRONELLE_NOW");
  if (options.now && options.now->empty()) options.now.reset();
  if (!options.timeZone) {
    options.timeZone = environment("TZ");
    if (options.timeZone && options.timeZone->empty()) options.timeZone.reset();
    // The C library's ":Area/City" form.
    if (options.timeZone && options.timeZone->front() == ':') options.timeZone->erase(0, 1);
  }
  if (weekStart) {
    const auto day = weekdayNumber(*weekStart);
    if (!day) throw CliError::usage("unknown weekday " + quoteInput(*weekStart) + " for --week-start (monday … sunday)");
    options.firstWeekday = *day;
  }
  return options;
}

}  // namespace chronelle::cli
