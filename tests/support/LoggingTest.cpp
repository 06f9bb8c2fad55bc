#include "chronelle/support/Logging.h"

#include <gtest/gtest.h>

#include <any>
#include <filesystem>
#include <list>
#include <set>
#include <stdexcept>

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
  const std::map<std::string, std::any> mixed{{"n", std::any(3)}, {"s", std::any(std::string("t"))}};
  struct Case {
    const char* what;
    MV actual;
    MV expected;
  };
  const Case cases[] = {
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
       MV::dictionary({{"n", MV::stringConvertible("3")}, {"s", MV::string("t")}})},
      {"any unknown", metadataValueFrom(std::any(Opaque{})), MV::string("chronelle::(anonymous namespace)::Opaque")},
      {"opaque", metadataValueFrom(Opaque{}), MV::string("chronelle::(anonymous namespace)::Opaque")},
      {"enum", metadataValueFrom(Mode::b), MV::string("chronelle::(anonymous namespace)::Mode(2)")},
      {"empty optional", metadataValueFrom(std::optional<int>()), MV::string("nil")},
      {"optional", metadataValueFrom(std::optional<std::string>("v")), MV::string("v")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.actual.kind(), c.expected.kind()) << c.what;
    EXPECT_EQ(c.actual, c.expected) << c.what << ": " << c.actual.toString();
  }
  EXPECT_EQ(metadataValueFrom(mixed).toString(), R"(["n": "3", "s": "t"])");
  EXPECT_EQ(metadataValueFrom(std::vector<std::string>{"a", "b"}).toString(), R"(["a", "b"])");
}

TEST(Logging, RecordsCarryCallerSourceAndData) {
  testing::CapturedLogs logs;
  const Logger logger(LogLabel::data);
  const int line = __LINE__ + 1;
  logInfo(logger, "posting mainContextDidChange notification", {{"count", 2}, {"name", "x"}});
  logError(logger, "Error on getting session", std::runtime_error("disk I/O error"));
  auto records = logs.records();
  ASSERT_EQ(records.size(), 2u);

  EXPECT_EQ(records[0].label, "Data");
  EXPECT_EQ(records[0].level, LogLevel::info);
  EXPECT_EQ(records[0].source, "support");  // the folder this file is in
  EXPECT_EQ(records[0].line, static_cast<std::uint32_t>(line));
  EXPECT_NE(records[0].function.find("TestBody"), std::string::npos) << records[0].function;
  EXPECT_EQ(records[0].metadata,
            (LogMetadata{{"count", MV::stringConvertible("2")}, {"name", MV::string("x")}}));

  EXPECT_EQ(records[1].level, LogLevel::error);
  EXPECT_EQ(records[1].function, "error(_:_:file:)");
  EXPECT_EQ(records[1].line, 103u);
  EXPECT_EQ(records[1].file, __FILE__);
  EXPECT_EQ(records[1].source, "support");
  EXPECT_EQ(records[1].metadata, (LogMetadata{{"error", MV::stringConvertible("disk I/O error")}}));

  struct Case {
    const char* path;
    const char* source;
  };
  for (const auto& c : {Case{"/work/src/data/Provider.cpp", "data"}, Case{"a/b", "n/a"},
                        Case{"plain.cpp", "n/a"}, Case{"//x.cpp", ""}, Case{"/x.cpp", "n/a"}})
    EXPECT_EQ(logSource(c.path), c.source) << c.path;
}

TEST(Logging, MessagesAreBuiltOnlyWhenEnabledAndFailuresStayInside) {
  testing::CapturedLogs logs;
  Logger logger(LogLabel::timer);
  logger.setLogLevel(LogLevel::info);
  int built = 0;
  logDebug(logger, [&] { return ++built, std::string("expensive"); });
  logWarning(logger, [&] { return ++built, std::string("cheap enough"); });
  EXPECT_EQ(built, 1);
  EXPECT_EQ(logs.transcript(), "Timer: cheap enough");

  logs.clear();
  EXPECT_NO_THROW(logWarning(logger, []() -> std::string { throw std::runtime_error("no"); }));
  EXPECT_NO_THROW(logInfo(logger, "with a failing value", {{"value", FailingDescription{}}}));
  EXPECT_NO_THROW(logError(logger, "failing error value", FailingDescription{}));
  EXPECT_EQ(logs.transcript(),
            "Timer: <message could not be built>\nTimer: with a failing value");
  EXPECT_EQ(logs.records()[1].metadata.at("value"), MV::string("<no description>"));
}

}  // namespace
}  // namespace chronelle
