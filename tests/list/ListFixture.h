#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chronelle/data/MainDataProvider.h"
#include "chronelle/list/SessionFetchedResultsController3.h"
#include "teststack/StackFixture.h"

namespace chronelle::testing {

// Records every change batch of a session list.
struct RecordingListDelegate final : SessionFetchedResultsControllerDelegate3 {
  struct Batch {
    std::vector<SessionFragmentLocation> deleted, inserted;
  };
  void controllerDidChangeFragments(SessionFetchedResultsController3&, const std::vector<SessionFragmentLocation>& d,
                                    const std::vector<SessionFragmentLocation>& i) override {
    batches.push_back({d, i});
  }
  std::vector<Batch> batches;
};

// The stack in Europe/Berlin with the clock at 2026-03-10 12:00 there, and a MainDataProvider
// registered in the Injector's container.
class ListFixture : public StackFixture {
 protected:
  ListFixture();

  // 2026-03-<day> hh:mm in Berlin.
  static Date local(int day, int hour, int minute = 0);
  // A fetched list over `query` telling `delegate`.
  std::unique_ptr<SessionFetchedResultsController3> makeList(SessionQuery3 query = {});
  // "<day>: [dd HH:mm:ss-dd HH:mm:ss edge] …" per section joined by " | ", local times.
  std::string describe(const std::vector<SessionsSectionInfo>& sections) const;
  std::string describe(const SessionFragment& fragment) const;

  Calendar calendar{"Europe/Berlin"};
  std::shared_ptr<MainDataProvider> provider = std::make_shared<MainDataProvider>();
  std::shared_ptr<RecordingListDelegate> delegate = std::make_shared<RecordingListDelegate>();
};

}  // namespace chronelle::testing
