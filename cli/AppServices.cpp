#include "AppServices.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <system_error>

#include "CliError.h"
#include "TextInput.h"
#include "chronelle/data/CoreDataStack.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/ChronelleModel.h"
#include "chronelle/model/CurrentTimeEntrySource.h"
#include "chronelle/model/NSDictionaryValueTransformer.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/platform/TimerScheduler.h"
#include "chronelle/platform/UserDefaults.h"
#include "chronelle/support/ColorSetManager.h"
#include "chronelle/support/Injector.h"
#include "chronelle/timer/CHTimer.h"
#include "chronelle/timer/CHTimerPreferences.h"

namespace chronelle::cli {
namespace {

// A command lives for milliseconds: reading the store through a mapping lets each page it
// reads stay where the kernel's file cache holds it, where copying it into the connection's
// cache takes a fresh heap page, which the kernel faults in one by one. A report of the newest
// month of a million entries went from 23.7 to 18.4 ms. Larger stores read their remainder as
// usual.
constexpr std::int64_t kMappedStoreBytes = std::int64_t{1} << 30;

// The CLI's own keys in the user-defaults file.
constexpr const char* kRoundingKey = "chronelle.cli.rounding";
constexpr const char* kStepKey = "chronelle.cli.roundingStep";
constexpr const char* kMethodKey = "chronelle.cli.roundingMethod";
constexpr const char* kMinimumKey = "chronelle.cli.minimumDuration";

Calendar setUpCalendar(const GlobalOptions& options) {
  if (options.timeZone) {
    // Only the zone is checked: a calendar of its own would load the locale's week data twice.
    if (!Calendar::knowsTimeZone(*options.timeZone)) {
      throw CliError::usage("unknown time zone " + quoteInput(*options.timeZone));
    }
    ::setenv("TZ", options.timeZone->c_str(), 1);
    ::tzset();
  }
  Calendar calendar = Calendar::current();
  if (options.firstWeekday != 0) calendar = calendar.withFirstWeekday(options.firstWeekday);
  return calendar;
}

Date setUpClock(const GlobalOptions& options, const Calendar& calendar) {
  auto clock = std::make_shared<ManualClock>(Clock::now());
  if (options.now) {
    clock->set(TimeParser(calendar, Clock::now()).parseTime(*options.now));
    Clock::install(clock);
  }
  TimerScheduler::install(std::make_shared<ManualTimerScheduler>(clock));
  return Clock::now();
}

}  // namespace

TimeSetup::TimeSetup(const GlobalOptions& options)
    : parser_([&] {
        Calendar calendar = setUpCalendar(options);
        const Date now = setUpClock(options, calendar);
        return TimeParser(calendar, now);
      }()) {}

AppServices::AppServices(const std::filesystem::path& storeDirectory) : storeDirectory_(storeDirectory) {
  std::error_code error;
  if (std::filesystem::exists(storeDirectory, error) && !std::filesystem::is_directory(storeDirectory, error)) {
    throw CliError::failure("store directory " + quoteInput(storeDirectory.string(), 200) + " is not a directory");
  }

  defaults_ = std::make_shared<UserDefaults>(defaultsFile(storeDirectory));
  UserDefaults::setStandard(defaults_);

  ChronelleModel::registerModel();
  NSDictionaryValueTransformer::registerTransformer();
  auto container = Injector::shared();
  try {
    StoreOptions options;
    options.mappedFileBytes = kMappedStoreBytes;
    stack_ = std::make_shared<CoreDataStack>(ChronelleModel::kName, storeDirectory, "chronelle.sqlite", options);
  } catch (const std::exception& e) {
    throw CliError::failure("cannot open the store in " + quoteInput(storeDirectory.string(), 200) + ": " + e.what());
  }
  container->registerInstance<CoreDataStack>(stack_);
  provider_ = std::make_shared<MainDataProvider>();
  container->registerInstance<MainDataProvider>(provider_);
  colors_ = std::make_shared<ColorSetManager>(defaults_);
  container->registerInstance<ColorSetManager>(colors_);

  CHTimerPreferences::Values values;
  values.isRoundingEnabled = defaults_->boolValue(kRoundingKey);
  if (defaults_->contains(kStepKey)) values.roundingStep = defaults_->doubleValue(kStepKey);
  values.roundingMethodOption = RoundingMethodOption::fromRaw(static_cast<int>(defaults_->integer(kMethodKey)))
                                    .value_or(RoundingMethodOption::nearest);
  values.minimumTimeEntryDuration = defaults_->doubleValue(kMinimumKey);
  prefs_ = std::make_shared<CHTimerPreferences>();
  try {
    prefs_->setValues(values);
  } catch (const std::invalid_argument&) {
    // An edited file with a step of 0: keep the defaults rather than refuse to start.
  }

  timer_ = std::make_shared<CHTimer>();
  timer_->setDataProvider(provider_);
  timer_->setPrefs(prefs_);
  container->registerInstance<CHTimer>(timer_);
  container->registerInstance<CurrentTimeEntrySource>(timer_);
  timer_->wakeup();
  settle();
}

AppServices::~AppServices() {
  settle();
  // Only changes of this process are written (when the last holder lets go of the defaults):
  // writing the whole file unasked would put back what this process read at its start over
  // the timer state another process saved meanwhile (a `watch` beside a `start`).
  UserDefaults::setStandard(nullptr);
  Injector::shared()->removeAll();
  timer_.reset();
  provider_.reset();
  settle();
}

void AppServices::savePrefs() {
  const auto values = prefs_->values();
  defaults_->setBool(kRoundingKey, values.isRoundingEnabled);
  defaults_->setDouble(kStepKey, values.roundingStep);
  defaults_->setInteger(kMethodKey, values.roundingMethodOption.rawValue());
  defaults_->setDouble(kMinimumKey, values.minimumTimeEntryDuration);
  if (!defaults_->synchronize()) throw CliError::failure("cannot write " + defaults_->path().string());
}

void AppServices::settle() {
  while (MainQueue::shared().runPending() > 0) {
  }
}

}  // namespace chronelle::cli
