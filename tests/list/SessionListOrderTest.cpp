// Where entries arriving in change batches land: the list keeps its sections and fragments
// sorted as if each fragment were appended and the list stable-sorted again (newest day
// first, latest start first, equal starts in arrival order), which it does without sorting.

#include <algorithm>
#include <map>

#include "ListFixture.h"

namespace chronelle::testing {
namespace {

using SessionListOrder = ListFixture;

TEST_F(SessionListOrder, BatchesLandWhereAStableSortAfterAppendingPutsThem) {
  auto task = makeTask("Work");
  auto list = makeList();
  auto& frc = list->fetchedResultController();

  // The rule itself, written naively: per batch, latest begin first (ties in arrival order),
  // each entry appended to its day and the day stable-sorted by start, latest first.
  std::vector<std::pair<std::string, std::vector<const Session*>>> model;
  std::map<const Session*, int> number;
  const auto render = [&](const auto& sections) {
    std::string text;
    for (const auto& [name, sessions] : sections) {
      text += " | " + name + ":";
      for (const Session* session : sessions) text += " " + std::to_string(number.at(session));
    }
    return text;
  };

  // A small pseudo-random walk over five days and two starting hours, so that days appear
  // between existing ones and many entries share their start.
  std::uint32_t seed = 7;
  const auto next = [&](std::uint32_t bound) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % bound;
  };
  for (int batch = 0; batch < 6; ++batch) {
    std::vector<std::shared_ptr<Session>> arriving;
    list->controllerWillChangeContent(frc);
    for (int i = 0; i < 7; ++i) {
      const int day = 9 + static_cast<int>(next(5));
      const Date begin = local(day, 9 + static_cast<int>(next(2)), 30 * static_cast<int>(next(2)));
      auto session = makeSession(task, begin, begin + 600.0);
      number[session.get()] = static_cast<int>(number.size());
      list->controllerDidChange(frc, session, std::nullopt, FetchedResultsChangeType::insert, std::nullopt);
      arriving.push_back(std::move(session));
    }
    list->controllerDidChangeContent(frc);

    std::stable_sort(arriving.begin(), arriving.end(),
                     [](const auto& a, const auto& b) { return *a->begin() > *b->begin(); });
    for (const auto& session : arriving) {
      const std::string day = calendar.format(*session->begin(), "yyyy-MM-dd");
      auto section = std::find_if(model.begin(), model.end(), [&](const auto& s) { return s.first == day; });
      if (section == model.end()) {
        model.push_back({day, {}});
        section = std::prev(model.end());
      }
      section->second.push_back(session.get());
      std::stable_sort(section->second.begin(), section->second.end(),
                       [](const Session* a, const Session* b) { return *a->begin() > *b->begin(); });
      std::stable_sort(model.begin(), model.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    }

    std::vector<std::pair<std::string, std::vector<const Session*>>> actual;
    for (const auto& section : list->sections()) {
      actual.push_back({section.name, {}});
      for (const auto& fragment : *section.objects) actual.back().second.push_back(fragment->session().get());
    }
    ASSERT_EQ(render(actual), render(model)) << "after batch " << batch;
  }
}

}  // namespace
}  // namespace chronelle::testing
