// watch: a live terminal view of the timer and today's entries. The timer line ticks every
// second; the day's list is read again when the minute or the hour changes and whenever
// another process changes the store or the timer's state, and Ctrl-C ends the view.

#include <asio/signal_set.hpp>
#include <sys/ioctl.h>
#include <unistd.h>
#include <csignal>
#include <fstream>
#include <sstream>

#include "Arguments.h"
#include "Commands.h"
#include "NodeDirectory.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/data/StoreChangeMonitor.h"
#include "chronelle/list/SessionFetchedResultsController3.h"
#include "chronelle/list/SessionFragment.h"
#include "chronelle/list/SessionsSectionInfo.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/platform/TimerScheduler.h"
#include "chronelle/platform/UserDefaults.h"
#include "chronelle/reports/ReportScope3.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/timer/CHTimer.h"
#include "chronelle/timer/SystemTimeUpdateNotificator.h"

namespace chronelle::cli {
namespace {

// Redraws from the top left, each line cleared to its end and the rest of the screen below
// the frame cleared, so a frame replaces the last one without flicker.
constexpr const char* kHome = "\x1b[H";
constexpr const char* kClearLine = "\x1b[K";
constexpr const char* kClearBelow = "\x1b[J";
constexpr const char* kHideCursor = "\x1b[?25l";
constexpr const char* kShowCursor = "\x1b[?25h";

// How often the store and the timer's saved state are checked for another process's changes.
constexpr double kPollSeconds = 0.2;

// The terminal's height; a large number when standard output is no terminal.
std::size_t terminalRows() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0) return 1000;
  return size.ws_row;
}

