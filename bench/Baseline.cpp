#include "Baseline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

namespace chronelle::bench {
namespace {

// Entries wholly inside [?1, ?2] and entries crossing ?1 or ?2, as the library selects them.
// Every search is a range of ZBEGIN closed on both sides: an entry ending after ?1 begins
// no earlier than ?1 minus the longest entry, read in one step from the index of
// ZEND − ZBEGIN. (`+ZEND` keeps the planner off the index of the end, whose range would
// hold every entry ending before ?2.)
const std::string kLongest = "(SELECT MAX(ZEND - ZBEGIN) FROM ZSESSION)";
const std::string kInside = "ZBEGIN >= ?1 AND ZBEGIN < ?2 AND +ZEND > ?1 AND +ZEND <= ?2";
// The entries crossing a bound begin within one longest entry before it: two narrow ranges,
// one per bound, rather than the span between them, which is the whole period.
const std::string kEdges = "((ZBEGIN >= ?1 - " + kLongest +
                           " AND ZBEGIN < ?1 AND +ZEND > ?1) OR (ZBEGIN >= ?2 - " + kLongest +
                           " AND ZBEGIN < ?2 AND +ZEND > ?2))";
constexpr const char* kBillableRevenue = "TOTAL(CASE WHEN ZISBILLABLE THEN ZCONFIRMEDREVENUE ELSE 0.0 END)";

std::string billingClause(BillingFilter filter) {
  switch (filter) {
    case BillingFilter::any: return "";
    case BillingFilter::nonBillable: return " AND ZISBILLABLE = 0";
    case BillingFilter::unbilled: return " AND ZISBILLABLE = 1 AND ZBILLINGSTATUSVALUE = 0";
    case BillingFilter::billed: return " AND ZISBILLABLE = 1 AND ZBILLINGSTATUSVALUE = 1";
    case BillingFilter::paid: return " AND ZISBILLABLE = 1 AND ZBILLINGSTATUSVALUE = 2";
  }
  return "";
}

constexpr double kMicroseconds = 1e6;

// What a row of the day list shows: the entry, its bounds, its task (whose name is looked
// up in memory: a month names a few hundred tasks, where a join searches the node table
// once per entry), and what its revenue is made of.
constexpr const char* kDayListColumns =
    "SELECT s.Z_PK, s.ZBEGIN, s.ZEND, s.ZTASK, s.ZIDENTIFIER, s.ZISBILLABLE, s.ZHOURLYRATE FROM ZSESSION s ";

}  // namespace

struct Baseline::Statements {
  explicit Statements(sqlite3* db)
      : groupedByTask(db, std::string("SELECT ZTASK, TOTAL(ZCONFIRMEDDURATION), COUNT(*), ") + kBillableRevenue +
                              " FROM ZSESSION WHERE " + kInside + " GROUP BY ZTASK"),
        edgesWithTask(db, std::string("SELECT ZTASK, ZBEGIN, ZEND, ZISBILLABLE, ZHOURLYRATE FROM ZSESSION WHERE ") +
                              kEdges),
        parents(db, "SELECT Z_PK, ZPARENT FROM ZNODE"),
        range(db,
              "SELECT ZTASK, ZBEGIN, ZEND, ZISBILLABLE, ZHOURLYRATE, ZCONFIRMEDDURATION, ZCONFIRMEDREVENUE "
              "FROM ZSESSION WHERE ZBEGIN >= ?1 - " + kLongest + " AND ZBEGIN < ?2 AND +ZEND > ?1"),
        dayList(db,
                std::string(kDayListColumns) + "WHERE s.ZBEGIN >= ?1 - " + kLongest +
                    " AND s.ZBEGIN <= ?2 AND ((s.ZBEGIN >= ?1 AND s.ZBEGIN < ?2) OR "
                    "(+s.ZEND > ?1 AND +s.ZEND <= ?2) OR (s.ZBEGIN <= ?1 AND +s.ZEND >= ?2)) "
                    // The begin index holds the key after the begin: read backwards it gives
                    // this order without a sort.
                    "ORDER BY s.ZBEGIN DESC, s.Z_PK DESC"),
        // The running entry has no length to bound its begin with; found by its missing end.
        runningInDayList(db, std::string(kDayListColumns) + "WHERE s.ZEND IS NULL AND s.ZBEGIN < ?2"),
        taskNames(db, "SELECT Z_PK, ZNAME FROM ZNODE"),
        entry(db, "SELECT ZBEGIN, ZHOURLYRATE, ZTASK FROM ZSESSION WHERE Z_PK = ?1"),
        updateEntry(db,
                    "UPDATE ZSESSION SET ZEND = ?2, ZCONFIRMEDDURATION = ?3, ZCONFIRMEDREVENUE = ?4, "
                    "Z_OPT = Z_OPT + 1 WHERE Z_PK = ?1"),
        // The task's sum as the store keeps it while exact (the update's triggers keep it on
        // this side as well), else from its entries.
        sumOfTask(db,
                  "SELECT COALESCE((SELECT Z_TOTAL FROM ZSESSION_ZTASK_ZCONFIRMEDDURATION_SUM WHERE Z_KEY = ?1 AND "
                  "Z_INEXACT = 0 AND Z_VALUES BETWEEN 1 AND 4194303), (SELECT TOTAL(ZCONFIRMEDDURATION) FROM "
                  "ZSESSION WHERE ZTASK = ?1))"),
        sumOfFolder(db, "SELECT TOTAL(ZCONFIRMEDDURATION) FROM ZNODE WHERE ZPARENT = ?1"),
        parentOf(db, "SELECT ZPARENT FROM ZNODE WHERE Z_PK = ?1"),
        updateNode(db, "UPDATE ZNODE SET ZCONFIRMEDDURATION = ?2, Z_OPT = Z_OPT + 1 WHERE Z_PK = ?1"),
        billingInside(db, std::string("SELECT ZISBILLABLE, ZBILLINGSTATUSVALUE, TOTAL(ZCONFIRMEDDURATION), COUNT(*), "
                                      "TOTAL(ZCONFIRMEDREVENUE) FROM ZSESSION WHERE ") +
                              kInside + " GROUP BY ZISBILLABLE, ZBILLINGSTATUSVALUE"),
        billingEdges(db, std::string("SELECT ZBEGIN, ZEND, ZISBILLABLE, ZHOURLYRATE, ZBILLINGSTATUSVALUE FROM ZSESSION "
                                     "WHERE ") +
                             kEdges) {
    for (BillingFilter filter : {BillingFilter::any, BillingFilter::nonBillable, BillingFilter::unbilled,
                                 BillingFilter::billed, BillingFilter::paid}) {
      const std::string billing = billingClause(filter);
      totalsInside.emplace(filter, std::make_unique<SqliteStatement>(
                                       db, std::string("SELECT TOTAL(ZCONFIRMEDDURATION), COUNT(*), ") +
                                               kBillableRevenue + " FROM ZSESSION WHERE " + kInside + billing));
      totalsEdges.emplace(filter, std::make_unique<SqliteStatement>(
                                      db, std::string("SELECT ZBEGIN, ZEND, ZISBILLABLE, ZHOURLYRATE FROM ZSESSION "
                                                      "WHERE ") +
                                              kEdges + billing));
    }
  }
  std::map<BillingFilter, std::unique_ptr<SqliteStatement>> totalsInside;
  std::map<BillingFilter, std::unique_ptr<SqliteStatement>> totalsEdges;
  SqliteStatement groupedByTask;
  SqliteStatement edgesWithTask;
  SqliteStatement parents;
  SqliteStatement range;
  SqliteStatement dayList;
  SqliteStatement runningInDayList;
  SqliteStatement taskNames;
  SqliteStatement entry;
  SqliteStatement updateEntry;
  SqliteStatement sumOfTask;
  SqliteStatement sumOfFolder;
  SqliteStatement parentOf;
  SqliteStatement updateNode;
  // The four billing states of the entries inside the period in one grouped pass, and the
  // rows crossing a bound with their state.
  SqliteStatement billingInside;
  SqliteStatement billingEdges;
};

Baseline::Baseline(const std::filesystem::path& storeFile)
    : db_(storeFile), statements_(std::make_unique<Statements>(db_.handle())) {}

Baseline::~Baseline() = default;

void Baseline::addClipped(Totals& totals, std::int64_t begin, std::int64_t end, bool billable, double rate,
                          std::int64_t from, std::int64_t to) {
  const std::int64_t b = std::max(begin, from);
  const std::int64_t e = std::min(end, to);
  if (e <= b) return;
  // Whole seconds, and money rounded to cents per entry: seconds × rate / 36 is the amount in
  // cents, exact for whole seconds and rates in cents, so a half cent rounds the same way
  // whatever the rate.
  const double seconds = std::floor(static_cast<double>(e - b) / kMicroseconds);
  totals.duration += seconds;
  if (billable) totals.revenue += std::round(seconds * rate / 36.0) / 100.0;
  totals.count += 1;
}

Totals Baseline::totals(std::int64_t from, std::int64_t to, BillingFilter filter) {
  Totals result;
  SqliteStatement& inside = *statements_->totalsInside.at(filter);
  inside.bind(1, from).bind(2, to);
  if (inside.step()) {
    result.duration = inside.real(0);
    result.count = inside.integer(1);
    result.revenue = inside.real(2);
  }
  inside.reset();
  SqliteStatement& edges = *statements_->totalsEdges.at(filter);
  edges.bind(1, from).bind(2, to);
  while (edges.step()) {
    addClipped(result, edges.integer(0), edges.integer(1), edges.integer(2) != 0, edges.real(3), from, to);
  }
  edges.reset();
  return result;
}

namespace {

// The billing state an entry counts in; absent for a billable entry in no known state.
std::optional<BillingFilter> billingStateOf(bool billable, std::int64_t status) {
  if (!billable) return BillingFilter::nonBillable;
  switch (status) {
    case 0: return BillingFilter::unbilled;
    case 1: return BillingFilter::billed;
    case 2: return BillingFilter::paid;
    default: return std::nullopt;
  }
}

}  // namespace

std::map<BillingFilter, Totals> Baseline::billingBreakdown(std::int64_t from, std::int64_t to) {
  std::map<BillingFilter, Totals> result{{BillingFilter::nonBillable, {}},
                                         {BillingFilter::unbilled, {}},
                                         {BillingFilter::billed, {}},
                                         {BillingFilter::paid, {}}};
  SqliteStatement& inside = statements_->billingInside;
  inside.bind(1, from).bind(2, to);
  while (inside.step()) {
    const bool billable = inside.integer(0) != 0;
    const auto state = billingStateOf(billable, inside.integer(1));
    if (!state) continue;
    Totals& totals = result[*state];
    totals.duration += inside.real(2);
    totals.count += inside.integer(3);
    if (billable) totals.revenue += inside.real(4);
  }
  inside.reset();
  SqliteStatement& edges = statements_->billingEdges;
  edges.bind(1, from).bind(2, to);
  while (edges.step()) {
    const bool billable = edges.integer(2) != 0;
    if (const auto state = billingStateOf(billable, edges.integer(4))) {
      addClipped(result[*state], edges.integer(0), edges.integer(1), billable, edges.real(3), from, to);
    }
  }
  edges.reset();
  return result;
}

void Baseline::columnByTask(std::int64_t from, std::int64_t to, TotalsByNode& out) {
  SqliteStatement& grouped = statements_->groupedByTask;
  grouped.bind(1, from).bind(2, to);
  while (grouped.step()) {
    if (grouped.isNull(0)) continue;
    Totals& totals = out[grouped.integer(0)];
    totals.duration += grouped.real(1);
    totals.count += grouped.integer(2);
    totals.revenue += grouped.real(3);
  }
  grouped.reset();
  SqliteStatement& edges = statements_->edgesWithTask;
  edges.bind(1, from).bind(2, to);
  while (edges.step()) {
    if (edges.isNull(0)) continue;
    addClipped(out[edges.integer(0)], edges.integer(1), edges.integer(2), edges.integer(3) != 0, edges.real(4), from,
               to);
  }
  edges.reset();
}

TotalsByNode Baseline::nodeBreakdown(std::int64_t from, std::int64_t to) {
  TotalsByNode tasks;
  columnByTask(from, to, tasks);
  std::map<std::int64_t, std::int64_t> parentOf;
  SqliteStatement& parents = statements_->parents;
  while (parents.step()) {
    if (!parents.isNull(1)) parentOf.emplace(parents.integer(0), parents.integer(1));
  }
  parents.reset();
  TotalsByNode result = tasks;
  for (const auto& [task, totals] : tasks) {
    for (auto it = parentOf.find(task); it != parentOf.end(); it = parentOf.find(it->second)) {
      result[it->second] += totals;
    }
  }
  return result;
}

std::vector<TotalsByNode> Baseline::chartPerColumn(const std::vector<std::int64_t>& bounds) {
  std::vector<TotalsByNode> columns(bounds.size() - 1);
  for (std::size_t i = 0; i + 1 < bounds.size(); ++i) columnByTask(bounds[i], bounds[i + 1], columns[i]);
  return columns;
}

std::vector<ColumnTotals> Baseline::chartSingleQuery(const std::vector<std::int64_t>& bounds) {
  std::vector<ColumnTotals> columns(bounds.size() - 1);
  // Where each task's totals were last put, by primary key (the store numbers rows from 1).
  // Rows come by begin, so a task's next entry is mostly in the same column, or in a later
  // one where it is new; only a column before the latest the task reached (after an entry
  // crossing midnight) is looked through.
  struct Last {
    std::size_t column = 0;
    std::size_t index = 0;
    std::size_t highest = 0;  // one past the latest column the task is in; 0 for none
  };
  std::vector<Last> last;
  const auto totalsOf = [&](std::size_t column, std::int64_t task) -> Totals& {
    const auto key = static_cast<std::size_t>(task);
    if (key >= last.size()) last.resize(key + 1);
    Last& memo = last[key];
    ColumnTotals& cells = columns[column];
    if (memo.highest == 0 || memo.column != column) {
      std::size_t at = cells.size();
      if (column < memo.highest) {
        const auto found = std::find_if(cells.begin(), cells.end(), [&](const auto& c) { return c.first == task; });
        at = static_cast<std::size_t>(found - cells.begin());
      }
      if (at == cells.size()) cells.emplace_back(task, Totals{});
      memo.column = column;
      memo.index = at;
      memo.highest = std::max(memo.highest, column + 1);
    }
    return cells[memo.index].second;
  };
  SqliteStatement& range = statements_->range;
  range.bind(1, bounds.front()).bind(2, bounds.back());
  std::ptrdiff_t lastBegun = -1;  // the column the last row began in
  const auto columnCount = static_cast<std::ptrdiff_t>(bounds.size()) - 1;
  while (range.step()) {
    if (range.isNull(0)) continue;
    const std::int64_t task = range.integer(0);
    const std::int64_t begin = range.integer(1);
    const std::int64_t end = range.integer(2);
    const bool billable = range.integer(3) != 0;
    // The column the entry begins in (-1 before the first). Rows come by begin from its index:
    // mostly the last row's column or the next, any other searched for.
    const auto within = [&](std::ptrdiff_t c) {
      return c >= 0 && c < columnCount && bounds[static_cast<std::size_t>(c)] <= begin &&
             begin < bounds[static_cast<std::size_t>(c) + 1];
    };
    std::ptrdiff_t first = lastBegun;
    if (!within(first)) {
      first = within(lastBegun + 1) ? lastBegun + 1
                                    : std::upper_bound(bounds.begin(), bounds.end(), begin) - bounds.begin() - 1;
      lastBegun = first;
    }
    if (first >= 0 && static_cast<std::size_t>(first) + 1 < bounds.size() &&
        end <= bounds[static_cast<std::size_t>(first) + 1]) {
      Totals& totals = totalsOf(static_cast<std::size_t>(first), task);
      totals.duration += range.real(5);
      if (billable) totals.revenue += range.real(6);
      totals.count += 1;
      continue;
    }
    for (std::size_t i = static_cast<std::size_t>(std::max<std::ptrdiff_t>(first, 0)); i + 1 < bounds.size(); ++i) {
      if (bounds[i] >= end) break;
      addClipped(totalsOf(i, task), begin, end, billable, range.real(4), bounds[i], bounds[i + 1]);
    }
  }
  range.reset();
  // Each column's tasks in one order, as drawing them needs (a map per column gave it).
  for (ColumnTotals& cells : columns) {
    std::sort(cells.begin(), cells.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  }
  return columns;
}

std::vector<Baseline::DaySection> Baseline::dayList(std::int64_t from, std::int64_t to, std::int64_t now) {
  constexpr std::int64_t kDay = 86'400'000'000LL;
  const auto dayOf = [](std::int64_t t) { return t >= 0 ? t / kDay : (t - kDay + 1) / kDay; };
  std::unordered_map<std::int64_t, std::string> names;
  SqliteStatement& nodes = statements_->taskNames;
  while (nodes.step()) names.emplace(nodes.integer(0), nodes.text(1));
  nodes.reset();
  // A fragment with the begin of its entry, which orders fragments starting at the same
  // instant: the list adds entries latest begin first, ties by key.
  struct Placed {
    std::int64_t begin;
    DayFragment fragment;
  };
  // Sections by day number; the rows come latest begin first, so each section's fragments
  // are appended in order except where an entry from an earlier day reaches into it.
  std::map<std::int64_t, std::vector<Placed>, std::greater<>> days;
  auto add = [&](SqliteStatement& rows) {
    const std::int64_t pk = rows.integer(0);
    const std::int64_t begin = rows.integer(1);
    // A running entry is cut at the moment it is listed.
    const std::int64_t end = rows.isNull(2) ? now : rows.integer(2);
    const auto name = rows.isNull(3) ? names.end() : names.find(rows.integer(3));
    const std::string task = name == names.end() ? std::string() : name->second;
    const std::string identifier = rows.text(4);
    const bool billable = rows.integer(5) != 0;
    const double rate = rows.real(6);
    const std::int64_t last = dayOf(std::max(std::min(end, to), std::max(begin, from)));
    for (std::int64_t day = dayOf(std::max(begin, from)); day <= last; ++day) {
      const std::int64_t dayStart = day * kDay;
      // A fragment ending at midnight belongs to the day before only.
      if (day > dayOf(begin) && dayStart >= std::min(end, to)) break;
      // The list cuts a day at its last microsecond.
      const std::int64_t a = std::max(begin, dayStart);
      const std::int64_t b = end < dayStart + kDay ? end : dayStart + kDay - 1;
      days[day].push_back(Placed{begin, DayFragment{pk, a, b, task, identifier, billable, rate}});
    }
  };
  // The running entries (one at most) are put in place by the sort of their day below.
  SqliteStatement& running = statements_->runningInDayList;
  running.bind(1, from).bind(2, to);
  while (running.step()) {
    if (std::max(now, running.integer(1)) > from) add(running);
  }
  running.reset();
  SqliteStatement& rows = statements_->dayList;
  rows.bind(1, from).bind(2, to);
  while (rows.step()) add(rows);
  rows.reset();
  std::vector<DaySection> sections;
  sections.reserve(days.size());
  for (auto& [day, placed] : days) {
    std::sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
      if (a.fragment.from != b.fragment.from) return a.fragment.from > b.fragment.from;
      if (a.begin != b.begin) return a.begin > b.begin;
      return a.fragment.entryPk < b.fragment.entryPk;
    });
    std::vector<DayFragment> fragments;
    fragments.reserve(placed.size());
    for (auto& p : placed) fragments.push_back(std::move(p.fragment));
    // Days since 1970 to a civil date (H. Hinnant's algorithm).
    const std::int64_t z = day + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = yoe + era * 400 + (m <= 2);
    char name[64];
    std::snprintf(name, sizeof name, "%04lld-%02lld-%02lld", static_cast<long long>(y), static_cast<long long>(m),
                  static_cast<long long>(d));
    sections.push_back(DaySection{name, std::move(fragments)});
  }
  return sections;
}

