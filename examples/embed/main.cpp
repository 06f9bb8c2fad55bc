// A small application on the installed Chronelle library: it starts the library's services
// in their order, builds a folder and a task, runs the timer twice on a manual clock and
// prints the month's totals. Usage: chronelle-embed <store directory>
//
// The clock is a ManualClock, so the numbers printed are the same on every run: the
// library reads "now" only through Clock::now() and waits only through the installed
// TimerScheduler, and the example moves both by hand.
#include <chronelle/data/CoreDataStack.h>
#include <chronelle/data/MainDataProvider.h>
#include <chronelle/data/NodeChangeKey.h>
#include <chronelle/model/ChronelleModel.h>
#include <chronelle/model/CurrentTimeEntrySource.h>
#include <chronelle/model/Folder.h>
#include <chronelle/model/NSDictionaryValueTransformer.h>
#include <chronelle/model/Session.h>
#include <chronelle/model/Task.h>
#include <chronelle/platform/Calendar.h>
#include <chronelle/platform/Clock.h>
#include <chronelle/platform/Logger.h>
#include <chronelle/platform/MainQueue.h>
#include <chronelle/platform/TimerScheduler.h>
#include <chronelle/platform/UserDefaults.h>
#include <chronelle/reports/ReportCalculator.h>
#include <chronelle/reports/ReportScope3.h>
#include <chronelle/support/ColorSet.h>
#include <chronelle/support/ColorSetManager.h>
#include <chronelle/support/Injector.h>
#include <chronelle/timer/CHTimer.h>
#include <chronelle/timer/CHTimerPreferences.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

using namespace chronelle;

namespace {

// Runs everything queued on the main queue, including what those tasks queue (the
// recount of totals and the change notification that follow each save).
void settle() {
  while (MainQueue::shared().runPending() > 0) {
  }
}

// Runs one asynchronous library operation on the main queue until it is done.
template <class T>
T run(asio::awaitable<T> operation) {
  if constexpr (std::is_void_v<T>) {
    MainQueue::shared().runUntilComplete(std::move(operation));
    settle();
  } else {
    T result = MainQueue::shared().runUntilComplete(std::move(operation));
    settle();
    return result;
  }
}

// A local time in `calendar`'s zone.
Date at(const Calendar& calendar, int year, int month, int day, int hour, int minute) {
  DateComponents fields;
  fields.year = year;
  fields.month = month;
  fields.day = day;
  fields.hour = hour;
  fields.minute = minute;
  return calendar.date(fields).value();
}

std::string hms(double seconds) {
  const long s = static_cast<long>(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  return text;
}

void printTotals(const char* label, const TotalValues& totals) {
  std::printf("%-16s %9s %9.2f %3lld entries\n", label, hms(totals.duration).c_str(), totals.revenue,
              static_cast<long long>(totals.sessionCount));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <store directory>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path storeDirectory = argv[1];
  try {
    // The library logs to stderr; keep its informational records (timer started and paused)
    // out of the example's output.
    Logger::setDefaultLogLevel(LogLevel::warning);

    // Time: a fixed calendar and a manual clock at Tuesday 10 March 2026, 09:00 in Berlin.
    const Calendar calendar("Europe/Berlin");
    const Date morning = at(calendar, 2026, 3, 10, 9, 0);
    auto clock = std::make_shared<ManualClock>(morning);
    Clock::install(clock);
    auto scheduler = std::make_shared<ManualTimerScheduler>(clock);
    TimerScheduler::install(scheduler);

    // Start-up, in order, on the main thread. The user defaults keep the timer's current
    // entry and the palette's counter between launches.
    auto defaults = std::make_shared<UserDefaults>(storeDirectory / "defaults.json");
    UserDefaults::setStandard(defaults);
    ChronelleModel::registerModel();
    NSDictionaryValueTransformer::registerTransformer();
    auto container = Injector::shared();

    // 1. The stack: loads the model, creates the directory, opens and migrates the store.
    auto stack = std::make_shared<CoreDataStack>(ChronelleModel::kName, storeDirectory, "example.sqlite");
    container->registerInstance<CoreDataStack>(stack);
    // 2. The data provider, the timer (which the nodes ask for the running entry) and the
    //    colour set manager.
    auto provider = std::make_shared<MainDataProvider>();
    container->registerInstance<MainDataProvider>(provider);
    auto timer = std::make_shared<CHTimer>();
    timer->setDataProvider(provider);
    timer->setPrefs(std::make_shared<CHTimerPreferences>());
    container->registerInstance<CHTimer>(timer);
    container->registerInstance<CurrentTimeEntrySource>(timer);
    auto colors = std::make_shared<ColorSetManager>(defaults);
    container->registerInstance<ColorSetManager>(colors);
    // 3. Wake the timer: it restores an entry a previous launch left running.
    timer->wakeup();
    settle();

    // A billable folder at 60.00 an hour and a task in it, which inherits the rate.
    auto folder = run(provider->createFolder({
        {NodeChangeKey::name, std::string("Acme")},
        {NodeChangeKey::colorId, ColorSet::rawValue(colors->nextColorSet().id())},
        {NodeChangeKey::isBillableSet, true},
        {NodeChangeKey::isBillable, true},
        {NodeChangeKey::hourlyRateIsSet, true},
        {NodeChangeKey::hourlyRate, 60.0},
    }));
    auto task = run(provider->createTask({
        {NodeChangeKey::name, std::string("Website")},
        {NodeChangeKey::colorId, ColorSet::rawValue(colors->nextColorSet().id())},
        {NodeChangeKey::parentId, folder->objectID()},
    }));

    // Work from 09:00: the timer ticks each second on the scheduler, and the running time
    // shows in the task and in every folder above it.
    run(timer->start(task, Clock::now(), false));
    scheduler->advance(10 * 60);
    settle();
    std::printf("running          %9s (task), %s (folder)\n", hms(task->effectiveDuration()).c_str(),
                hms(folder->effectiveDuration()).c_str());
    scheduler->advance(80 * 60);
    run(timer->pause(Clock::now(), false));

    // A second stretch after lunch: 14:00 to 14:47:40.
    clock->set(at(calendar, 2026, 3, 10, 14, 0));
    run(timer->start(task, Clock::now(), false));
    scheduler->advance(47 * 60 + 40);
    run(timer->pause(Clock::now(), false));

    // The month's totals, and the same per node.
    const ReportScope3 month =
        ReportScope3(calendar).scopeByAdjusting(ReportScopeType::monthly).scopeByAdjusting(morning);
    const SessionQuery3 query = month.toSessionQuery();
    const ReportCalculator calculator(provider);
    std::printf("March 2026\n");
    printTotals("total", calculator.totalValuesForSessions(query, TotalValueTypeOptionSet::all));
    const auto byNode = calculator.calculateNodeBreakdown(query, TotalValueTypeOptionSet::all);
    printTotals("Acme", byNode.at(folder->objectID()));
    printTotals("Acme/Website", byNode.at(task->objectID()));

    // Shut down: let the queued work finish and the services go.
    settle();
    defaults->synchronize();
    container->removeAll();
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "chronelle-embed: %s\n", error.what());
    return 1;
  }
}
