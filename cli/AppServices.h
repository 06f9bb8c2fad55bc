#pragma once

#include <asio/awaitable.hpp>
#include <filesystem>
#include <memory>

#include "GlobalOptions.h"
#include "TimeParser.h"
#include "chronelle/platform/Calendar.h"
#include "chronelle/platform/MainQueue.h"

namespace chronelle {
class CHTimer;
class CHTimerPreferences;
class ColorSetManager;
class CoreDataStack;
class MainDataProvider;
class UserDefaults;
}  // namespace chronelle

namespace chronelle::cli {

// The clock, calendar and time zone a command works in, set up from the global options
// before anything reads the time. Installs a ManualClock when a fixed "now" was given and a
// timer scheduler that never fires (a command is one short process; the one-second tick of a
// running entry has nothing to show). Process-wide state: create one per process.
class TimeSetup {
 public:
  // Sets TZ for the process when a zone was given. Throws CliError (usage) for an unknown
  // zone or a bad --now time.
  explicit TimeSetup(const GlobalOptions& options);
  const TimeParser& parser() const { return parser_; }
  const Calendar& calendar() const { return parser_.calendar(); }

 private:
  TimeParser parser_;
};

// The library's services for one command, started in the library's order on the main
// thread: user defaults on <store>/defaults.json, the object model and its dictionary
// transformer, the CoreDataStack on <store>/chronelle.sqlite, the MainDataProvider, the
// ColorSetManager, the CHTimer (also registered as the model's CurrentTimeEntrySource) with
// the rounding preferences kept in the user defaults, then the timer's `wakeup()`, which
// finds the entry a previous command left running. Everything registered in the Injector's
// shared container. Main thread only.
class AppServices {
 public:
  // Throws CliError (failure) when the store directory is a file or the store cannot be
  // opened.
  explicit AppServices(const std::filesystem::path& storeDirectory);
  // Runs what is still queued, writes the user defaults and lets go of every service.
  ~AppServices();
  AppServices(const AppServices&) = delete;
  AppServices& operator=(const AppServices&) = delete;

  CoreDataStack& stack() const { return *stack_; }
  MainDataProvider& provider() const { return *provider_; }
  const std::shared_ptr<MainDataProvider>& sharedProvider() const { return provider_; }
  CHTimer& timer() const { return *timer_; }
  CHTimerPreferences& prefs() const { return *prefs_; }
  ColorSetManager& colors() const { return *colors_; }
  UserDefaults& defaults() const { return *defaults_; }
  const std::filesystem::path& storeDirectory() const { return storeDirectory_; }
  // The user defaults file of a store directory (the timer's state, the preferences).
  static std::filesystem::path defaultsFile(const std::filesystem::path& storeDirectory) {
    return storeDirectory / "defaults.json";
  }

  // Saves the timer preferences into the user defaults and writes the file.
  void savePrefs();

  // Runs `op` on the main queue until it completes, then everything it left queued (the
  // recount of confirmed durations, change notifications); returns its result or rethrows.
  template <class T>
  T run(asio::awaitable<T> op) {
    if constexpr (std::is_void_v<T>) {
      MainQueue::shared().runUntilComplete(std::move(op));
      settle();
    } else {
      T result = MainQueue::shared().runUntilComplete(std::move(op));
      settle();
      return result;
    }
  }
  // Runs every queued main-queue task, including those they queue.
  static void settle();

 private:
  std::filesystem::path storeDirectory_;
  std::shared_ptr<UserDefaults> defaults_;
  std::shared_ptr<CoreDataStack> stack_;
  std::shared_ptr<MainDataProvider> provider_;
  std::shared_ptr<ColorSetManager> colors_;
  std::shared_ptr<CHTimerPreferences> prefs_;
  std::shared_ptr<CHTimer> timer_;
};

}  // namespace chronelle::cli
