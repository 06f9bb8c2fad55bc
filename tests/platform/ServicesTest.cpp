// Logger, container, localizer, URL and notification centre: the small services.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "chronelle/platform/Container.h"
#include "chronelle/platform/Localizer.h"
#include "chronelle/platform/Logger.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/platform/Url.h"
#include "testsupport/CapturedLogs.h"
#include "testsupport/TempDirectory.h"

namespace chronelle {
namespace {

TEST(Logger, LevelsFilterAndTheDefaultLevelIsFollowed) {
  testing::CapturedLogs logs;
  Logger::setDefaultLogLevel(LogLevel::notice);
  Logger following("Follow");
  Logger fixed("Fixed");
  fixed.setLogLevel(LogLevel::trace);
  for (auto level : {LogLevel::trace, LogLevel::debug, LogLevel::info, LogLevel::notice,
                     LogLevel::warning, LogLevel::error, LogLevel::critical}) {
    following.log(level, std::string(logLevelName(level)));
    fixed.log(level, std::string(logLevelName(level)));
  }
  Logger::setDefaultLogLevel(LogLevel::error);
  following.log(LogLevel::warning, "now filtered");
  EXPECT_EQ(logs.transcript(),
            "Fixed: trace\nFixed: debug\nFixed: info\nFollow: notice\nFixed: notice\n"
            "Follow: warning\nFixed: warning\nFollow: error\nFixed: error\n"
            "Follow: critical\nFixed: critical");
}

// A component logger is shared by every thread that uses the component; the application may
// change its level meanwhile (ThreadSanitizer reports the race when the level is a plain int).
TEST(Logger, LevelChangesWhileAnotherThreadLogs) {
  testing::CapturedLogs logs;
  Logger shared("Shared");
  std::atomic<bool> started{false}, done{false};
  std::thread writer([&] { for (started = true; !done.load();) shared.log(LogLevel::warning, "w"); });
  while (!started.load()) std::this_thread::yield();
  for (int i = 0; i < 2000; ++i) shared.setLogLevel(i % 2 ? LogLevel::error : LogLevel::trace);
  done = true;
  writer.join();
  logs.clear();
  shared.log(LogLevel::warning, "filtered");  // the last level set holds
  shared.log(LogLevel::error, "kept");
  EXPECT_EQ(logs.transcript(), "Shared: kept");
}

TEST(Logger, MetadataRendersAsText) {
  using MV = MetadataValue;
  const MV nested = MV::dictionary(
      {{"b", MV::array({MV::string("x\"y"), MV::stringConvertible("3")})},
       {"a", MV::dictionary({})}});
  EXPECT_EQ(nested.toString(), R"(["a": "[:]", "b": "[\"x\\\"y\", \"3\"]"])");
  EXPECT_EQ(nested.toDictionary(),
            (std::map<std::string, std::string>{{"a", "[:]"}, {"b", R"(["x\"y", "3"])"}}));
  EXPECT_EQ(MV::array({}).toString(), "[]");

  // The spdlog handler renders records to a file the application chose.
  testing::TempDirectory directory;
  const auto path = directory.file("logger.log");
  LogRecord record;
  record.label = "Data";
  record.level = LogLevel::notice;
  record.message = "saved";
  record.metadata = {{"count", MV::string("2")}};
  SpdlogHandler(path.string()).log(record);
  std::string line;
  std::getline(std::ifstream(path), line);
  EXPECT_NE(line.find(" notice Data : saved count=2"), std::string::npos) << line;
}

TEST(Container, ResolvesOneSharedInstancePerServiceFromAnyThread) {
  struct Service { int id; };
  struct Dependent { std::shared_ptr<Service> service; };
  Container container;
  std::atomic<int> factoryRuns{0};
  container.registerFactory<Service>([&] {
    factoryRuns.fetch_add(1);
    return std::make_shared<Service>(Service{7});
  });
  container.registerFactory<Dependent>(
      [&] { return std::make_shared<Dependent>(Dependent{container.resolve<Service>()}); });
  std::vector<std::shared_ptr<Dependent>> seen(8);
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&] { slot = container.resolve<Dependent>(); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(std::tuple(factoryRuns.load(), std::count(seen.begin(), seen.end(), seen[0]),
                       seen[0]->service->id), std::tuple(1, 8, 7));
  EXPECT_EQ(container.tryResolve<int>(), nullptr);
  container.registerInstance(std::make_shared<int>(5));
  EXPECT_EQ(*container.resolve<int>(), 5);

  // A factory that throws can be tried again.
  int attempts = 0;
  container.registerFactory<double>([&] {
    if (++attempts == 1) throw std::runtime_error("not yet");
    return std::make_shared<double>(1.5);
  });
  EXPECT_THROW(container.resolve<double>(), std::runtime_error);
  EXPECT_EQ(*container.resolve<double>(), 1.5);
  container.removeAll();
  EXPECT_FALSE(container.isRegistered<int>() || container.isRegistered<Service>());
}

struct UnregisteredThing {};

TEST(ContainerDeathTest, AnUnregisteredServiceAbortsNamingTheType) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Container container;
  EXPECT_DEATH(container.resolve<UnregisteredThing>(),
               "chronelle: unregistered service chronelle::\\(anonymous namespace\\)::"
               "UnregisteredThing");
}

TEST(Localizer, TableEntriesOrTheKeyItself) {
  Localizer::setTable({{"Billed", "Abgerechnet"}});
  Localizer::addEntries({{"Paid", "Bezahlt"}});
  const auto texts = [] {
    return Localizer::localizedString("Billed") + " " + Localizer::localizedString("Paid") + " " +
           Localizer::localizedString("Unbilled");
  };
  EXPECT_EQ(texts(), "Abgerechnet Bezahlt Unbilled");
  Localizer::reset();
  EXPECT_EQ(texts(), "Billed Paid Unbilled");
}

TEST(Url, PartsOfObjectAndFileUrls) {
  // Text, scheme, host, path, last path component.
  using Host = std::optional<std::string>;
  const std::tuple<const char*, const char*, Host, const char*, const char*> cases[] = {
      {"x-chronelle://ABC-123/Task/p12", "x-chronelle", "ABC-123", "/Task/p12", "p12"},
      {"x-chronelle:///Session/tF00D", "x-chronelle", std::nullopt, "/Session/tF00D", "tF00D"},
      {"https://user@example.org:8443/a%20b/c/?q=1#top", "https", "example.org", "/a b/c/", "c"},
      {"file:///", "file", std::nullopt, "/", "/"},
      {"mailto:someone", "mailto", std::nullopt, "someone", "someone"},
      {"relative/path", "", std::nullopt, "relative/path", "path"},
  };
  for (const auto& [text, scheme, host, path, last] : cases) {
    auto url = Url::parse(text);
    ASSERT_TRUE(url) << text;
    EXPECT_EQ(std::tuple(url->scheme(), url->host(), url->path(), url->lastPathComponent(),
                         url->absoluteString()),
              std::tuple(scheme, host, path, last, text));
  }
  EXPECT_EQ(Url::parse("https://example.org:8443/")->port(), 8443);
  for (const char* bad : {"", "has space", "bad%zz", "http://h:port/", "caf\xc3\xa9"})
    EXPECT_EQ(Url::parse(bad), std::nullopt) << bad;

  const Url base = *Url::parse("x-chronelle://S");
  EXPECT_EQ(base.appendingPathComponent("Task").appendingPathComponent("p1").absoluteString(),
            "x-chronelle://S/Task/p1");
  EXPECT_EQ(Url::parse("https://h/dir/?q")->appendingPathComponent("a b#").absoluteString(),
            "https://h/dir/a%20b%23?q");

  const Url file = Url::fileUrl("/tmp/My Store/../data.sqlite");
  EXPECT_TRUE(file.isFileUrl() && file.absoluteString() == "file:///tmp/data.sqlite") << file.absoluteString();
  EXPECT_EQ(Url::fileUrl("/tmp/a b%").filePath(), std::filesystem::path("/tmp/a b%"));
  EXPECT_EQ(Url::fileUrl("/tmp/a b%").absoluteString(), "file:///tmp/a%20b%25");
  EXPECT_EQ(Url::parse("https://h/x")->filePath(), std::nullopt);
}

TEST(NotificationCenter, DeliversByNameAndSenderInRegistrationOrderOrOnAQueue) {
  NotificationCenter center;
  MainQueue queue;
  std::string log;
  int senderA = 0, senderB = 0;
  auto record = [&](const char* who) {
    return [&, who](const Notification& n) {
      log += who;
      if (auto count = n.value<int>("count")) log += "(" + std::to_string(*count) + ")";
      EXPECT_EQ(n.value<std::string>("count"), nullptr);  // wrong type reads as absent
      log += " ";
    };
  };
  auto any = center.addObserver("Changed", nullptr, record("any"));
  auto onlyA = center.addObserver("Changed", &senderA, record("onlyA"));
  auto other = center.addObserver("Other", nullptr, record("other"));
  auto last = center.addObserver("Changed", nullptr, record("last"));
  // A queued observer runs when the queue does, and not once it is unregistered.
  auto queued = center.addObserver("Changed", &senderB, record("queued"), &queue);

  center.post("Changed", &senderA, {{"count", 3}});
  center.post("Changed", &senderB);
  last.reset();
  center.post("Changed", nullptr);
  log += "| ";
  queue.runPending();
  center.post("Changed", &senderB);
  queued.reset();
  queue.runPending();
  EXPECT_EQ(log, "any(3) onlyA(3) last(3) any last any | queued any ");
}

TEST(NotificationCenter, ObserversMayChangeRegistrationsDuringDelivery) {
  NotificationCenter center;
  std::string log;
  ObserverToken second, added;
  auto first = center.addObserver("N", nullptr, [&](const Notification&) {
    log += "first ";
    second.reset();  // removed before its turn: not called
    if (!added) added = center.addObserver("N", nullptr, [&](const Notification&) { log += "added "; });
  });
  second = center.addObserver("N", nullptr, [&](const Notification&) { log += "second "; });
  ObserverToken self;
  self = center.addObserver("N", nullptr, [&](const Notification&) {
    log += "self ";
    self.reset();  // an observer may unregister itself from its own callback
  });
  center.post("N");
  center.post("N");
  EXPECT_EQ(log, "first self first added ");

  // A throwing observer reaches the poster and leaves the centre usable.
  auto thrower = center.addObserver("T", nullptr, [](const Notification&) {
    throw std::runtime_error("observer failed");
  });
  EXPECT_THROW(center.post("T"), std::runtime_error);
  thrower.reset();
  EXPECT_NO_THROW(center.post("T"));
  log.clear();
  center.post("N");
  EXPECT_EQ(log, "first added ");
}

TEST(NotificationCenter, NoCallbackAfterTheTokenIsDestroyedWhileAnotherThreadPosts) {
  NotificationCenter center;
  std::atomic<bool> stop{false};
  std::thread poster([&] {
    while (!stop.load()) center.post("Tick");
  });
  for (int round = 0; round < 300; ++round) {
    auto alive = std::make_shared<std::atomic<bool>>(true);
    std::atomic<int> callsAfterDestruction{0};
    {
      auto token = center.addObserver("Tick", nullptr, [alive, &callsAfterDestruction](
                                                           const Notification&) {
        if (!alive->load()) callsAfterDestruction.fetch_add(1);
      });
      std::this_thread::yield();
    }
    alive->store(false);  // the token is gone: no callback may start or still run now
    std::this_thread::yield();
    ASSERT_EQ(callsAfterDestruction.load(), 0) << "round " << round;
  }
  stop.store(true);
  poster.join();
}

}  // namespace
}  // namespace chronelle