double Baseline::editEntryEnd(std::int64_t entryPk, std::int64_t end) {
  Statements& s = *statements_;
  db_.exec("BEGIN IMMEDIATE");
  try {
    s.entry.bind(1, entryPk);
    if (!s.entry.step()) throw std::runtime_error("no entry " + std::to_string(entryPk));
    const std::int64_t begin = s.entry.integer(0);
    const double rate = s.entry.real(1);
    const std::int64_t task = s.entry.integer(2);
    s.entry.reset();
    const double seconds = std::floor(static_cast<double>(end - begin) / kMicroseconds);
    const double revenue = rate == 0 ? 0.0 : std::round(rate / 3600.0 * seconds * 100.0) / 100.0;
    s.updateEntry.bind(1, entryPk).bind(2, end).bind(3, seconds).bind(4, revenue);
    s.updateEntry.step();
    s.updateEntry.reset();

    s.sumOfTask.bind(1, task);
    s.sumOfTask.step();
    const double taskDuration = s.sumOfTask.real(0);
    s.sumOfTask.reset();
    s.updateNode.bind(1, task).bind(2, taskDuration);
    s.updateNode.step();
    s.updateNode.reset();

    // The folders above, each the sum of its children.
    std::int64_t node = task;
    for (;;) {
      s.parentOf.bind(1, node);
      const bool hasParent = s.parentOf.step() && !s.parentOf.isNull(0);
      const std::int64_t parent = hasParent ? s.parentOf.integer(0) : 0;
      s.parentOf.reset();
      if (!hasParent) break;
      s.sumOfFolder.bind(1, parent);
      s.sumOfFolder.step();
      const double sum = s.sumOfFolder.real(0);
      s.sumOfFolder.reset();
      s.updateNode.bind(1, parent).bind(2, sum);
      s.updateNode.step();
      s.updateNode.reset();
      node = parent;
    }
    db_.exec("COMMIT");
    return taskDuration;
  } catch (...) {
    db_.exec("ROLLBACK");
    throw;
  }
}