std::string fileContents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class WatchView {
 public:
  explicit WatchView(CommandContext& ctx) : ctx_(ctx) {}

  // Runs until SIGINT or SIGTERM; leaves the cursor shown and the last frame on screen.
  void run() {
    // Ctrl-C from the first moment on ends the view through the queue, never half-way.
    asio::signal_set signals(MainQueue::shared().ioContext(), SIGINT, SIGTERM);
    signals.async_wait([](const std::error_code&, int) { MainQueue::shared().stop(); });
    reload();
    ctx_.out() << kHideCursor << "\x1b[2J";
    draw();

    auto& center = NotificationCenter::defaultCenter();
    const auto onClockChange = [this](const Notification&) {
      if (reloading_) return;
      fetchToday();
      draw();
    };
    auto hourToken = center.addObserver(SystemTimeUpdateNotificator::CHHourChanged, nullptr, onClockChange);
    auto minuteToken = center.addObserver(SystemTimeUpdateNotificator::CHMinuteChanged, nullptr, onClockChange);
    SystemTimeUpdateNotificator notificator;
    notificator.start();

    auto& scheduler = TimerScheduler::current();
    auto tick = scheduler.scheduleRepeating(1.0, [this] { draw(); });
    auto poll = scheduler.scheduleRepeating(kPollSeconds, [this] {
      if (reloading_) return;
      if (monitor_->hasChanged() || defaultsChanged()) {
        reload();
        draw();
      }
    });

    MainQueue::shared().run();

    tick->cancel();
    poll->cancel();
    notificator.stop();
    list_.reset();
    ctx_.out() << kShowCursor << '\n';
    ctx_.out().flush();
  }

 private:
  // Opens the store afresh: another process's saves and timer changes are only seen by new
  // services (the view context keeps the objects it has loaded).
  // Starting and stopping services runs what the main queue holds, so the view's own timers
  // may fire inside; they wait until the new services are in place.
  //
  // The monitor's connection is made anew with each opening of the store: one kept across
  // the store's close and reopening in this process stopped seeing other processes' commits
  // (likely because opening the store reads the file through a descriptor of its own, and
  // closing a descriptor drops the POSIX locks the process holds on the file). It is made
  // before anything is read, so a commit after the reading is always seen by the next poll.
  void reload() {
    reloading_ = true;
    list_.reset();
    monitor_.reset();
    ctx_.openStore(ctx_.options().storeDirectory);
    monitor_ = std::make_unique<StoreChangeMonitor>(ctx_.app().stack());
    defaults_ = fileContents(ctx_.app().defaults().path());
    fetchToday();
    readAt_ = Clock::now();
    reloading_ = false;
  }

  bool defaultsChanged() {
    std::string now = fileContents(ctx_.app().defaults().path());
    if (now == defaults_) return false;
    defaults_ = std::move(now);
    return true;
  }

  void fetchToday() {
    list_.reset();
    ReportScope3 scope(ctx_.calendar());
    scope = scope.scopeByAdjusting(ReportScopeType::daily).scopeByAdjusting(Clock::now());
    list_ = std::make_unique<SessionFetchedResultsController3>(scope.toSessionQuery(), ctx_.calendar());
    list_->performFetch();
  }

  void line(std::ostringstream& frame, const std::string& text) { frame << text << kClearLine << '\n'; }

  void draw() {
    if (reloading_ || !list_) return;
    const Date now = Clock::now();
    const Calendar& calendar = ctx_.calendar();
    AppServices& app = ctx_.app();
    const CHTimer& timer = app.timer();
    std::ostringstream frame;
    frame << kHome;
    line(frame, "chronelle watch  " + calendar.format(now, "yyyy-MM-dd HH:mm:ss") + " (" +
                    calendar.timeZoneIdentifier() + ")  read " + calendar.format(readAt_, "HH:mm:ss"));
    const auto running = timer.runningSession();
    const auto& task = timer.currentTask();
    if (running && running->begin()) {
      const auto runningTask = running->task();
      line(frame, "● running  " + (runningTask ? NodeDirectory::pathOf(*runningTask) : std::string("(no task)")) +
                      "  " + formatDuration(ChronelleDateUtils::effectiveDuration(*running->begin(), now)) +
                      "  since " + calendar.format(*running->begin(), "HH:mm:ss"));
    } else {
      line(frame, std::string("○ ") + timer.state().description() +
                      (task ? "  last task " + NodeDirectory::pathOf(*task) : std::string()));
    }
    line(frame, "");
    for (const auto& section : list_->sections()) {
      const auto fragments = section.objects.value_or(std::vector<std::shared_ptr<SessionFragment>>{});
      std::vector<std::string> rows;
      double total = 0;
      for (const auto& fragment : fragments) {
        const auto& entry = fragment->session();
        // The list cuts a running entry when it reads it; the view lets it grow to now.
        const bool live = entry && entry == running;
        const double seconds =
            live ? ChronelleDateUtils::effectiveDuration(fragment->from(), now) : fragment->duration();
        total += seconds;
        const auto entryTask = entry ? entry->task() : nullptr;
        rows.push_back("  " + calendar.format(fragment->from(), "HH:mm") + "–" +
                       (live || !fragment->to() ? std::string("now  ") : calendar.format(*fragment->to(), "HH:mm")) +
                       "  " + formatDuration(seconds) + "  " +
                       (entryTask ? NodeDirectory::pathOf(*entryTask) : std::string("(no task)")) + "  (" +
                       shortId(entry ? entry->identifier() : std::nullopt) + ")");
      }
      line(frame, section.name + "  total " + formatDuration(total));
      // A frame taller than the terminal would scroll and break the redrawing in place.
      const std::size_t room = terminalRows() > 8 ? terminalRows() - 8 : 1;
      for (std::size_t i = 0; i < rows.size() && i < room; ++i) line(frame, rows[i]);
      if (rows.size() > room) line(frame, "  … " + std::to_string(rows.size() - room) + " more");
    }
    if (list_->sections().empty()) line(frame, "no entries today");
    line(frame, "");
    frame << "Ctrl-C to quit" << kClearLine << kClearBelow;
    ctx_.out() << frame.str();
    ctx_.out().flush();
  }

  CommandContext& ctx_;
  std::unique_ptr<SessionFetchedResultsController3> list_;
  std::unique_ptr<StoreChangeMonitor> monitor_;
  std::string defaults_;
  Date readAt_;
  bool reloading_ = false;
};

}  // namespace

void watchCommand(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {});
  args.expectPositionals(0, 0, "chronelle watch");
  // The one command that lives on: real timers on the main queue instead of the idle ones
  // of a one-shot command.
  TimerScheduler::install(std::make_shared<AsioTimerScheduler>(MainQueue::shared()));
  WatchView(ctx).run();
}

}  // namespace chronelle::cli
