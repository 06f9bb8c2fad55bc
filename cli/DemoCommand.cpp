// demo: a realistic tree and three months of entries in a fresh store, then the timer with
// rounding, the tree, a monthly report by node and by billing status, and a daily chart.

#include <chrono>
#include <cstdlib>
#include <map>
#include <random>

#include "Arguments.h"
#include "CliError.h"
#include "Commands.h"
#include "chronelle/data/CoreDataStack.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/store/PersistentStoreCoordinator.h"
#include "chronelle/support/ColorSet.h"
#include "chronelle/support/ColorSetManager.h"
#include "chronelle/timer/CHTimer.h"
#include "chronelle/timer/CHTimerPreferences.h"

namespace chronelle::cli {
namespace {

struct DemoNode {
  const char* path;
  bool folder;
  std::optional<bool> billable;
  std::optional<double> rate;
  // How often the demo books time on a task, relative to the others.
  int weight;
};

const std::vector<DemoNode>& demoTree() {
  static const std::vector<DemoNode> nodes = {
      {"Acme Corp", true, true, 95.0, 0},
      {"Acme Corp/Website Relaunch", true, {}, {}, 0},
      {"Acme Corp/Website Relaunch/Design", false, {}, {}, 4},
      {"Acme Corp/Website Relaunch/Development", false, {}, 110.0, 8},
      {"Acme Corp/Website Relaunch/Meetings", false, false, {}, 2},
      {"Acme Corp/Support", false, {}, 75.0, 3},
      {"Globex", true, true, 120.0, 0},
      {"Globex/Mobile App", true, {}, {}, 0},
      {"Globex/Mobile App/iOS", false, {}, {}, 5},
      {"Globex/Mobile App/Android", false, {}, {}, 4},
      {"Globex/Consulting", false, {}, 150.0, 2},
      {"Internal", true, false, {}, 0},
      {"Internal/Administration", false, {}, {}, 2},
      {"Internal/Learning", false, {}, {}, 1},
  };
  return nodes;
}

struct PlannedEntry {
  Date begin;
  Date end;
  std::shared_ptr<Task> task;
  BillingStatus status = BillingStatus::unbilled;
  std::optional<std::string> notes;
};

// Entries on the working days of the 91 days before today, one batch per month-long slice.
std::vector<std::vector<PlannedEntry>> planEntries(const Calendar& calendar, Date now,
                                                   const std::vector<std::pair<std::shared_ptr<Task>, int>>& tasks) {
  std::mt19937 random(20261205);
  std::vector<int> weights;
  for (const auto& [task, weight] : tasks) weights.push_back(weight);
  std::discrete_distribution<std::size_t> pickTask(weights.begin(), weights.end());
  static const char* notes[] = {"standup", "code review", "bug fixing", "client call", "planning", "release"};
  std::vector<std::vector<PlannedEntry>> batches(3);
  for (int offset = 91; offset >= 1; --offset) {
    const DateComponents day = calendar.components(calendar.adding(CalendarUnit::day, -offset, now));
    if (day.weekday == 1 || day.weekday == 7) continue;
    auto& batch = batches[static_cast<std::size_t>(offset > 60 ? 0 : offset > 30 ? 1 : 2)];
    const BillingStatus status = offset > 60 ? BillingStatus::paid : offset > 30 ? BillingStatus::billed
                                                                                : BillingStatus::unbilled;
    int minute = (8 + static_cast<int>(random() % 2)) * 60 + static_cast<int>(random() % 4) * 15;
    const int blocks = 3 + static_cast<int>(random() % 3);
    for (int b = 0; b < blocks && minute < 18 * 60; ++b) {
      DateComponents at = day;
      at.weekday.reset();
      at.hour = minute / 60;
      at.minute = minute % 60;
      at.second = 0;
      const auto begin = calendar.date(at);
      const int length = 30 + static_cast<int>(random() % 8) * 15;
      if (!begin) continue;
      PlannedEntry entry{*begin, begin->addingTimeInterval(length * 60.0), tasks[pickTask(random)].first, status,
                         std::nullopt};
      if (random() % 3 == 0) entry.notes = notes[random() % std::size(notes)];
      batch.push_back(entry);
      minute += length + static_cast<int>(random() % 3) * 15;
    }
    // Now and then a late session that runs past midnight.
    if (offset % 17 == 3) {
      DateComponents late = day;
      late.weekday.reset();
      late.hour = 23;
      late.minute = 15;
      late.second = 0;
      if (const auto begin = calendar.date(late)) {
        batch.push_back({*begin, begin->addingTimeInterval(95 * 60.0), tasks.front().first, status,
                         std::string("deployment window")});
      }
    }
  }
  return batches;
}

}  // namespace

void demoCommand(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {});
  args.expectPositionals(0, 0, "chronelle demo");
  // Its output is a tour in text; printed under --json it would be no JSON document at all.
  if (ctx.json()) throw CliError::usage("the demo prints text only; run it without --json");
  const auto started = std::chrono::steady_clock::now();

