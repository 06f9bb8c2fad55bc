#include "ReportsFixture.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>

#include "chronelle/platform/MainQueue.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/ColorSetManager.h"
#include "chronelle/support/Injector.h"
#include "chronelle/support/Money.h"

namespace chronelle::testing {

// An entry running past midnight keeps every second of its day.
std::int64_t seconds(Date date) {
  const auto micros = date.timePoint().time_since_epoch() + std::chrono::microseconds(1);
  return std::chrono::floor<std::chrono::seconds>(micros).count();
}

namespace {

std::int64_t at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return seconds(berlinTime(year, month, day, hour, minute, second));
}

}  // namespace

ReportDataSet ReportDataSet::make(std::int64_t now) {
  ReportDataSet set;
  set.now = now;
  set.tasks = {
      {"design", {"work"}, false},  {"backend", {"work", "dev"}, false}, {"frontend", {"work", "dev"}, false},
      {"support", {"ops"}, false},  {"legacy", {"ops"}, true},           {"solo", {}, false},
      {"retired", {"old"}, true},
  };
  const int taskCount = static_cast<int>(set.tasks.size());
  std::mt19937 random(20260329);
  const auto uniform = [&](std::int64_t low, std::int64_t high) {
    return std::uniform_int_distribution<std::int64_t>(low, high)(random);
  };
  // 19.99 and 0.07 are no binary fractions; 18 and 120.5 meet half cents.
  const double rates[] = {0, 18, 19.99, 50, 90, 120.5, 0.07};
  const auto add = [&](int task, std::int64_t begin, std::int64_t end) {
    const bool billable = uniform(0, 2) != 0;
    const double rate = rates[uniform(0, 6)];
    // What the write side stores, billable or not: the exact amount of the whole entry.
    const double stored = money({task, begin, end, true, rate, 0, 0}, end - begin);
    set.entries.push_back({task, begin, end, billable, rate, static_cast<int>(uniform(0, 2)), stored});
  };

  // Entries at random over mid-December to mid-April, most of them short, some long enough
  // to cross one or more midnights.
  const std::int64_t first = at(2025, 12, 20);
  const std::int64_t last = at(2026, 4, 12);
  for (int i = 0; i < 260; ++i) {
    const std::int64_t begin = uniform(first, last);
    const std::int64_t kind = uniform(0, 9);
    const std::int64_t length = kind < 6 ? uniform(60, 4 * 3600) : kind < 9 ? uniform(4 * 3600, 14 * 3600)
                                                                             : uniform(20 * 3600, 60 * 3600);
    add(static_cast<int>(uniform(0, taskCount - 1)), begin, begin + length);
  }
  // Bounds met on purpose.
  const std::int64_t boundaries[] = {at(2026, 1, 1), at(2026, 2, 1), at(2026, 3, 1), at(2026, 3, 29),
                                     at(2026, 3, 30), at(2026, 4, 1), at(2026, 3, 23), at(2026, 3, 27, 13, 17, 5)};
  for (const std::int64_t bound : boundaries) {
    add(static_cast<int>(uniform(0, taskCount - 1)), bound - 1800, bound + 2700);  // crossing
    add(static_cast<int>(uniform(0, taskCount - 1)), bound - 3600, bound);          // ending on it
    add(static_cast<int>(uniform(0, taskCount - 1)), bound, bound + 1200);          // beginning on it
    add(static_cast<int>(uniform(0, taskCount - 1)), bound - 1, bound + 1);         // two seconds across
  }
  // Across the clock change (01:30 to 03:30 local is one hour) and a few small groups.
  add(1, at(2026, 3, 29, 1, 30), at(2026, 3, 29, 3, 30));
  add(3, at(2026, 3, 28, 10), at(2026, 3, 28, 10, 1));       // 60 s
  add(4, at(2026, 3, 28, 11), at(2026, 3, 28, 11, 1, 1));    // 61 s
  add(-1, at(2026, 3, 25, 9), at(2026, 3, 25, 11));          // no task
  add(-1, at(2026, 3, 28, 23), at(2026, 3, 29, 4));
  // Two days of many small entries around the end of March.
  for (int i = 0; i < 20; ++i) {
    const std::int64_t begin = uniform(at(2026, 3, 30), at(2026, 4, 1, 12));
    add(static_cast<int>(uniform(0, taskCount - 1)), begin, begin + uniform(5, 90));
  }

  set.runningIndex = static_cast<int>(set.entries.size());
  set.entries.push_back({0, at(2026, 3, 29, 11, 30), std::nullopt, true, 19.99, 0, 0});
  return set;
}

