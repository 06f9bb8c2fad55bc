// The text of `--help` for every command.

#include <map>

#include "Commands.h"

namespace chronelle::cli {
namespace {

constexpr const char* kPeriod =
    "PERIOD: --day [DATE] | --week [DATE] | --month [DATE] | --year [DATE] | --from TIME --to TIME\n"
    "        (default: --day, today)\n";

const std::map<std::string, std::string>& texts() {
  static const std::map<std::string, std::string> table = {
      {"",
       "usage: chronelle [global options] <command> [arguments]\n\n"
       "Global options:\n"
       "  --store DIR          store directory (default $CHRONELLE_HOME, else ~/.local/share/chronelle)\n"
       "  --json               print one JSON document\n"
       "  --now TIME           the current instant (also $CHRONELLE_NOW)\n"
       "  --tz ZONE            time zone, e.g. Europe/Berlin (also $TZ)\n"
       "  --week-start DAY     first day of the week: monday … sunday\n\n"
       "Commands:\n"
       "  folder add PATH                      create a folder\n"
       "  task add PATH [options]              create a task\n"
       "  node edit|move|archive|unarchive|delete|sort …\n"
       "  tree [--all]                         the tree of folders and tasks\n"
       "  start [TASK] [--at TIME] [--auto]    start the timer\n"
       "  pause [--at TIME]                    pause the timer\n"
       "  toggle | clear | status              timer\n"
       "  prefs [--rounding on|off] [--step D] [--method nearest|up|down] [--min D]\n"
       "  entry add|edit|delete|duplicate|merge …\n"
       "  report [PERIOD] [--by summary|billing|node|flat] [--chart day|month] …\n"
       "  list [PERIOD]                        entries by day, newest first\n"
       "  export [PERIOD] --format csv|json\n"
       "  import timewarrior FILE|-\n"
       "  check [--repair]                     compare the totals of tasks and folders with their entries\n"
       "  parse DURATION                       the seconds of a duration\n"
       "  demo                                 build a sample store and show it\n\n"
       "Times: 2026-12-05T09:30, '2026-12-05 09:30[:ss]', optional Z or ±hh:mm; 09:30 is today.\n"
       "Nodes: a path of exact names 'Folder/Sub/Task', or @IDENTIFIER.\n"
       "Run 'chronelle <command> --help' for details.\n"},
      {"folder", "usage: chronelle folder add PATH\n  Creates a folder; its parent folder must exist.\n"},
      {"folder add", "usage: chronelle folder add PATH\n  Creates a folder; its parent folder must exist.\n"},
      {"task",
       "usage: chronelle task add PATH [--rate R] [--billable|--non-billable] [--color NAME] [--notes TEXT]\n"
       "  Creates a task in the folder named by PATH (or at the top).\n"},
      {"task add",
       "usage: chronelle task add PATH [--rate R] [--billable|--non-billable] [--color NAME] [--notes TEXT]\n"},
      {"node",
       "usage:\n"
       "  chronelle node edit PATH [--name N] [--rate R|--inherit-rate]\n"
       "        [--billable|--non-billable|--inherit-billable] [--color NAME] [--notes T|--no-notes]\n"
       "  chronelle node move PATH (--to FOLDER|--top) [--at N|--last]\n"
       "  chronelle node archive|unarchive PATH [--to-top]\n"
       "  chronelle node delete PATH…\n"
       "  chronelle node sort [FOLDER]\n"},
      {"tree", "usage: chronelle tree [--all]\n  Lists folders and tasks; --all includes archived ones.\n"},
      {"start",
       "usage: chronelle start [TASK] [--at TIME] [--auto]\n"
       "  Starts a new entry (on TASK, else the current task), pausing a running one first.\n"},
      {"pause", "usage: chronelle pause [--at TIME]\n  Ends the current entry, rounded by the preferences.\n"},
      {"toggle", "usage: chronelle toggle\n  Pauses a running entry, else starts one on the current task.\n"},
      {"clear", "usage: chronelle clear\n  Lets go of the current entry, keeping the task.\n"},
      {"status", "usage: chronelle status\n  The timer's state, task and entry.\n"},
      {"prefs",
       "usage: chronelle prefs [--rounding on|off] [--step D] [--method nearest|up|down] [--min D]\n"
       "  Shows or changes the timer's rounding preferences.\n"},
      {"entry",
       "usage:\n"
       "  chronelle entry add TASK --from TIME --to TIME [--notes T]\n"
       "  chronelle entry edit ID [--from T] [--to T] [--task TASK] [--notes T|--no-notes]\n"
       "        [--status unbilled|billed|paid] [--rate R]\n"
       "  chronelle entry delete ID…\n"
       "  chronelle entry duplicate ID [--with-notes]\n"
       "  chronelle entry merge ID… --into TASK (--push|--fill)\n"
       "  ID is an entry identifier or a unique prefix of one.\n"},
      {"report",
       std::string("usage: chronelle report [PERIOD] [--node PATH]… [--status nonbillable|unbilled|billed|paid]…\n"
                   "        [--archived active|archived] [--by summary|billing|node|flat] [--chart day|month]\n") +
           kPeriod},
      {"list", std::string("usage: chronelle list [PERIOD]\n  Entries by day, newest day first.\n") + kPeriod},
      {"export", std::string("usage: chronelle export [PERIOD] --format csv|json\n") + kPeriod},
      {"import",
       "usage: chronelle import timewarrior FILE|-\n"
       "  Imports the JSON that 'timew export' prints, in one write.\n"},
      {"check",
       "usage: chronelle check [--repair]\n"
       "  Lists the tasks and folders whose stored total differs from the sum of their entries\n"
       "  (exit status 1 when any does); --repair recomputes them all and saves once.\n"},
      {"parse", "usage: chronelle parse DURATION\n  Prints the seconds of a duration such as 1h30m, 90 or 1:30.\n"},
      {"demo",
       "usage: chronelle demo\n"
       "  Builds a sample tree and three months of entries in a new temporary store (or --store)\n"
       "  and prints the tree, a report and a chart.\n"},
  };
  return table;
}

}  // namespace

std::string helpText(const std::string& command) {
  const auto found = texts().find(command);
  return found == texts().end() ? std::string() : found->second;
}

}  // namespace chronelle::cli
