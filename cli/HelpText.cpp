// The text of `--help` for every command: its usage, each of its options, and one example
// for each form of the command.

#include <map>

#include "Commands.h"

namespace chronelle::cli {
namespace {

constexpr const char* kPeriod =
    "Period (default: today):\n"
    "  --day [DATE]         the day holding DATE (default today); also --week, --month, --year\n"
    "  --from TIME --to TIME\n"
    "                       a period of your own\n";

constexpr const char* kOverview =
    "usage: chronelle [global options] <command> [arguments]\n\n"
    "Global options:\n"
    "  --store DIR          store directory (default $CHRONELLE_HOME, else ~/.local/share/chronelle)\n"
    "  --json               print one JSON document\n"
    "  --now TIME           the current instant (also $CHRONELLE_NOW)\n"
    "  --tz ZONE            time zone, e.g. Europe/Berlin (also $TZ)\n"
    "  --week-start DAY     first day of the week: monday … sunday\n"
    "  --version            the program's version\n\n"
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
    "  report [PERIOD] [--by …] [--chart day|month] [--format text|json|html] [-o FILE]\n"
    "  list [PERIOD]                        entries by day, newest first\n"
    "  watch                                live view of the timer and today's entries\n"
    "  rule list|add|edit|move|activate|deactivate|delete|settings …   automatic-tracking rules\n"
    "  activity add|list|delete …           the activity log\n"
    "  export [PERIOD] --format csv|json\n"
    "  import timewarrior FILE|-\n"
    "  check [--repair]                     compare the totals of tasks and folders with their entries\n"
    "  parse DURATION                       the seconds of a duration\n"
    "  demo                                 build a sample store and show it\n\n"
    "Times: 2026-12-05T09:30, '2026-12-05 09:30[:ss]', optional Z or ±hh:mm; 09:30 is today.\n"
    "Nodes: a path of exact names 'Folder/Sub/Task', or @IDENTIFIER.\n"
    "Run 'chronelle <command> --help' for details.\n";

constexpr const char* kFolder =
    "usage: chronelle folder add PATH [options]\n"
    "  Creates a folder; its parent folder must exist.\n\n"
    "Options:\n"
    "  --rate R             hourly rate for the tasks inside\n"
    "  --billable | --non-billable\n"
    "                       whether the time inside is billed\n"
    "  --color NAME         palette colour (default: the next one)\n\n"
    "Example:\n"
    "  chronelle folder add Client/Website --billable --rate 80\n";

constexpr const char* kTask =
    "usage: chronelle task add PATH [options]\n"
    "  Creates a task in the folder named by PATH (or at the top).\n\n"
    "Options:\n"
    "  --rate R             hourly rate (default: the folder's)\n"
    "  --billable | --non-billable\n"
    "                       whether its time is billed (default: the folder's)\n"
    "  --color NAME         palette colour (default: the next one)\n"
    "  --notes TEXT         notes\n\n"
    "Example:\n"
    "  chronelle task add Client/Review --rate 95 --color blue\n";

constexpr const char* kNode =
    "usage:\n"
    "  chronelle node edit PATH [options]\n"
    "  chronelle node move PATH (--to FOLDER|--top) [--at N|--last]\n"
    "  chronelle node archive|unarchive PATH [--to-top]\n"
    "  chronelle node delete PATH…\n"
    "  chronelle node sort [FOLDER]\n\n"
    "Options of edit:\n"
    "  --name N             new name\n"
    "  --rate R | --inherit-rate\n"
    "  --billable | --non-billable | --inherit-billable\n"
    "  --color NAME\n"
    "  --notes T | --no-notes\n"
    "Options of move:\n"
    "  --to FOLDER | --top  the new parent, or the top level\n"
    "  --at N | --last      position among the new siblings\n"
    "Options of archive and unarchive:\n"
    "  --to-top             also move it to the top level\n\n"
    "Examples:\n"
    "  chronelle node edit Client/Build --name Development --rate 90\n"
    "  chronelle node move Chores --to Client --at 0\n"
    "  chronelle node archive Chores --to-top\n"
    "  chronelle node unarchive Client\n"
    "  chronelle node delete Chores\n"
    "  chronelle node sort Client\n";

constexpr const char* kEntry =
    "usage:\n"
    "  chronelle entry add TASK --from TIME --to TIME [--notes T]\n"
    "  chronelle entry edit ID [options]\n"
    "  chronelle entry delete ID…\n"
    "  chronelle entry duplicate ID [--with-notes]\n"
    "  chronelle entry merge ID… --into TASK (--push|--fill)\n"
    "  ID is an entry identifier or a unique prefix of one.\n\n"
    "Options of edit:\n"
    "  --from TIME, --to TIME, --task TASK, --notes T | --no-notes\n"
    "  --status unbilled|billed|paid, --rate R\n"
    "Options of merge:\n"
    "  --into TASK          the task of the merged entry\n"
    "  --push               lasting the sum of the entries, from the earliest begin\n"
    "  --fill               from the earliest begin to the latest end\n\n"
    "Examples:\n"
    "  chronelle entry add Client/Build --from '2026-12-05 08:00' --to '2026-12-05 08:45' --notes 'standup'\n"
    "  chronelle entry edit 3f2a9c1e --status billed\n"
    "  chronelle entry delete 3f2a9c1e\n"
    "  chronelle entry duplicate 3f2a9c1e --with-notes\n"
    "  chronelle entry merge 3f2a9c1e 8d41b7a0 --into Client/Build --fill\n";

constexpr const char* kRule =
    "usage:\n"
    "  chronelle rule list TASK\n"
    "  chronelle rule add TASK (--type N [rule options] | --group) [--in GROUP] [--at N] [--inactive]\n"
    "  chronelle rule edit RULE [rule options]\n"
    "  chronelle rule move RULE… (--top | --in GROUP) [--at N]\n"
    "  chronelle rule activate|deactivate RULE…\n"
    "  chronelle rule delete RULE…\n"
    "  chronelle rule settings TASK [settings options]\n"
    "  A task's rules for automatic tracking: leaf rules and groups of rules, in order.\n"
    "  RULE is a rule identifier or a unique prefix of one.\n\n"
    "Rule options:\n"
    "  --type N             the kind of rule, 0 … 8\n"
    "  --app PATH | --no-app        application\n"
    "  --file PATH | --no-file      file path or name\n"
    "  --url URL | --no-url         web address\n"
    "  --text T | --no-text         text to look for\n"
    "  --text-match exact|contains|starts-with|ends-with\n"
    "  --file-match path-is|name-contains|path-contains|name-regex|path-regex\n"
    "  --active-window | --any-window\n"
    "  --set KEY=VALUE, --unset KEY   further settings\n"
    "Placing:\n"
    "  --group              add a group instead of a rule\n"
    "  --in GROUP           inside a group (add: default the top of the set)\n"
    "  --top                back to the top of the set (move)\n"
    "  --at N               position (default: last)\n"
    "  --inactive           add it switched off\n"
    "Settings options:\n"
    "  --start notify|active            what a match does\n"
    "  --start-delay immediately|10s|30s|1m|3m|5m\n"
    "  --pause none|notify|active       what the end of a match does\n"
    "  --pause-delay 10s|30s|1m|3m|5m\n"
    "  --on | --off                     whether the set takes part at all\n\n"
    "Examples:\n"
    "  chronelle rule list Client/Build\n"
    "  chronelle rule add Client/Build --type 2 --url https://github.com --text-match contains\n"
    "  chronelle rule edit 5b7c0d2e --text invoice --active-window\n"
    "  chronelle rule move 5b7c0d2e --in 9e6f1a3b --at 0\n"
    "  chronelle rule activate 5b7c0d2e\n"
    "  chronelle rule deactivate 9e6f1a3b\n"
    "  chronelle rule delete 5b7c0d2e\n"
    "  chronelle rule settings Client/Build --start active --start-delay 30s --pause notify --pause-delay 1m\n";

constexpr const char* kActivity =
    "usage:\n"
    "  chronelle activity add --from TIME [--to TIME] [--app ID] [--title T] [--url URL | --document PATH]\n"
    "  chronelle activity list [PERIOD]\n"
    "  chronelle activity delete (PERIOD | --all)\n"
    "  The activity log: applications, web pages (--url) and documents (--document) worked in.\n"
    "  An entry without --to is still going on. Deleting a period deletes the entries that lie\n"
    "  wholly inside it and keeps those reaching outside.\n\n"
    "Options of add:\n"
    "  --from TIME, --to TIME   when\n"
    "  --app ID                 the application's bundle identifier\n"
    "  --title T                the window title\n"
    "  --url URL                a web page (a browser entry)\n"
    "  --document PATH          a document (a document entry)\n"
    "Options of delete:\n"
    "  --all                    every entry\n";

const std::map<std::string, std::string>& texts() {
  static const std::map<std::string, std::string> table = {
      {"", kOverview},
      {"folder", kFolder},
      {"folder add", kFolder},
      {"task", kTask},
      {"task add", kTask},
      {"node", kNode},
      {"tree",
       "usage: chronelle tree [--all]\n  Lists folders and tasks with their totals.\n\n"
       "Options:\n  --all                archived ones too\n\n"
       "Example:\n  chronelle tree --all\n"},
      {"start",
       "usage: chronelle start [TASK] [--at TIME] [--auto]\n"
       "  Starts a new entry (on TASK, else the current task), pausing a running one first.\n\n"
       "Options:\n  --at TIME            the begin (default now)\n"
       "  --auto               mark it as started by automatic tracking\n\n"
       "Example:\n  chronelle start Client/Build --at 09:15\n"},
      {"pause",
       "usage: chronelle pause [--at TIME]\n  Ends the current entry, rounded by the preferences.\n\n"
       "Options:\n  --at TIME            the end (default now)\n\n"
       "Example:\n  chronelle pause --at 11:45\n"},
      {"toggle",
       "usage: chronelle toggle\n  Pauses a running entry, else starts one on the current task.\n\n"
       "Example:\n  chronelle toggle\n"},
      {"clear",
       "usage: chronelle clear\n  Lets go of the current entry, keeping the task.\n\nExample:\n  chronelle clear\n"},
      {"status", "usage: chronelle status\n  The timer's state, task and entry.\n\nExample:\n  chronelle --json status\n"},
      {"prefs",
       "usage: chronelle prefs [options]\n  Shows or changes the timer's rounding preferences.\n\n"
       "Options:\n  --rounding on|off    round paused entries\n"
       "  --step D             to multiples of D (e.g. 15m)\n"
       "  --method nearest|up|down\n"
       "  --min D              drop entries shorter than D\n\n"
       "Example:\n  chronelle prefs --rounding on --step 15m --method up\n"},
      {"entry", kEntry},
      {"report",
       std::string("usage: chronelle report [PERIOD] [options]\n"
                   "  Totals of the period, with breakdowns and a chart; as text, JSON or an HTML page.\n\n"
                   "Options:\n"
                   "  --node PATH          only this folder or task (repeatable)\n"
                   "  --status nonbillable|unbilled|billed|paid   only entries of this billing state (repeatable)\n"
                   "  --archived active|archived                  only active or only archived tasks\n"
                   "  --by summary|billing|node|flat              the breakdown (default summary)\n"
                   "  --chart day|month    chart columns\n"
                   "  --format text|json|html\n"
                   "                       html: one self-contained page with every breakdown and a chart\n"
                   "  -o FILE, --output FILE\n"
                   "                       write the HTML page to FILE (default: standard output)\n") +
           kPeriod + "\nExample:\n  chronelle report --month 2026-03-15 --format html -o report.html\n"},
      {"list",
       std::string("usage: chronelle list [PERIOD]\n  Entries by day, newest day first.\n\n") + kPeriod +
           "\nExample:\n  chronelle list --week\n"},
      {"watch",
       "usage: chronelle watch\n"
       "  A live view of the timer, ticking every second, and of today's entries, redrawn when the\n"
       "  minute changes and when another chronelle changes the store. Ctrl-C ends it.\n\n"
       "Example:\n  chronelle watch\n"},
      {"rule", kRule},
      {"activity",
       std::string(kActivity) + "\n" + kPeriod +
           "\nExamples:\n"
           "  chronelle activity add --from 09:00 --to 09:40 --app org.mozilla.firefox --url https://example.org/a\n"
           "  chronelle activity list --day\n"
           "  chronelle activity delete --from 09:00 --to 10:00\n"},
      {"export",
       std::string("usage: chronelle export [PERIOD] --format csv|json\n  Every entry of the period.\n\n"
                   "Options:\n  --format csv|json\n") +
           kPeriod + "\nExample:\n  chronelle export --month --format csv\n"},
      {"import",
       "usage: chronelle import timewarrior FILE|-\n"
       "  Imports the JSON that 'timew export' prints, in one write.\n\n"
       "Example:\n  timew export | chronelle import timewarrior -\n"},
      {"check",
       "usage: chronelle check [--repair]\n"
       "  Lists the tasks and folders whose stored total differs from the sum of their entries\n"
       "  (exit status 1 when any does).\n\n"
       "Options:\n  --repair             recompute them all and save once\n\n"
       "Example:\n  chronelle check --repair\n"},
      {"parse",
       "usage: chronelle parse DURATION\n  Prints the seconds of a duration such as 1h30m, 90 or 1:30.\n\n"
       "Example:\n  chronelle parse 1h30m\n"},
      {"demo",
       "usage: chronelle demo\n"
       "  Builds a sample tree and three months of entries in a new temporary store (or --store)\n"
       "  and prints the tree, a report and a chart.\n\n"
       "Example:\n  chronelle demo\n"},
  };
  return table;
}

}  // namespace

std::string helpText(const std::string& command) {
  const auto found = texts().find(command);
  return found == texts().end() ? std::string() : found->second;
}

}  // namespace chronelle::cli
