#include "ListFixture.h"

#include "chronelle/support/Injector.h"

namespace chronelle::testing {

ListFixture::ListFixture() : StackFixture(local(10, 12), "Europe/Berlin") {
  Injector::sharedSyncedContainer().registerInstance<MainDataProvider>(provider);
}

Date ListFixture::local(int day, int hour, int minute) { return berlinTime(2026, 3, day, hour, minute); }

std::unique_ptr<SessionFetchedResultsController3> ListFixture::makeList(SessionQuery3 query) {
  auto list = std::make_unique<SessionFetchedResultsController3>(std::move(query), calendar);
  list->setDelegate(delegate);
  list->performFetch();
  return list;
}

std::string ListFixture::describe(const SessionFragment& fragment) const {
  return calendar.format(fragment.from(), "dd HH:mm:ss") + "-" +
         (fragment.to() ? calendar.format(*fragment.to(), "dd HH:mm:ss") : "open") + " " + toString(fragment.edge());
}

std::string ListFixture::describe(const std::vector<SessionsSectionInfo>& sections) const {
  std::string text;
  for (const auto& section : sections) {
    text += (text.empty() ? "" : " | ") + section.name + ":";
    for (const auto& fragment : section.objects.value_or(std::vector<std::shared_ptr<SessionFragment>>{})) {
      text += " [" + describe(*fragment) + "]";
    }
  }
  return text;
}

}  // namespace chronelle::testing