std::vector<Baseline::TreeRow> Baseline::openAndListTree(const std::filesystem::path& storeFile) {
  SqliteDb db(storeFile);
  return listTree(db);
}

std::vector<Baseline::TreeRow> Baseline::listTree(SqliteDb& db) {
  struct Node {
    std::int64_t pk;
    std::int64_t order;
    bool folder;
  };
  std::int64_t folderEntity = -1;
  {
    SqliteStatement entity(db.handle(), "SELECT Z_ENT FROM Z_ENTITIES WHERE Z_NAME = 'Folder'");
    if (entity.step()) folderEntity = entity.integer(0);
  }
  std::map<std::int64_t, std::vector<Node>> children;  // by parent pk, 0 for the top level
  {
    SqliteStatement nodes(db.handle(), "SELECT Z_PK, ZPARENT, ZORDER, Z_ENT FROM ZNODE");
    while (nodes.step()) {
      children[nodes.isNull(1) ? 0 : nodes.integer(1)].push_back(
          Node{nodes.integer(0), nodes.integer(2), nodes.integer(3) == folderEntity});
    }
  }
  for (auto& [parent, list] : children) {
    std::stable_sort(list.begin(), list.end(), [](const Node& a, const Node& b) { return a.order < b.order; });
  }
  std::vector<TreeRow> rows;
  std::function<void(std::int64_t, int)> visit = [&](std::int64_t parent, int level) {
    auto it = children.find(parent);
    if (it == children.end()) return;
    for (const Node& node : it->second) {
      rows.push_back(TreeRow{node.pk, level, false});
      if (!node.folder) continue;
      const std::size_t at = rows.size() - 1;
      visit(node.pk, level + 1);
      rows[at].hasChildren = rows.size() > at + 1;
    }
  };
  visit(0, 0);
  return rows;
}

}  // namespace chronelle::bench
