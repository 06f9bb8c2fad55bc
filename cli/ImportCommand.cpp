// import timewarrior FILE|-: the intervals of `timew export`, in one write.

#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <unistd.h>

#include "Arguments.h"
#include "CliError.h"
#include "TextInput.h"
#include "Commands.h"
#include "NodeDirectory.h"
#include "TimewarriorImport.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/support/ColorSet.h"
#include "chronelle/support/ColorSetManager.h"
#include "chronelle/timer/CHTimer.h"

namespace chronelle::cli {
namespace {

constexpr std::size_t kProgressThreshold = 2000;

std::string readInput(const std::string& file) {
  if (file == "-") return std::string(std::istreambuf_iterator<char>(std::cin), {});
  std::ifstream in(file, std::ios::binary);
  if (!in) throw CliError::failure("cannot read " + quoteInput(file));
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Draws "importing  1234/5000 [#####     ]" on standard error, in place.
void drawProgress(std::size_t done, std::size_t total) {
  constexpr std::size_t kWidth = 30;
  const std::size_t filled = total ? done * kWidth / total : kWidth;
  std::cerr << "\rimporting " << done << '/' << total << " [" << std::string(filled, '#')
            << std::string(kWidth - filled, ' ') << ']' << (done == total ? "\n" : "") << std::flush;
}

}  // namespace

void importCommand(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {});
  args.expectPositionals(2, 2, "chronelle import timewarrior FILE|-");
  if (args.positionals().front() != "timewarrior") {
    throw CliError::usage("unknown import format " + quoteInput(args.positionals().front()) + " (timewarrior)");
  }
  const auto intervals = parseTimewarriorExport(readInput(args.positionals()[1]));
  AppServices& app = ctx.app();
  const bool open = !intervals.empty() && !intervals.back().end;
  if (open && app.timer().isRunning()) {
    throw CliError::usage("the timer is running; pause it before importing an open interval");
  }

  // Top-level tasks by name; the missing ones are created in the write, with palette colours
  // chosen now.
  std::map<std::string, std::shared_ptr<Task>> existing;
  const NodeDirectory nodes(app.provider());
  for (const auto& item : nodes.items()) {
    if (item.level != 0) continue;
    if (auto task = std::dynamic_pointer_cast<Task>(item.node); task && !existing.count(task->name())) {
      existing[task->name()] = task;
    }
  }
  std::map<std::string, std::int16_t> newTaskColors;
  for (const auto& interval : intervals) {
    if (!existing.count(interval.taskName) && !newTaskColors.count(interval.taskName)) {
      newTaskColors[interval.taskName] = ColorSet::rawValue(app.colors().nextColorSet().id());
    }
  }

  const bool progress = intervals.size() > kProgressThreshold && ::isatty(STDERR_FILENO) == 1;
  const ObjectID openEntryId = app.run(app.provider().executeWriteOperation(
      [&](ObjectContext& context, DataModifier& modifier, const ManagedObjectFetcher&) {
        auto tasks = existing;
        for (const auto& [name, colorId] : newTaskColors) {
          auto task = context.insert<Task>(Task::kEntityName);
          modifier.updateNode(*task, NodeChanges{{NodeChangeKey::name, name},
                                                 {NodeChangeKey::colorId, colorId},
                                                 {NodeChangeKey::order, OrderOption::last}});
          tasks[name] = task;
        }
        std::shared_ptr<Session> last;
        for (std::size_t i = 0; i < intervals.size(); ++i) {
          const auto& interval = intervals[i];
          last = modifier.newTimeEntry();
          modifier.updateTimeEntryBeginEnd(*last, interval.start, interval.end);
          modifier.updateTimeEntryWithTask(*last, *tasks.at(interval.taskName));
          if (interval.notes) modifier.updateTimeEntryNotes(*last, interval.notes);
          if (progress && (i % 500 == 0 || i + 1 == intervals.size())) drawProgress(i + 1, intervals.size());
        }
        context.save();
        return last && !last->end() ? last->objectID() : ObjectID();
      }));

  Json running = nullptr;
  if (open) {
    const auto entry = std::dynamic_pointer_cast<Session>(app.provider().getObject(openEntryId));
    if (entry) {
      if (app.timer().currentSession()) app.timer().clear();
      app.timer().continueRunning(entry);
      AppServices::settle();
      running = entryJson(*entry, ctx.calendar());
    }
  }
  Json created = Json::array();
  for (const auto& [name, colorId] : newTaskColors) created.push_back(name);
  if (ctx.json()) {
    ctx.print(Json{{"imported", intervals.size()}, {"createdTasks", created}, {"running", running}});
    return;
  }
  ctx.out() << "imported " << intervals.size() << " entries";
  if (!created.empty()) ctx.out() << ", created " << created.size() << " task(s)";
  ctx.out() << '\n';
  if (!running.is_null()) ctx.out() << "running: " << running["task"].get<std::string>() << '\n';
}

}  // namespace chronelle::cli
