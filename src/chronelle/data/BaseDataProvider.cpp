#include "chronelle/data/BaseDataProvider.h"

#include <utility>

#include "chronelle/data/CoreDataStack.h"
#include "chronelle/data/ErrorDescription.h"
#include "chronelle/data/FetchCasting.h"
#include "chronelle/model/ALEntry.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/RuleSet.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/support/Injector.h"
#include "chronelle/support/Logging.h"

namespace chronelle {
namespace {

// "task IN %@" over a set of tasks.
Predicate tasksPredicate(const TaskSet& tasks) {
  Value::List ids;
  for (const auto& task : tasks) ids.emplace_back(task);
  return Predicate::parse("task IN %@", {Value(std::move(ids))});
}

FetchRequest byIdentifier(const char* entity, const std::string& identifier) {
  FetchRequest request(entity);
  request.predicate = Predicate::parse("identifier = %@", {identifier});
  request.fetchLimit = 1;
  return request;
}

}  // namespace

BaseDataProvider::BaseDataProvider(std::shared_ptr<ObjectContext> context)
    : context_(std::move(context)), log_(LogLabel::data), objectFetcher_(context_) {}

BaseDataProvider::~BaseDataProvider() = default;

std::shared_ptr<CoreDataStack> BaseDataProvider::coreDataStack() const {
  std::lock_guard lock(stackMutex_);
  if (!coreDataStack_) coreDataStack_ = Injector::sharedSyncedContainer().resolve<CoreDataStack>();
  return coreDataStack_;
}

void BaseDataProvider::performRead(const std::function<void()>& body,
                                   const std::function<void(const std::exception&)>& onError) const {
  context_->performAndWait([&] {
    try {
      body();
    } catch (const std::exception& error) {
      onError(error);
    }
  });
}

void BaseDataProvider::logError(const std::string& message, const std::exception& error) const {
  chronelle::logError(log_, message, MetadataValue::stringConvertible(describeError(error)));
}

void BaseDataProvider::handleContextError(const std::exception& error, const std::optional<std::string>& message) const {
  const char* contextType = context_->concurrencyType() == ConcurrencyType::mainQueue ? "mainQueueConcurrencyType"
                                                                                       : "privateQueueConcurrencyType";
  chronelle::logError(log_, message.value_or("Context operation error"),
                      LogData{{"error", MetadataValue::stringConvertible(describeError(error))},
                              {"contextType", contextType}});
}

// --- Tasks and folders ----------------------------------------------------------------------

std::size_t BaseDataProvider::getTotalTasksCount() const {
  std::size_t count = 0;
  performRead(
      [&] {
        FetchRequest request(Task::kEntityName);
        request.includesSubentities = false;
        count = context_->count(request);
      },
      [&](const std::exception& e) { handleContextError(e, "Error on fetching count in getTotalTasksCount"); });
  return count;
}

std::vector<std::shared_ptr<Task>> BaseDataProvider::getAllTasks(bool includeArchived) const {
  std::vector<std::shared_ptr<Task>> tasks;
  performRead(
      [&] {
        FetchRequest request(Task::kEntityName);
        if (!includeArchived) request.predicate = Predicate::parse("archived = NO OR archived = nil");
        tasks = objectsOfClass<Task>(context_->fetch(request));
      },
      [&](const std::exception& e) { handleContextError(e, "Error on fetching all tasks in getAllTasks"); });
  return tasks;
}

std::shared_ptr<Task> BaseDataProvider::getTask(const std::string& identifier) const {
  std::shared_ptr<Task> task;
  performRead([&] { task = firstOfClass<Task>(context_->fetch(byIdentifier(Task::kEntityName, identifier))); },
              [&](const std::exception& e) { logError("Error on getting task", e); });
  return task;
}

std::shared_ptr<Folder> BaseDataProvider::getFolder(const std::string& identifier) const {
  std::shared_ptr<Folder> folder;
  performRead(
      [&] { folder = firstOfClass<Folder>(context_->fetch(byIdentifier(Folder::kEntityName, identifier))); },
      [&](const std::exception& e) { logError("Error on getting folder", e); });
  return folder;
}

std::vector<std::shared_ptr<Task>> BaseDataProvider::getRecentTasks(std::size_t limit) const {
  std::vector<std::shared_ptr<Task>> tasks;
  performRead(
      [&] {
        FetchRequest request(Task::kEntityName);
        request.predicate = Predicate::parse("lastSessionBegin != nil AND archived == false");
        request.sortDescriptors = {{"order", true}};
        request.fetchBatchSize = limit;  // a loading hint only: every recent task is returned
        tasks = objectsOfClass<Task>(context_->fetch(request));
      },
      [&](const std::exception& e) { logError("Error on getting recent tasks", e); });
  return tasks;
}

// --- Time entries -----------------------------------------------------------------------------

std::vector<std::shared_ptr<Session>> BaseDataProvider::getSessions(const std::optional<SessionQuery3>& query) const {
  std::vector<std::shared_ptr<Session>> sessions;
  performRead(
      [&] {
        FetchRequest request(Session::kEntityName);
        if (query) request.predicate = query->predicate(EdgeSessionPredicateOption::withEdgeSessions, true);
        request.sortDescriptors = {{"begin", true}};
        sessions = objectsOfClass<Session>(context_->fetch(request));
      },
      [&](const std::exception& e) { handleContextError(e, "Error on getting time entries"); });
  return sessions;
}

std::shared_ptr<Session> BaseDataProvider::getSession(const std::string& identifier) const {
  std::shared_ptr<Session> session;
  performRead(
      [&] { session = firstOfClass<Session>(context_->fetch(byIdentifier(Session::kEntityName, identifier))); },
      [&](const std::exception& e) { logError("Error on getting session", e); });
  return session;
}

std::size_t BaseDataProvider::getSessionCount(const std::vector<std::shared_ptr<Node>>& forNodes) const {
  std::size_t count = 0;
  performRead(
      [&] {
        FetchRequest request(Session::kEntityName);
        const TaskSet tasks = getTasks(forNodes);
        if (!tasks.empty()) request.predicate = tasksPredicate(tasks);
        count = context_->count(request);
      },
      [&](const std::exception& e) { handleContextError(e, "Error on getting time entries count"); });
  return count;
}

std::shared_ptr<Session> BaseDataProvider::getOldestSession(const TaskSet& in) const {
  std::shared_ptr<Session> session;
  performRead(
      [&] {
        FetchRequest request(Session::kEntityName);
        if (!in.empty()) request.predicate = tasksPredicate(in);
        request.sortDescriptors = {{"begin", true}};
        request.fetchLimit = 1;
        session = firstOfClass<Session>(context_->fetch(request));
      },
      [&](const std::exception& e) { handleContextError(e, "Error on getting oldest time entry"); });
  return session;
}

std::shared_ptr<Session> BaseDataProvider::getLatestTimeEntry(const TaskSet& in) const {
  std::shared_ptr<Session> session;
  performRead(
      [&] {
        FetchRequest request(Session::kEntityName);
        request.predicate = tasksPredicate(in);  // an empty set matches nothing
        request.sortDescriptors = {{"end", false}};
        request.fetchLimit = 1;
        session = firstOfClass<Session>(context_->fetch(request));
      },
      [&](const std::exception& e) { handleContextError(e, "Error on getting latest time entry"); });
  return session;
}

std::vector<std::shared_ptr<Session>> BaseDataProvider::getRunningTimeEntries() const {
  std::vector<std::shared_ptr<Session>> sessions;
  performRead(
      [&] {
        FetchRequest request(Session::kEntityName);
        request.predicate = Predicate::parse("end = nil");
        request.sortDescriptors = {{"begin", true}};
        sessions = objectsOfClass<Session>(context_->fetch(request));
      },
      [&](const std::exception& e) { handleContextError(e, "Error on getting running time entries"); });
  return sessions;
}

// --- Rules and activity log -------------------------------------------------------------------

std::vector<std::shared_ptr<RuleSet>> BaseDataProvider::getActiveRuleSets() const {
  std::vector<std::shared_ptr<RuleSet>> sets;
  performRead(
      [&] {
        FetchRequest request(RuleSet::kEntityName);
        request.predicate = Predicate::parse("active == true AND task.archived == false");
        sets = objectsOfClass<RuleSet>(context_->fetch(request));
      },
      [&](const std::exception& e) { handleContextError(e, "Error on getting active rule sets"); });
  return sets;
}

std::vector<std::shared_ptr<ALEntry>> BaseDataProvider::getActivityLogs(std::optional<Date> from,
                                                                        std::optional<Date> to) const {
  FetchRequest request(ALEntry::kEntityName);
  try {
    if (from && to) {
      request.predicate = Predicate::parse(
          "((begin >= %@ AND begin <= %@) OR (end >= %@ AND end <= %@) OR (begin <= %@ AND end >= %@))",
          {*from, *to, *from, *to, *from, *to});
    } else if (from) {
      request.predicate = Predicate::parse("end >= %@", {*from});
    } else if (to) {
      request.predicate = Predicate::parse("begin <= %@", {*to});
    }
    auto entries = objectsOfClass<ALEntry>(context_->fetch(request));
    // Entries still being recorded are updated in the store by the recorder; show its
    // latest values without losing our own unsaved edits.
    for (const auto& entry : entries) {
      if (!entry->end()) context_->refresh(entry, true);
    }
    return entries;
  } catch (const std::exception& e) {
    handleContextError(e, "Error on getting logs");
    return {};
  }
}

std::shared_ptr<ManagedObject> BaseDataProvider::getObject(const ObjectID& id) const {
  std::shared_ptr<ManagedObject> object;
  performRead([&] { object = context_->existingObject(id); }, [](const std::exception&) {});
  return object;
}

}  // namespace chronelle