  std::filesystem::path directory = ctx.options().storeDirectory;
  if (!ctx.options().storeGiven) {
    std::string pattern = (std::filesystem::temp_directory_path() / "chronelle-demo-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw CliError::failure("cannot create a temporary directory");
    directory = pattern;
  }
  GlobalOptions textOptions = ctx.options();
  textOptions.json = false;
  CommandContext demo(textOptions, ctx.time(), ctx.out());
  AppServices& app = demo.openStore(directory);
  if (!app.provider().getFlatNodeStructure(nullptr, true, true).empty()) {
    throw CliError::failure("the demo needs an empty store; '" + directory.string() + "' has data");
  }
  const Calendar& calendar = ctx.calendar();
  const Date now = ctx.time().now();
  demo.out() << "chronelle demo — store " << directory.string() << ", " << calendar.timeZoneIdentifier() << ", now "
             << localTime(now, calendar) << "\n\n";

  // The tree: clients with rates, projects, tasks (billing inherited unless set).
  std::map<std::string, std::shared_ptr<Node>> created;
  std::vector<std::pair<std::shared_ptr<Task>, int>> tasks;
  for (const auto& spec : demoTree()) {
    const std::string path = spec.path;
    const auto slash = path.rfind('/');
    NodeChanges changes{{NodeChangeKey::name, slash == std::string::npos ? path : path.substr(slash + 1)},
                        {NodeChangeKey::colorId, ColorSet::rawValue(app.colors().nextColorSet().id())}};
    if (slash == std::string::npos) {
      changes[NodeChangeKey::order] = OrderOption::last;
    } else {
      changes[NodeChangeKey::parentId] = created.at(path.substr(0, slash))->objectID();
    }
    if (spec.billable) {
      changes[NodeChangeKey::isBillableSet] = true;
      changes[NodeChangeKey::isBillable] = *spec.billable;
    }
    if (spec.rate) {
      changes[NodeChangeKey::hourlyRateIsSet] = true;
      changes[NodeChangeKey::hourlyRate] = *spec.rate;
    }
    if (spec.folder) {
      created[path] = app.run(app.provider().createFolder(changes));
    } else {
      auto task = app.run(app.provider().createTask(changes));
      created[path] = task;
      tasks.emplace_back(task, spec.weight);
    }
  }

  // Three months of entries, one write per month.
  std::size_t entryCount = 0;
  for (const auto& batch : planEntries(calendar, now, tasks)) {
    entryCount += batch.size();
    app.run(app.provider().executeWriteOperation(
        [&batch](ObjectContext&, DataModifier& modifier, const ManagedObjectFetcher&) {
          for (const auto& planned : batch) {
            auto entry = modifier.newTimeEntry();
            modifier.updateTimeEntryBeginEnd(*entry, planned.begin, planned.end);
            modifier.updateTimeEntryWithTask(*entry, *planned.task);
            if (planned.notes) modifier.updateTimeEntryNotes(*entry, planned.notes);
            if (planned.status != BillingStatus::unbilled) modifier.updateTimeEntryBillingStatus(*entry, planned.status);
          }
        }));
  }
  demo.out() << "created " << created.size() << " folders and tasks and " << entryCount << " entries\n";

  // The timer with rounding to a quarter of an hour: 52 minutes become 45.
  CHTimerPreferences::Values values;
  values.isRoundingEnabled = true;
  values.roundingStep = 15 * 60;
  values.roundingMethodOption = RoundingMethodOption::nearest;
  values.minimumTimeEntryDuration = 60;
  app.prefs().setValues(values);
  app.savePrefs();
  const auto development = std::dynamic_pointer_cast<Task>(created.at("Acme Corp/Website Relaunch/Development"));
  const auto entry = app.run(app.timer().start(development, now.addingTimeInterval(-52 * 60.0), false));
  app.run(app.timer().pause(now, false));
  if (entry) {
    demo.out() << "timer: started Acme Corp/Website Relaunch/Development 52 minutes ago, paused now, rounded to "
               << formatDuration(entry->effectiveDuration()) << " (nearest 15 min)\n";
  }

  demo.out() << "\n== Tree ==\n";
  treeCommand(demo, {});
  demo.out() << "\n== This week ==\n";
  listCommand(demo, {"--week"});
  const std::string lastMonth = isoTime(calendar.adding(CalendarUnit::month, -1, now), calendar);
  demo.out() << "\n== Last month by node ==\n";
  reportCommand(demo, {"--month", lastMonth, "--by", "node"});
  demo.out() << "\n== Last month by billing status ==\n";
  reportCommand(demo, {"--month", lastMonth, "--by", "billing"});
  demo.out() << "\n== Last month, daily chart ==\n";
  reportCommand(demo, {"--month", lastMonth, "--chart", "day"});

  // The demo's store is meant to be explored, also with other tools: its file holds it all.
  app.stack().persistentStoreCoordinator()->checkpointStoreFile();
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  demo.out() << "\ndemo finished in " << elapsed.count() << " ms; explore it with: chronelle --store "
             << directory.string() << " tree\n";
}

}  // namespace chronelle::cli
