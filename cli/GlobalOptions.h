#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace chronelle::cli {

// The options that apply to every command, read from the command line (anywhere before a
// "--") with fall-backs in the environment:
//   --store DIR       the store directory; else $CHRONELLE_HOME, else ~/.local/share/chronelle
//   --json            one JSON document on standard output
//   --now TIME        the instant the clock reports; else $CHRONELLE_NOW; else the wall clock
//   --tz ZONE         the time zone of every local time; else $TZ; else the system's zone
//   --week-start DAY  the first day of a week (monday … sunday); else the locale's
// What is left is the command and its arguments. A value type.
struct GlobalOptions {
  std::filesystem::path storeDirectory;
  // True when --store was given on the command line (the demo uses a fresh directory otherwise).
  bool storeGiven = false;
  bool json = false;
  std::optional<std::string> now;
  std::optional<std::string> timeZone;
  // 1 = Sunday … 7 = Saturday; 0 for the locale's own.
  int firstWeekday = 0;
  // The command name and its arguments.
  std::vector<std::string> command;

  // Reads `args` (without the program name). `environment` returns a variable's value, or
  // absent. Throws CliError (usage) for a global option without its value or a day name it
  // does not know.
  static GlobalOptions parse(const std::vector<std::string>& args,
                             const std::function<std::optional<std::string>(const char*)>& environment);
  // The weekday number (1 = Sunday … 7 = Saturday) of an English day name or its first three
  // letters, case-insensitive; absent for anything else.
  static std::optional<int> weekdayNumber(std::string name);
};

}  // namespace chronelle::cli
