// Logger, container, localizer and URL: the small services.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "chronelle/platform/Container.h"
#include "chronelle/platform/Localizer.h"
#include "chronelle/platform/Logger.h"
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
  Logger::setDefaultLogLevel(LogLevel::info);
  Logger shared("Shared");
  std::atomic<bool> started{false};
  std::atomic<bool> done{false};
  std::thread writer([&] {
    started = true;
    do shared.log(LogLevel::warning, "w");
    while (!done.load());
  });
  while (!started.load()) std::this_thread::yield();
  for (int i = 0; i < 2000; ++i)
    shared.setLogLevel(i % 2 ? LogLevel::error : LogLevel::trace);
  done = true;
  writer.join();
  shared.setLogLevel(LogLevel::error);
  logs.clear();
  shared.log(LogLevel::warning, "filtered");
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
  // A directory of its own: other checkouts may run this test on the same machine at once.
  testing::TempDirectory directory;
  const auto path = directory.file("logger.log");
  {
    SpdlogHandler handler(path.string());
    LogRecord record;
    record.label = "Data";
    record.level = LogLevel::notice;
    record.message = "saved";
    record.metadata = {{"count", MV::string("2")}};
    handler.log(record);
  }
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  EXPECT_NE(line.find(" notice Data : saved count=2"), std::string::npos) << line;
}

TEST(Container, ResolvesOneSharedInstancePerServiceFromAnyThread) {
  struct Service {
    int id;
  };
  struct Dependent {
    std::shared_ptr<Service> service;
  };
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
  EXPECT_EQ(factoryRuns.load(), 1);
  for (const auto& d : seen) {
    EXPECT_EQ(d, seen[0]);
    EXPECT_EQ(d->service->id, 7);
  }
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
  EXPECT_FALSE(container.isRegistered<int>());
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
  EXPECT_EQ(Localizer::localizedString("Billed"), "Abgerechnet");
  EXPECT_EQ(Localizer::localizedString("Paid"), "Bezahlt");
  EXPECT_EQ(Localizer::localizedString("Unbilled"), "Unbilled");
  Localizer::reset();
  EXPECT_EQ(Localizer::localizedString("Billed"), "Billed");
}

TEST(Url, PartsOfObjectAndFileUrls) {
  struct Case {
    const char* text;
    const char* scheme;
    std::optional<std::string> host;
    const char* path;
    const char* last;
  };
  const Case cases[] = {
      {"x-chronelle://ABC-123/Task/p12", "x-chronelle", "ABC-123", "/Task/p12", "p12"},
      {"x-chronelle:///Session/tF00D", "x-chronelle", std::nullopt, "/Session/tF00D", "tF00D"},
      {"https://user@example.org:8443/a%20b/c/?q=1#top", "https", "example.org", "/a b/c/", "c"},
      {"file:///", "file", std::nullopt, "/", "/"},
      {"mailto:someone", "mailto", std::nullopt, "someone", "someone"},
      {"relative/path", "", std::nullopt, "relative/path", "path"},
  };
  for (const auto& c : cases) {
    auto url = Url::parse(c.text);
    ASSERT_TRUE(url) << c.text;
    EXPECT_EQ(url->scheme(), c.scheme) << c.text;
    EXPECT_EQ(url->host(), c.host) << c.text;
    EXPECT_EQ(url->path(), c.path) << c.text;
    EXPECT_EQ(url->lastPathComponent(), c.last) << c.text;
    EXPECT_EQ(url->absoluteString(), c.text);
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
  EXPECT_EQ(file.absoluteString(), "file:///tmp/data.sqlite");
  EXPECT_TRUE(file.isFileUrl());
  EXPECT_EQ(Url::fileUrl("/tmp/a b%").filePath(), std::filesystem::path("/tmp/a b%"));
  EXPECT_EQ(Url::fileUrl("/tmp/a b%").absoluteString(), "file:///tmp/a%20b%25");
  EXPECT_EQ(Url::parse("https://h/x")->filePath(), std::nullopt);
}

}  // namespace
}  // namespace chronelle
