#pragma once

#include <string>
#include <vector>

#include "CommandContext.h"

namespace chronelle::cli {

// The commands, each given the arguments after its name (a group's subcommand included).
// Each validates everything it reads before its one write, so a command that throws leaves
// the store unchanged. Throw CliError for usage errors and failures; library errors pass
// through (exit status 1). Main thread.
using Args = std::vector<std::string>;

void folderCommand(CommandContext& ctx, const Args& args);
void taskCommand(CommandContext& ctx, const Args& args);
void nodeCommand(CommandContext& ctx, const Args& args);
void treeCommand(CommandContext& ctx, const Args& args);

void startCommand(CommandContext& ctx, const Args& args);
void pauseCommand(CommandContext& ctx, const Args& args);
void toggleCommand(CommandContext& ctx, const Args& args);
void clearCommand(CommandContext& ctx, const Args& args);
void statusCommand(CommandContext& ctx, const Args& args);
void prefsCommand(CommandContext& ctx, const Args& args);

void entryCommand(CommandContext& ctx, const Args& args);
void exportCommand(CommandContext& ctx, const Args& args);
void importCommand(CommandContext& ctx, const Args& args);
void reportCommand(CommandContext& ctx, const Args& args);
void listCommand(CommandContext& ctx, const Args& args);
void parseCommand(CommandContext& ctx, const Args& args);
void demoCommand(CommandContext& ctx, const Args& args);
// Exit status 1 when totals are stale and not repaired.
void checkCommand(CommandContext& ctx, const Args& args);
void ruleCommand(CommandContext& ctx, const Args& args);
void activityCommand(CommandContext& ctx, const Args& args);
// Runs until SIGINT or SIGTERM.
void watchCommand(CommandContext& ctx, const Args& args);
// Words for bash completion: `__complete commands|subcommands CMD|options CMD|nodes`.
void completeCommand(CommandContext& ctx, const Args& args);

// The help text of `command` (empty name: the overview); empty when there is no such command.
std::string helpText(const std::string& command);
// The names of the commands in the command table, sorted.
std::vector<std::string> commandNames();
// "chronelle <version>", the project's version.
std::string versionText();

// Runs the program on `args` (without the program name): returns the exit status, having
// written the result to `out` and any error as one line "chronelle: …" to `err`.
int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace chronelle::cli
