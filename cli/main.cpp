// The `chronelle` command-line time tracker. Until the library's data layer is in place
// it only runs `demo`, which opens the platform services and reports what it did.
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "chronelle/platform/Calendar.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/platform/UserDefaults.h"

namespace {

int runDemo() {
  using namespace chronelle;
  const auto dir = std::filesystem::temp_directory_path() / "chronelle-demo";
  std::filesystem::create_directories(dir);
  const Calendar calendar = Calendar::current();
  const Date now = Clock::now();
  std::printf("chronelle demo\n");
  std::printf("  now: %s (%s, %s)\n", calendar.format(now, "yyyy-MM-dd HH:mm:ss").c_str(),
              calendar.timeZoneIdentifier().c_str(), calendar.localeIdentifier().c_str());
  std::printf("  start of today: %s\n",
              calendar.format(calendar.startOfDay(now), "yyyy-MM-dd HH:mm:ss").c_str());

  UserDefaults defaults(dir / "defaults.json");
  defaults.setInteger("demo.runs", defaults.integer("demo.runs") + 1);
  defaults.synchronize();
  std::printf("  user defaults: %s (runs: %lld)\n", defaults.path().c_str(),
              static_cast<long long>(defaults.integer("demo.runs")));

  int delivered = 0;
  auto token = NotificationCenter::defaultCenter().addObserver(
      "demo.ping", nullptr, [&](const Notification&) { ++delivered; }, &MainQueue::shared());
  NotificationCenter::defaultCenter().post("demo.ping");
  const std::size_t ran = MainQueue::shared().runPending();
  std::printf("  main queue: ran %zu task(s), notifications delivered: %d\n", ran, delivered);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view command = argc > 1 ? argv[1] : "";
  if (command == "demo") return runDemo();
  std::fprintf(stderr, "chronelle: unknown command '%.*s' (try 'demo')\n",
               static_cast<int>(command.size()), command.data());
  return 2;
}