bool ReportDataSet::matches(const Entry& entry, const Filter& filter) const {
  if (filter.tasks && !filter.tasks->empty() && !filter.tasks->contains(entry.task)) return false;
  if (filter.archived) {
    if (entry.task < 0) return false;  // no task: its archived flag is absent
    const bool wantArchived = *filter.archived == SessionQuery3::ArchiveFilterOption::archivedOnly;
    if (tasks[static_cast<std::size_t>(entry.task)].archived != wantArchived) return false;
  }
  if (filter.billing && !filter.billing->empty()) {
    using Billing = SessionQuery3::BillingStatusOption;
    const bool ok = entry.billable ? filter.billing->contains(static_cast<Billing>(entry.status))
                                   : filter.billing->contains(Billing::nonBillable);
    if (!ok) return false;
  }
  return true;
}

std::int64_t ReportDataSet::moneyCents(const Entry& entry, std::int64_t seconds) {
  if (!entry.billable) return 0;
  // Rates have at most two decimals: in hundredths the amount is an exact fraction of 3600,
  // and with non-negative rates integer division after adding half of it rounds halves up.
  const std::int64_t rateCents = std::llround(entry.rate * 100);
  return (seconds * rateCents * 2 + 3600) / 7200;
}

TotalValues ReportDataSet::totals(std::int64_t from, std::int64_t to, const Filter& filter) const {
  TotalValues sum;
  std::int64_t cents = 0;
  for (const auto& [task, values] : totalsByTask(from, to, filter)) {
    sum.duration += values.duration;
    sum.sessionCount += values.sessionCount;
    cents += std::llround(values.revenue * 100);
  }
  sum.revenue = static_cast<double>(cents) / 100.0;
  return sum;
}

std::map<int, TotalValues> ReportDataSet::totalsByTask(std::int64_t from, std::int64_t to,
                                                       const Filter& filter) const {
  std::map<int, TotalValues> result;
  std::map<int, std::int64_t> cents;
  for (const auto& entry : entries) {
    if (!entry.end || !matches(entry, filter)) continue;
    const std::int64_t part = std::min(*entry.end, to) - std::max(entry.begin, from);
    if (part <= 0) continue;
    TotalValues& values = result[entry.task];
    values.duration += static_cast<double>(part);
    const bool inside = entry.begin >= from && *entry.end <= to;
    const std::int64_t stored = entry.billable ? std::llround(entry.storedRevenue * 100) : 0;
    cents[entry.task] += inside ? stored : moneyCents(entry, part);
    values.sessionCount += 1;
  }
  for (auto& [task, values] : result) values.revenue = static_cast<double>(cents[task]) / 100.0;
  return result;
}

bool ReportDataSet::runningCounts(std::int64_t from, std::int64_t to, const Filter& filter) const {
  const Entry& entry = entries[static_cast<std::size_t>(runningIndex)];
  return matches(entry, filter) && now > from && entry.begin < to;
}

std::set<int> ReportDataSet::trackedTasks(std::int64_t from, std::int64_t to, const Filter& filter) const {
  std::set<int> result;
  for (const auto& [task, values] : totalsByTask(from, to, filter)) {
    if (task >= 0) result.insert(task);
  }
  if (runningCounts(from, to, filter)) result.insert(entries[static_cast<std::size_t>(runningIndex)].task);
  return result;
}


ReportsFixture::ReportsFixture() : StackFixture(berlinTime(2026, 3, 29, 15, 0), "Europe/Berlin") {
  Injector::sharedSyncedContainer().registerInstance<ColorSetManager>(std::make_shared<ColorSetManager>());
  provider = std::make_shared<BaseDataProvider>(stack->viewContext());
}

ReportsFixture::~ReportsFixture() {
  MainQueue::shared().runPending();
  provider.reset();
}

void ReportsFixture::makeTree() {
  work = makeFolder("work");
  design = makeTask("design", work);
  dev = makeFolder("dev", work);
  backend = makeTask("backend", dev);
  frontend = makeTask("frontend", dev);
  admin = makeTask("admin");
  admin->setArchived(true);
  errands = makeFolder("errands");
  top = makeTask("top");
}

std::shared_ptr<Session> ReportsFixture::makeEntry(const std::shared_ptr<Task>& task, Date begin,
                                                   std::optional<Date> end, bool billable, double rate, int status) {
  auto entry = makeSession(task, begin, end);
  entry->setIsBillable(billable);
  entry->setHourlyRate(rate);
  entry->setBillingStatusValue(static_cast<std::int16_t>(status));
  if (end) {
    const double seconds = ChronelleDateUtils::effectiveDuration(begin, *end);
    entry->setConfirmedDuration(seconds);
    entry->setConfirmedRevenue(revenueAmount(seconds, rate));
  }
  return entry;
}

