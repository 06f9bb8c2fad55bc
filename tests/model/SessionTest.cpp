// Time entries and activity log entries: their effective times against the clock, clipping,
// billing and what observers hear.
#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "chronelle/model/BrowserALEntry.h"
#include "chronelle/model/DocumentAppALEntry.h"
#include "teststack/ScopedTimeZone.h"

namespace chronelle::testing {
namespace {

class SessionTest : public ::testing::Test {
 protected:
  ModelStore store;
};

TEST_F(SessionTest, RunningEntryMeasuresAgainstTheClockAndBillsOnlyWhenBillable) {
  auto entry = store.session(store.task("t"), store.time.now() - 3600);
  entry->setHourlyRate(90);
  entry->setIsBillable(true);
  const auto measured = [&] {
    return std::tuple(entry->effectiveEnd(), entry->effectiveDuration(), entry->effectiveRevenue(),
                      entry->effectiveHourlyRate());
  };
  EXPECT_EQ(measured(), std::tuple(store.time.now(), 3600.0, 90.0, std::optional(90.0)));
  store.time.advance(0.75);  // fractions of a second do not count
  entry->setIsBillable(false);
  EXPECT_EQ(measured(), std::tuple(store.time.now(), 3600.0, 0.0, std::nullopt));

  // The amount is the shared cents rule (its table lives with the money code): half a cent
  // up, away from zero below it, in both the running and the clipped form.
  const struct {
    double rate, seconds, cents;
  } amounts[] = {{18, 1, 1}, {17.99, 1, 0}, {-19.99, 1800, -1000}};
  for (const auto& c : amounts) {
    auto running = store.session(nullptr, store.time.now() - c.seconds);
    running->setIsBillable(true);
    running->setHourlyRate(c.rate);
    EXPECT_EQ(running->effectiveRevenue(), c.cents / 100) << c.rate << "/h for " << c.seconds << " s";
    EXPECT_EQ(running->effectiveRevenue(std::nullopt, std::nullopt), c.cents / 100) << c.rate << "/h, clipped";
  }
}

TEST_F(SessionTest, ClippingCountsOnlyThePartInsideThePeriod) {
  auto entry = store.session(nullptr, at(9), at(11));
  entry->setIsBillable(true);
  entry->setHourlyRate(36);
  entry->setConfirmedRevenue(55.55);  // reported whole, but a clipped amount comes from the rate
  EXPECT_EQ(entry->effectiveRevenue(), 55.55);
  const struct {
    const char* label;
    std::optional<Date> from, to;
    double seconds;
  } cases[] = {
      {"overlaps the end", at(10), at(12), 3600},
      {"starts where the entry ends", at(11), at(12), 0},
      {"ends where the entry begins", at(8), at(9), 0},
      {"contains the entry", at(8), at(12), 7200},
      {"inside the entry", at(9, 30), at(9, 45), 900},
      {"only a lower bound", at(10, 30), std::nullopt, 1800},
      {"only an upper bound", std::nullopt, at(9, 0, 1), 1},
      {"no bounds", std::nullopt, std::nullopt, 7200},
      {"inverted bounds", at(10, 30), at(10), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(entry->effectiveDuration(c.from, c.to), c.seconds);
    EXPECT_DOUBLE_EQ(entry->effectiveRevenue(c.from, c.to), c.seconds / 100);
  }
  // A running entry is clipped against the clock as its end; a backward one is empty.
  auto running = store.session(nullptr, store.time.now() - 600);
  EXPECT_EQ(running->effectiveDuration(store.time.now() - 60, std::nullopt), 60);
  EXPECT_EQ(running->effectiveDuration(store.time.now(), std::nullopt), 0);
  EXPECT_EQ(running->effectiveDateIterval(), DateInterval(store.time.now() - 600, store.time.now()));
  auto backwards = store.session(nullptr, at(10), at(9));
  EXPECT_EQ(backwards->effectiveDateIterval(), DateInterval(at(10), at(10)));
}

TEST_F(SessionTest, BillingStatusReadsOutOfRangeValuesAsUnbilled) {
  auto entry = store.session(nullptr, at(9));
  const struct {
    int raw;
    BillingStatus status;
  } readings[] = {{0, BillingStatus::unbilled}, {1, BillingStatus::billed}, {2, BillingStatus::paid},
                  {7, BillingStatus::unbilled}, {-1, BillingStatus::unbilled}};
  for (const auto& r : readings) {
    entry->setBillingStatusValue(static_cast<std::int16_t>(r.raw));
    EXPECT_EQ(std::tuple(entry->billingStatus(), BillingStatus::fromRaw(r.raw).has_value()),
              std::tuple(r.status, r.raw >= 0 && r.raw <= 2)) << r.raw;
  }
}

TEST_F(SessionTest, DeletedEntriesReadAsZeroAndEndPersistenceFollowsUnsavedChanges) {
  auto entry = store.session(store.task("t"), at(9), at(10));
  const std::pair<std::function<void()>, bool> steps[] = {  // a step, then whether the end is saved
      {[&] { store.context->save(); }, true}, {[&] { entry->setNotes("other key"); }, true},
      {[&] { entry->setEnd(at(11)); }, false}, {[&] { store.context->save(); }, true}};
  for (const auto& [step, persisted] : steps) {
    step();
    EXPECT_EQ(entry->isEndPersisted(), persisted);
  }

  entry->setIsBillable(true);
  entry->setHourlyRate(60);
  store.context->deleteObject(entry);
  store.context->save();
  ASSERT_NE(entry->faultingState(), 0);
  EXPECT_EQ(std::tuple(entry->effectiveDuration(), entry->effectiveDuration(at(9), at(10)),
                       entry->effectiveRevenue(at(9), at(10)), entry->dayString()),
            std::tuple(0.0, 0.0, 0.0, std::string()));
  EXPECT_EQ(entry->effectiveDateIterval(), DateInterval(store.time.now(), store.time.now()));
}

TEST_F(SessionTest, DayStringIsTheLocalCalendarDayAndTheFolderComesFromTheTask) {
  auto folder = store.folder("f");
  auto entry = store.session(store.task("in", folder), at(1, 30));  // the evening before in UTC-3
  for (const auto& [zone, day] :
       {std::pair{"America/Sao_Paulo", "2026-03-01"}, {"Asia/Tokyo", "2026-03-02"}}) {
    ScopedTimeZone scoped(zone);
    EXPECT_EQ(entry->dayString(), day) << zone;
  }
  EXPECT_EQ(entry->folder(), folder);
  EXPECT_EQ(store.session(store.task("top"), at(9))->folder(), nullptr);
}

TEST_F(SessionTest, ObserversHearOfTheValuesTheyDependOn) {
  auto folder = store.folder("f");
  auto task = store.task("t", folder);
  auto entry = store.session(nullptr, at(9), at(10));
  std::string heard;
  std::vector<ObservationToken> tokens;
  for (const char* key : {"effectiveDuration", "effectiveRevenue", "isBillable", "billingStatus"}) {
    tokens.push_back(entry->observe(key, [&heard, key](const ObservedChange&) { heard += std::string(key) + ' '; }));
  }
  int folderHeard = 0;
  auto folderToken = folder->observe("effectiveDuration", [&](const ObservedChange&) { ++folderHeard; });
  const std::pair<const char*, std::function<void()>> changes[] = {
      {"begin", [&] { entry->setBegin(at(8)); }},          {"end", [&] { entry->setEnd(at(11)); }},
      {"confirmed", [&] { entry->setConfirmedDuration(5); }}, {"task", [&] { entry->setTask(task); }},
      {"status", [&] { entry->setBillingStatusValue(1); }}, {"notes", [&] { entry->setNotes("n"); }},
      {"tick", [&] { entry->updateEffectiveDuration(); }}};
  for (const auto& [label, change] : changes) heard += std::string("| ") + label + ": ", change();
  EXPECT_EQ(heard,
            "| begin: effectiveDuration effectiveRevenue | end: effectiveDuration effectiveRevenue "
            "| confirmed: effectiveDuration effectiveRevenue | task: isBillable | status: billingStatus | notes: "
            "| tick: effectiveDuration effectiveRevenue ");
  EXPECT_EQ(folderHeard, 1) << "the tick reaches the folder";
}


TEST(ActivityLogTest, EffectiveTimesFallBackToTheClock) {
  ModelStore store;
  auto running = store.context->insert<ALEntry>(ALEntry::kEntityName);
  running->setBegin(store.time.now() - 120);
  store.time.advance(30);
  EXPECT_EQ(std::tuple(running->isRunning(), running->effectiveDuration(),
                       running->dateInterval().end()),
            std::tuple(true, 150.0, store.time.now()));

  auto blank = store.context->insert<ALEntry>(ALEntry::kEntityName);
  EXPECT_EQ(std::tuple(blank->isRunning(), blank->effectiveDuration()), std::tuple(false, 0.0));
  std::string titled;
  for (const char* title : {"", "x"}) titled += (blank->setTitle(title), blank->hasTitle()) ? "y" : "n";
  EXPECT_EQ(titled, "ny");

  auto backwards = store.context->insert<ALEntry>(ALEntry::kEntityName);
  backwards->setBegin(at(10));
  backwards->setEnd(at(9));
  EXPECT_FALSE(backwards->isRunning());
  EXPECT_EQ(backwards->dateInterval(), DateInterval(at(10), at(10)));
}

TEST(ActivityLogTest, SimilarityNeedsTheSameKindApplicationAndPlace) {
  ModelStore store;
  // An entry of the given kind, application and URL (the page's or the document's).
  auto entry = [&](const char* entity, std::optional<std::string> app, const char* url) {
    auto e = store.context->insert<ALEntry>(entity);
    e->setBundleId(std::move(app));
    if (auto b = std::dynamic_pointer_cast<BrowserALEntry>(e); b && url) b->setUrl(Url::parse(url));
    if (auto d = std::dynamic_pointer_cast<DocumentAppALEntry>(e); d && url) d->setDocumentUrl(Url::parse(url));
    return e;
  };
  auto browser = [&](const char* app, const char* url) { return entry(BrowserALEntry::kEntityName, app, url); };
  auto document = [&](const char* app, const char* url) { return entry(DocumentAppALEntry::kEntityName, app, url); };
  auto plain = [&](std::optional<std::string> app) { return entry(ALEntry::kEntityName, std::move(app), nullptr); };
  const struct {
    const char* label;
    std::shared_ptr<ALEntry> a, b;
    bool similar;
  } cases[] = {
      {"pages of one host", browser("b", "https://h.example/1"),
       browser("b", "https://h.example/2?x"), true},
      {"different hosts", browser("b", "https://h.example/1"), browser("b", "https://k.example/1"),
       false},
      {"different browsers", browser("b", "https://h.example/"), browser("c", "https://h.example/"),
       false},
      {"no URLs", browser("b", nullptr), browser("b", nullptr), true},
      {"host-less URL vs none", browser("b", "about:blank"), browser("b", nullptr), true},
      {"browser vs document", browser("b", nullptr), document("b", nullptr), false},
      {"same document", document("d", "file:///a.txt"), document("d", "file:///a.txt"), true},
      {"other document", document("d", "file:///a.txt"), document("d", "file:///b.txt"), false},
      {"plain, both absent", plain(std::nullopt), plain(std::nullopt), true},
      {"plain, one absent", plain("x"), plain(std::nullopt), false},
      {"plain vs browser", plain("b"), browser("b", nullptr), true},
  };
  for (const auto& c : cases) EXPECT_EQ(c.a->isSimilar(*c.b), c.similar) << c.label;
}

}  // namespace
}  // namespace chronelle::testing
