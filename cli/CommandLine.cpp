// Dispatch of the command line: global options, the command table, help and exit statuses.

#include <cstdlib>
#include <functional>
#include <map>

#include "Arguments.h"
#include "CliError.h"
#include "TextInput.h"
#include "Commands.h"
#include "chronelle/platform/Logger.h"

namespace chronelle::cli {
namespace {

// Library logs stay out of the command's output unless CHRONELLE_LOG names a level.
class DiscardingLogHandler final : public LogHandler {
 public:
  void log(const LogRecord&) noexcept override {}
};

void setUpLogging() {
  const char* level = std::getenv("CHRONELLE_LOG");
  static const std::map<std::string, LogLevel> levels = {
      {"trace", LogLevel::trace}, {"debug", LogLevel::debug},     {"info", LogLevel::info},
      {"notice", LogLevel::notice}, {"warning", LogLevel::warning}, {"error", LogLevel::error}};
  if (level && levels.count(level)) {
    Logger::bootstrap(nullptr);
    Logger::setDefaultLogLevel(levels.at(level));
  } else {
    Logger::bootstrap(std::make_shared<DiscardingLogHandler>());
    Logger::setDefaultLogLevel(LogLevel::critical);
  }
}

using Handler = std::function<void(CommandContext&, const Args&)>;

const std::map<std::string, Handler>& commandTable() {
  static const std::map<std::string, Handler> table = {
      {"folder", folderCommand}, {"task", taskCommand},     {"node", nodeCommand},     {"tree", treeCommand},
      {"start", startCommand},   {"pause", pauseCommand},   {"toggle", toggleCommand}, {"clear", clearCommand},
      {"status", statusCommand}, {"prefs", prefsCommand},   {"entry", entryCommand},   {"export", exportCommand},
      {"import", importCommand}, {"report", reportCommand}, {"list", listCommand}, {"parse", parseCommand},   {"demo", demoCommand},
      {"check", checkCommand},   {"rule", ruleCommand},     {"activity", activityCommand},
      {"watch", watchCommand},   {"__complete", completeCommand},
  };
  return table;
}

bool asksForHelp(const Args& args) {
  for (const auto& arg : args) {
    if (arg == "--") return false;
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> commandNames() {
  std::vector<std::string> names;
  for (const auto& [name, handler] : commandTable()) {
    if (name.rfind("__", 0) != 0) names.push_back(name);
  }
  return names;
}

std::string versionText() { return std::string("chronelle ") + CHRONELLE_VERSION + "\n"; }

void parseCommand(CommandContext& ctx, const Args& args) {
  Arguments arguments(args, {});
  arguments.expectPositionals(1, 1, "chronelle parse DURATION");
  const double seconds = TimeParser::parseDuration(arguments.positionals().front());
  if (ctx.json()) {
    ctx.print(Json{{"text", arguments.positionals().front()}, {"seconds", seconds}});
  } else {
    ctx.out() << seconds << " s (" << formatDuration(seconds) << ")\n";
  }
}

int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  setUpLogging();
  try {
    const GlobalOptions options = GlobalOptions::parse(args, [](const char* name) -> std::optional<std::string> {
      const char* value = std::getenv(name);
      return value ? std::optional<std::string>(value) : std::nullopt;
    });
    if (!options.command.empty() && (options.command.front() == "--version" || options.command.front() == "version")) {
      out << versionText();
      return 0;
    }
    if (options.command.empty() || options.command.front() == "help" || options.command.front() == "--help" ||
        options.command.front() == "-h") {
      const std::string topic = options.command.size() > 1 ? options.command[1] : "";
      const std::string text = helpText(topic);
      if (text.empty()) throw CliError::usage("unknown command " + quoteInput(topic));
      out << text;
      return options.command.empty() ? 2 : 0;
    }
    const std::string name = options.command.front();
    const auto& table = commandTable();
    const auto found = table.find(name);
    if (found == table.end()) throw CliError::usage("unknown command " + quoteInput(name) + " (see 'chronelle --help')");
    const Args rest(options.command.begin() + 1, options.command.end());
    if (asksForHelp(rest)) {
      std::string topic = name;
      if (!rest.empty() && rest.front().rfind("-", 0) != 0 && !helpText(name + " " + rest.front()).empty()) {
        topic += " " + rest.front();
      }
      out << helpText(topic);
      return 0;
    }
    const TimeSetup time(options);
    CommandContext context(options, time.parser(), out);
    found->second(context, rest);
    out.flush();
    return 0;
  } catch (const CliError& e) {
    out.flush();
    err << "chronelle: " << oneLine(e.what()) << '\n';
    return e.exitStatus();
  } catch (const std::exception& e) {
    out.flush();
    err << "chronelle: " << oneLine(e.what()) << '\n';
    return 1;
  }
}

}  // namespace chronelle::cli
