// start, pause, toggle, clear, status, prefs.

#include "Arguments.h"
#include "CliError.h"
#include "TextInput.h"
#include "Commands.h"
#include "NodeDirectory.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/timer/CHTimer.h"
#include "chronelle/timer/CHTimerPreferences.h"
#include "chronelle/platform/UserDefaults.h"

namespace chronelle::cli {
namespace {

// The timer's state, its task's path (or none) and its entry (or none), as text or JSON.
void printStatus(CommandContext& ctx, CHTimer::State state, const std::optional<std::string>& task,
                 const Session* entry) {
  if (ctx.json()) {
    Json json;
    json["state"] = state.description();
    json["task"] = task ? Json(*task) : Json(nullptr);
    json["entry"] = entry ? entryJson(*entry, ctx.calendar()) : Json(nullptr);
    ctx.print(json);
    return;
  }
  ctx.out() << "state: " << state.description() << '\n';
  ctx.out() << "task:  " << task.value_or("-") << '\n';
  if (entry) ctx.out() << "entry: " << entryLine(*entry, ctx.calendar()) << '\n';
}

void printStatus(CommandContext& ctx) {
  AppServices& app = ctx.app();
  const CHTimer& timer = app.timer();
  const auto& task = timer.currentTask();
  printStatus(ctx, timer.state(), task ? std::optional(NodeDirectory::pathOf(*task)) : std::nullopt,
              timer.currentSession().get());
}

// True when the user defaults in the store directory name no entry and no task for the
// timer: it then wakes up idle without reading the store.
bool timerIsIdleWithoutStore(const std::filesystem::path& storeDirectory) {
  std::error_code error;
  if (!std::filesystem::is_directory(storeDirectory, error)) return false;  // the services say why
  const UserDefaults defaults(AppServices::defaultsFile(storeDirectory));
  return !defaults.contains(CHTimer::kCurrentSessionKey) && !defaults.contains(CHTimer::kCurrentTaskKey);
}

}  // namespace

void statusCommand(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {});
  args.expectPositionals(0, 0, "chronelle status");
  // A status in a shell prompt runs all the time. When the timer has nothing saved, the
  // store has nothing to add, and opening it (its lock file written and synced, its schema
  // read three times, the model built) would cost twice the rest of the process.
  if (timerIsIdleWithoutStore(ctx.options().storeDirectory)) return printStatus(ctx, CHTimer::State::idle, {}, nullptr);
  printStatus(ctx);
}

void startCommand(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {{"at"}, {"auto"}, {}});
  args.expectPositionals(0, 1, "chronelle start [TASK] [--at TIME] [--auto]");
  const Date begin = args.value("at") ? ctx.time().parseTime(*args.value("at")) : ctx.time().now();
  AppServices& app = ctx.app();
  std::shared_ptr<Task> task;
  if (!args.positionals().empty()) {
    task = NodeDirectory::resolveTask(app.provider(), args.positionals().front());
    if (task->archived()) throw CliError::usage("task " + quoteInput(args.positionals().front()) + " is archived");
  }
  const auto entry = app.run(app.timer().start(task, begin, args.has("auto")));
  if (!entry) throw CliError::failure("the timer could not start an entry");
  printStatus(ctx);
}

void pauseCommand(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {{"at"}, {}, {}});
  args.expectPositionals(0, 0, "chronelle pause [--at TIME]");
  const Date at = args.value("at") ? ctx.time().parseTime(*args.value("at")) : ctx.time().now();
  AppServices& app = ctx.app();
  if (!app.timer().isRunning()) throw CliError::failure("the timer is not running");
  app.run(app.timer().pause(at, false));
  printStatus(ctx);
}

void toggleCommand(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {});
  args.expectPositionals(0, 0, "chronelle toggle");
  AppServices& app = ctx.app();
  app.run(app.timer().toggle());
  printStatus(ctx);
}

void clearCommand(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {});
  args.expectPositionals(0, 0, "chronelle clear");
  AppServices& app = ctx.app();
  app.timer().clear();
  AppServices::settle();
  printStatus(ctx);
}

void prefsCommand(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {{"rounding", "step", "method", "min"}, {}, {}});
  args.expectPositionals(0, 0, "chronelle prefs [--rounding on|off] [--step D] [--method nearest|up|down] [--min D]");
  AppServices& app = ctx.app();
  auto values = app.prefs().values();
  bool changed = false;
  if (const auto rounding = args.value("rounding")) {
    if (*rounding != "on" && *rounding != "off") throw CliError::usage("--rounding takes on or off");
    values.isRoundingEnabled = *rounding == "on";
    changed = true;
  }
  if (const auto step = args.value("step")) {
    values.roundingStep = TimeParser::parseDuration(*step);
    if (values.roundingStep < 1 || values.roundingStep > 32767) {
      throw CliError::usage("the rounding step must lie between 1 s and 9 h");
    }
    changed = true;
  }
  if (const auto method = args.value("method")) {
    if (*method == "nearest") {
      values.roundingMethodOption = RoundingMethodOption::nearest;
    } else if (*method == "up") {
      values.roundingMethodOption = RoundingMethodOption::up;
    } else if (*method == "down") {
      values.roundingMethodOption = RoundingMethodOption::down;
    } else {
      throw CliError::usage("--method takes nearest, up or down");
    }
    changed = true;
  }
  if (const auto minimum = args.value("min")) {
    values.minimumTimeEntryDuration = TimeParser::parseDuration(*minimum);
    changed = true;
  }
  if (changed) {
    app.prefs().setValues(values);
    app.savePrefs();
  }
  if (ctx.json()) {
    ctx.print(Json{{"rounding", values.isRoundingEnabled},
                   {"step", values.roundingStep},
                   {"method", values.roundingMethodOption.description()},
                   {"min", values.minimumTimeEntryDuration}});
    return;
  }
  ctx.out() << "rounding: " << (values.isRoundingEnabled ? "on" : "off") << '\n'
            << "step:     " << formatDuration(values.roundingStep) << '\n'
            << "method:   " << values.roundingMethodOption.description() << '\n'
            << "minimum:  " << formatDuration(values.minimumTimeEntryDuration) << '\n';
}

}  // namespace chronelle::cli
