// Log records and their metadata, and the shared service container.
#include <gtest/gtest.h>

#include <any>
#include <filesystem>
#include <list>
#include <map>
#include <set>
#include <stdexcept>
#include <thread>
#include <tuple>

#include "chronelle/support/Injector.h"
#include "chronelle/support/Logging.h"
#include "testsupport/CapturedLogs.h"

namespace chronelle {
namespace {

using MV = MetadataValue;

struct Described {
  std::string description() const { return "described"; }
};
struct Streamed {};
std::ostream& operator<<(std::ostream& os, const Streamed&) { return os << "streamed"; }
struct Opaque {};
enum class Mode { a = 1, b = 2 };
struct FailingDescription {
  std::string description() const { throw std::runtime_error("cannot describe"); }
};

TEST(Logging, MetadataConversionRules) {
  const std::vector<int> ints{1, 2};
  const std::map<std::string, std::any> mixed{{"n", std::any(3)}, {"m", std::any(MV::string("u"))},
                                               {"s", std::any(std::string("t"))}, {"d", std::any(2.5)}};
  const std::tuple<const char*, MV, MV> cases[] = {
      {"C string", metadataValueFrom("text"), MV::string("text")},
      {"path", metadataValueFrom(std::filesystem::path("/a/b")), MV::string("/a/b")},
      {"description()", metadataValueFrom(Described{}), MV::stringConvertible("described")},
      {"operator<<", metadataValueFrom(Streamed{}), MV::stringConvertible("streamed")},
      {"int", metadataValueFrom(42), MV::stringConvertible("42")},
      {"bool", metadataValueFrom(true), MV::stringConvertible("true")},
      {"exception", metadataValueFrom(std::runtime_error("bad")), MV::stringConvertible("bad")},
      {"exception_ptr", metadataValueFrom(std::make_exception_ptr(std::logic_error("worse"))), MV::stringConvertible("worse")},
      {"Date", metadataValueFrom(Date::fromSecondsSince1970(0)), MV::stringConvertible("1970-01-01T00:00:00Z")},
      {"vector", metadataValueFrom(ints), MV::array({MV::stringConvertible("1"), MV::stringConvertible("2")})},
      {"set of strings", metadataValueFrom(std::set<std::string>{"x"}), MV::array({MV::string("x")})},
      {"nested list", metadataValueFrom(std::list<std::vector<std::string>>{{"a"}}),
       MV::array({MV::array({MV::string("a")})})},
      {"map of any", metadataValueFrom(mixed),
       MV::dictionary(
           {{"n", MV::stringConvertible("3")}, {"m", MV::string("u")}, {"s", MV::string("t")},
            {"d", MV::stringConvertible("2.5")}})},
      {"any unknown", metadataValueFrom(std::any(Opaque{})), MV::string("chronelle::(anonymous namespace)::Opaque")},
      {"opaque", metadataValueFrom(Opaque{}), MV::string("chronelle::(anonymous namespace)::Opaque")},
      {"enum", metadataValueFrom(Mode::b), MV::string("chronelle::(anonymous namespace)::Mode(2)")},
      {"empty optional", metadataValueFrom(std::optional<int>()), MV::string("nil")},
      {"optional", metadataValueFrom(std::optional<std::string>("v")), MV::string("v")},
  };
  for (const auto& [what, actual, expected] : cases) {
    EXPECT_TRUE(actual.kind() == expected.kind() && actual == expected) << what << ": " << actual.toString();
  }
}

TEST(Logging, RecordsCarryCallerSourceAndData) {
  testing::CapturedLogs logs;
  const Logger logger(LogLabel::data);
  const int line = __LINE__ + 1;
  logInfo(logger, "posting mainContextDidChange notification", {{"count", 2}, {"name", "x"}});
  logError(logger, "Error on getting session", std::runtime_error("disk I/O error"));
  auto records = logs.records();
  ASSERT_EQ(records.size(), 2u);
  // The source is the folder this file is in.
  EXPECT_EQ(std::tuple(records[0].label, records[0].level, records[0].source, records[0].line),
            std::tuple("Data", LogLevel::info, "support", static_cast<std::uint32_t>(line)));
  EXPECT_NE(records[0].function.find("TestBody"), std::string::npos) << records[0].function;
  EXPECT_EQ(records[0].metadata, (LogMetadata{{"count", MV::stringConvertible("2")}, {"name", MV::string("x")}}));
  EXPECT_EQ(std::tuple(records[1].level, records[1].function, records[1].line, records[1].file, records[1].source),
            std::tuple(LogLevel::error, "error(_:_:file:)", 103u, __FILE__, "support"));
  EXPECT_EQ(records[1].metadata, (LogMetadata{{"error", MV::stringConvertible("disk I/O error")}}));
  for (const auto& [path, source] : std::map<std::string, std::string>{
           {"/work/src/data/Provider.cpp", "data"}, {"a/b", "n/a"}, {"plain.cpp", "n/a"}, {"//x.cpp", ""}, {"/x.cpp", "n/a"}}) {
    EXPECT_EQ(logSource(path), source) << path;
  }
}

TEST(Logging, MessagesAreBuiltOnlyWhenEnabledAndFailuresStayInside) {
  testing::CapturedLogs logs;
  Logger logger(LogLabel::timer);
  logger.setLogLevel(LogLevel::info);
  int built = 0;
  logDebug(logger, [&] { return ++built, std::string("expensive"); });
  logWarning(logger, [&] { return ++built, std::string("cheap enough"); });
  EXPECT_EQ(std::pair(built, logs.transcript()), std::pair(1, std::string("Timer: cheap enough")));

  logs.clear();
  EXPECT_NO_THROW(logWarning(logger, []() -> std::string { throw std::runtime_error("no"); }));
  EXPECT_NO_THROW(logInfo(logger, "with a failing value", {{"value", FailingDescription{}}}));
  EXPECT_NO_THROW(logError(logger, "failing error value", FailingDescription{}));
  EXPECT_EQ(logs.transcript(), "Timer: <message could not be built>\nTimer: with a failing value");
  EXPECT_EQ(logs.records()[1].metadata.at("value"), MV::string("<no description>"));
}

struct Stack { int id; };

TEST(Injector, SyncedContainerIsTheSharedOneOfItsFirstRequestForever) {
  // The synced container is created once per process; whichever test asks first fixes it,
  // so this test reasons from what it finds rather than assuming it is first.
  Container& synced = Injector::sharedSyncedContainer();
  const auto sharedBefore = Injector::shared();
  if (&synced == sharedBefore.get()) {
    sharedBefore->registerInstance(std::make_shared<Stack>(Stack{1}));
    EXPECT_EQ(synced.resolve<Stack>()->id, 1);  // registered in shared, seen through synced
  }

  auto replacement = std::make_shared<Container>();
  Injector::setShared(replacement);
  EXPECT_EQ(Injector::shared(), replacement);
  // The replacement does not reach the resolver handed out before.
  EXPECT_EQ(&Injector::sharedSyncedContainer(), &synced);

  // Resolution from other threads sees the one instance.
  synced.registerInstance(std::make_shared<Stack>(Stack{3}));
  std::shared_ptr<Stack> fromThread;
  std::thread([&] { fromThread = Injector::sharedSyncedContainer().resolve<Stack>(); }).join();
  EXPECT_EQ(fromThread, synced.resolve<Stack>());
  Injector::setShared(nullptr);  // a fresh, empty container, never null
  EXPECT_FALSE(Injector::shared() == nullptr || Injector::shared()->isRegistered<Stack>());
}

}  // namespace
}  // namespace chronelle