using Billing = SessionQuery3::BillingStatusOption;

ReportNumbersFixture::ReportNumbersFixture() : data(ReportDataSet::make(seconds(time.now()))) {
  for (const auto& info : data.tasks) {
    std::shared_ptr<Folder> parent;
    std::string path;
    for (const auto& name : info.folders) {
      path += (path.empty() ? "" : "/") + name;
      auto& folder = folders[path];
      if (!folder) folder = makeFolder(name, parent);
      parent = folder;
    }
    auto task = makeTask(info.name, parent);
    task->setArchived(info.archived);
    tasks.push_back(task);
  }
  folders["old"]->setArchived(true);
  for (const auto& entry : data.entries) {
    const auto task = entry.task >= 0 ? tasks[static_cast<std::size_t>(entry.task)] : nullptr;
    std::optional<Date> end;
    if (entry.end) end = Date::fromSecondsSince1970(static_cast<double>(*entry.end));
    auto session = makeEntry(task, Date::fromSecondsSince1970(static_cast<double>(entry.begin)), end, entry.billable,
                             entry.rate, entry.status);
    session->setConfirmedRevenue(entry.storedRevenue);
    if (!entry.end) running = session;
  }
  save();
}

std::vector<ReportNumbersFixture::Case> ReportNumbersFixture::cases() const {
  struct Period {
    const char* name;
    ReportScopeType type;
    Date reference;
    std::optional<DateInterval> custom;
  };
  const Period periods[] = {
      {"day of the clock change", ReportScopeType::daily, berlinTime(2026, 3, 29, 12), std::nullopt},
      {"first of March", ReportScopeType::daily, berlinTime(2026, 3, 1, 8), std::nullopt},
      {"week of the clock change", ReportScopeType::weekly, berlinTime(2026, 3, 26), std::nullopt},
      {"March", ReportScopeType::monthly, berlinTime(2026, 3, 10), std::nullopt},
      {"February", ReportScopeType::monthly, berlinTime(2026, 2, 10), std::nullopt},
      {"2026", ReportScopeType::yearly, berlinTime(2026, 6, 1), std::nullopt},
      {"custom across the clock change", ReportScopeType::custom, Date(),
       DateInterval(berlinTime(2026, 3, 27, 13, 17, 5), berlinTime(2026, 4, 2, 8))},
  };
  std::vector<Case> result;
  for (const auto& period : periods) {
    ReportScope3 base(berlin());
    base.referenceDate = period.reference;
    base.type = period.type;
    if (period.custom) base = base.customScope(*period.custom);
    const std::string name = period.name;
    result.push_back({name, base, {}});
    result.push_back({name + ", work folder", base.scopeByAdusting(NodeSet{folders.at("work")}),
                      {std::set<int>{0, 1, 2}, std::nullopt, std::nullopt}});
    result.push_back({name + ", billed or non-billable",
                      base.scopeByAdding(Billing::billed).scopeByAdding(Billing::nonBillable),
                      {std::nullopt, std::nullopt, std::set<Billing>{Billing::billed, Billing::nonBillable}}});
    result.push_back({name + ", active only", base.scopeByAdjusting(SessionQuery3::ArchiveFilterOption::activeOnly),
                      {std::nullopt, SessionQuery3::ArchiveFilterOption::activeOnly, std::nullopt}});
    result.push_back({name + ", archived only",
                      base.scopeByAdjusting(SessionQuery3::ArchiveFilterOption::archivedOnly),
                      {std::nullopt, SessionQuery3::ArchiveFilterOption::archivedOnly, std::nullopt}});
  }
  return result;
}

int ReportNumbersFixture::taskIndex(const ObjectID& id) const {
  for (std::size_t i = 0; i < tasks.size(); ++i) {
    if (tasks[i]->objectID() == id) return static_cast<int>(i);
  }
  return -1;
}

std::vector<ObjectID> ReportNumbersFixture::folderIDs(int task) const {
  std::vector<ObjectID> ids;
  std::string path;
  for (const auto& name : data.tasks[static_cast<std::size_t>(task)].folders) {
    path += (path.empty() ? "" : "/") + name;
    ids.push_back(folders.at(path)->objectID());
  }
  return ids;
}

}  // namespace chronelle::testing
