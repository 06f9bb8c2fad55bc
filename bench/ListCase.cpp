// The list case: the day-sectioned list of one month's entries, library beside baseline.
#include <iostream>
#include <string>

#include "Baseline.h"
#include "Cases.h"
#include "LibraryFixture.h"
#include "QueryPlans.h"
#include "StoreGenerator.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/list/SessionFetchedResultsController3.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/support/Injector.h"

namespace chronelle::bench {
namespace {

// The library's sections in the baseline's terms, for the comparison.
std::vector<Baseline::DaySection> sectionsOf(const SessionFetchedResultsController3& list) {
  std::vector<Baseline::DaySection> sections;
  for (const auto& section : list.sections()) {
    Baseline::DaySection day{section.name, {}};
    for (const auto& fragment : section.objects.value_or(std::vector<std::shared_ptr<SessionFragment>>{})) {
      const auto& session = fragment->session();
      const auto task = session->task();
      day.fragments.push_back(Baseline::DayFragment{session->objectID().primaryKey(),
                                                    fragment->from().microsecondsSince1970(),
                                                    fragment->to().value_or(fragment->from()).microsecondsSince1970(),
                                                    task ? task->name() : std::string(),
                                                    session->identifier().value_or(std::string()),
                                                    session->isBillable(), session->hourlyRate()});
    }
    sections.push_back(std::move(day));
  }
  return sections;
}

void expectEqual(const std::vector<Baseline::DaySection>& library, const std::vector<Baseline::DaySection>& baseline) {
  if (library.size() != baseline.size()) {
    throw Mismatch("day list: library has " + std::to_string(library.size()) + " days, baseline " +
                   std::to_string(baseline.size()));
  }
  for (std::size_t s = 0; s < library.size(); ++s) {
    const auto& a = library[s];
    const auto& b = baseline[s];
    if (a.day != b.day || a.fragments.size() != b.fragments.size()) {
      throw Mismatch("day list: section " + std::to_string(s) + " is " + a.day + " with " +
                     std::to_string(a.fragments.size()) + " fragments, baseline " + b.day + " with " +
                     std::to_string(b.fragments.size()));
    }
    for (std::size_t i = 0; i < a.fragments.size(); ++i) {
      const auto& x = a.fragments[i];
      const auto& y = b.fragments[i];
      if (x.entryPk != y.entryPk || x.from != y.from || x.to != y.to || x.taskName != y.taskName ||
          x.identifier != y.identifier || x.billable != y.billable || x.hourlyRate != y.hourlyRate) {
        throw Mismatch("day list: " + a.day + " item " + std::to_string(i) + ": entry " + std::to_string(x.entryPk) +
                       " [" + std::to_string(x.from) + ", " + std::to_string(x.to) + "] vs entry " +
                       std::to_string(y.entryPk) + " [" + std::to_string(y.from) + ", " + std::to_string(y.to) + "]");
      }
    }
  }
}

}  // namespace

void runListCase(const CaseContext& context, ResultTable& table) {
  if (!selected(context, "day list of a month")) return;
  const std::int64_t from = utcMicros(2023, 6, 1);
  const std::int64_t to = utcMicros(2023, 7, 1);
  LibraryFixture library(context.storeDirectory);
  Injector::sharedSyncedContainer().registerInstance<MainDataProvider>(std::make_shared<MainDataProvider>());
  SessionQuery3 month;
  month.from = Date::fromMicroseconds(from);
  month.to = Date::fromMicroseconds(to);
  // As the application opens the list: a new controller over the view context, fetched and
  // sectioned; the entries are faulted in with the task names the rows show.
  auto listMonth = [&] {
    SessionFetchedResultsController3 list(month, Calendar::current());
    list.performFetch();
    return sectionsOf(list);
  };
  Baseline baseline(context.storeDirectory / kStoreFileName);
  SqlCollector baselineSql;
  observeConnection(baseline.connection(), baselineSql);
  librarySql().take();
  expectEqual(listMonth(), baseline.dayList(from, to, Clock::now().microsecondsSince1970()));
  const std::string verdict =
      checkPlans(std::cout, "day list of a month", context.storeDirectory / kStoreFileName, baselineSql);
  table.add({"day list of a month", context.entries, measure([&] { listMonth(); }, context.budget),
             measure([&] { baseline.dayList(from, to, Clock::now().microsecondsSince1970()); }, context.budget), 2.0,
             "baseline: one SELECT in index order, the running entry, task names by key, split at midnight in C", verdict});
}

}  // namespace chronelle::bench
