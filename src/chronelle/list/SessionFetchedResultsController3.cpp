#include "chronelle/list/SessionFetchedResultsController3.h"

#include <algorithm>
#include <exception>

#include "chronelle/data/MainDataProvider.h"
#include "chronelle/list/CalendarDays.h"
#include "chronelle/model/Session.h"
#include "chronelle/support/Injector.h"
#include "chronelle/support/Logging.h"

namespace chronelle {

SessionFetchedResultsController3::SessionFetchedResultsController3(SessionQuery3 query, Calendar calendar)
    : query_(std::move(query)), calendar_(std::move(calendar)) {}

SessionFetchedResultsController3::~SessionFetchedResultsController3() = default;

const Logger& SessionFetchedResultsController3::log() {
  if (!log_) log_.emplace(LogLabel::sessionFetchedResultsController);
  return *log_;
}

MainDataProvider& SessionFetchedResultsController3::dataProvider() {
  if (!dataProvider_) dataProvider_ = Injector::sharedSyncedContainer().resolve<MainDataProvider>();
  return *dataProvider_;
}

FetchedResultsController& SessionFetchedResultsController3::fetchedResultController() {
  if (!fetchedResultController_) {
    FetchRequest request = Session::fetchRequest();
    // Every entry that overlaps the period, the running one included.
    request.predicate = query_.predicate(EdgeSessionPredicateOption::withEdgeSessions, true);
    request.sortDescriptors = {SortDescriptor{"begin", false}};
    fetchedResultController_ = std::make_unique<FetchedResultsController>(dataProvider().context(), request);
    fetchedResultController_->setDelegate(this);
  }
  return *fetchedResultController_;
}

void SessionFetchedResultsController3::performFetch() {
  try {
    fetchedResultController().performFetch();
  } catch (const std::exception& error) {
    logError(log(), "Error on fetching sessions", error);
    return;
  }
  days_.reset();
  // The places are not reported here, so they are not collected either. Entries beginning
  // at the same instant come highest key first (the begin index read backwards); the list
  // shows them as they were added, lowest key first, so each such run is added backwards.
  const auto& objects = fetchedResultController_->fetchedObjects();
  std::vector<Session*> sessions(objects.size());
  for (std::size_t i = 0; i < objects.size(); ++i) sessions[i] = dynamic_cast<Session*>(objects[i].get());
  fetchedFragments_ = std::make_shared<std::deque<SessionFragment>>();
  std::optional<Date> runBegin;
  std::size_t runStart = 0;
  auto addRun = [&](std::size_t end) {
    for (std::size_t i = end; i-- > runStart;) {
      if (sessions[i] != nullptr) addFragments(objects[i], *sessions[i], runBegin);
    }
  };
  for (std::size_t i = 0; i < objects.size(); ++i) {
    // The begin, as the fetch sorted by it.
    const std::optional<Date> begin =
        sessions[i] != nullptr ? fetchedResultController_->firstSortKey(i).asDate() : std::nullopt;
    if (i == 0 || begin != runBegin) {
      addRun(i);
      runStart = i;
      runBegin = begin;
    }
  }
  addRun(objects.size());
  fetchedFragments_.reset();  // the fragments hold it from here
}

std::vector<std::shared_ptr<Session>> SessionFetchedResultsController3::fetchedSessions() const {
  std::vector<std::shared_ptr<Session>> sessions;
  if (!fetchedResultController_) return sessions;
  sessions.reserve(fetchedResultController_->fetchedObjects().size());
  for (const auto& object : fetchedResultController_->fetchedObjects()) {
    if (auto session = std::dynamic_pointer_cast<Session>(object)) sessions.push_back(std::move(session));
  }
  return sessions;
}

std::size_t SessionFetchedResultsController3::sessionsCount() const {
  return fetchedResultController_ ? fetchedResultController_->fetchedObjects().size() : 0;
}

std::shared_ptr<SessionFragment> SessionFetchedResultsController3::sessionFragment(IndexPath indexPath) const {
  if (indexPath.section >= sections_.size()) return nullptr;
  const auto& objects = sections_[indexPath.section].objects;
  if (!objects || indexPath.item >= objects->size()) return nullptr;
  return (*objects)[indexPath.item];
}

std::vector<std::shared_ptr<SessionFragment>> SessionFetchedResultsController3::fragments(const Session& session) const {
  std::vector<std::shared_ptr<SessionFragment>> result;
  for (const auto& location : locations(session)) result.push_back(location.object);
  return result;
}

// --- Change batches -----------------------------------------------------------------------

namespace {

void addOnce(std::vector<std::shared_ptr<Session>>& sessions, const std::shared_ptr<Session>& session) {
  if (std::find(sessions.begin(), sessions.end(), session) == sessions.end()) sessions.push_back(session);
}

}  // namespace

void SessionFetchedResultsController3::controllerWillChangeContent(FetchedResultsController& /*controller*/) {
  pendingDeletedSessions_.clear();
  pendingInsertedSessions_.clear();
  days_.reset();
}

void SessionFetchedResultsController3::controllerDidChange(FetchedResultsController& /*controller*/,
                                                           const std::shared_ptr<ManagedObject>& object,
                                                           std::optional<IndexPath> /*indexPath*/,
                                                           FetchedResultsChangeType type,
                                                           std::optional<IndexPath> /*newIndexPath*/) {
  auto session = std::dynamic_pointer_cast<Session>(object);
  if (!session) return;
  switch (type) {
    case FetchedResultsChangeType::insert: addOnce(pendingInsertedSessions_, session); return;
    case FetchedResultsChangeType::remove: addOnce(pendingDeletedSessions_, session); return;
    case FetchedResultsChangeType::move:
    case FetchedResultsChangeType::update:
      addOnce(pendingDeletedSessions_, session);
      addOnce(pendingInsertedSessions_, session);
      return;
  }
  log().log(LogLevel::critical, "Have new types on NSFetchedResultsChangeType",
            {{"type", metadataValueFrom(static_cast<int>(type))}}, logSource(__FILE__), __FILE__, __func__,
            __LINE__);
}

void SessionFetchedResultsController3::controllerDidChangeContent(FetchedResultsController& /*controller*/) {
  const auto deleted = deleteSessions(pendingDeletedSessions_);
  const auto inserted = insertSessions(pendingInsertedSessions_);
  if (auto delegate = delegate_.lock()) delegate->controllerDidChangeFragments(*this, deleted, inserted);
  pendingDeletedSessions_.clear();
  pendingInsertedSessions_.clear();
}

}  // namespace chronelle
