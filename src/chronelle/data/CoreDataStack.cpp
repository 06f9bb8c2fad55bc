#include "chronelle/data/CoreDataStack.h"

#include <sstream>
#include <typeinfo>
#include <utility>

#include "chronelle/data/ConfirmedDurationRepair.h"
#include "chronelle/data/ErrorDescription.h"
#include "chronelle/model/ChronelleModel.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/store/StoreError.h"
#include "chronelle/store/UndoManager.h"
#include "chronelle/support/Logging.h"

namespace chronelle {
namespace {

class WriteOperationErrorCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "CoreDataStack.WriteOperationError"; }
  std::string message(int value) const override {
    if (value == static_cast<int>(CoreDataStack::WriteOperationError::unexpectedNilAsResult)) {
      return "unexpectedNilAsResult";
    }
    return "unknown WriteOperationError " + std::to_string(value);
  }
};

// A new undo manager for a main-queue context.
std::shared_ptr<UndoManager> makeUndoManager() { return std::make_shared<UndoManager>(); }

// The user info of a store error as "[key: value, ...]" (values that are not text are
// named by their type).
std::string userInfoDescription(const StoreError& error) {
  std::string text = "[";
  for (const auto& [key, value] : error.userInfo()) {
    if (text.size() > 1) text += ", ";
    text += key + ": ";
    if (const auto* s = std::any_cast<std::string>(&value)) {
      text += *s;
    } else {
      text += value.type().name();
    }
  }
  return text + "]";
}

}  // namespace

const std::error_category& writeOperationErrorCategory() {
  static const WriteOperationErrorCategory category;
  return category;
}

std::error_code make_error_code(CoreDataStack::WriteOperationError error) {
  return {static_cast<int>(error), writeOperationErrorCategory()};
}

CoreDataStack::CoreDataStack(std::string modelName, std::filesystem::path storeDirectoryURL, std::string storeName,
                             StoreOptions storeOptions)
    : modelName_(std::move(modelName)),
      storeDirectoryURL_(std::move(storeDirectoryURL)),
      storeName_(std::move(storeName)),
      storeOptions_(storeOptions),
      log_(LogLabel::data) {
  loadModel();
  coordinator_ = std::make_shared<PersistentStoreCoordinator>(model_);

  viewContext_ = ObjectContext::create(ConcurrencyType::mainQueue, coordinator_);
  viewContext_->setMergePolicy(MergePolicy::mergeByPropertyObjectTrump);
  viewContext_->setAutomaticallyMergesChangesFromParent(true);
  viewContext_->setUndoManager(makeUndoManager());

  setupCoreDataStack();
  // A previous user killed between an entry's save and its task's recount left stale totals.
  repairConfirmedDurationsAfterUncleanShutdown(*coordinator_);

  if (UndoManager* undo = viewContext_->undoManager()) {
    auto handler = [this](const Notification& notification) { contextDidUndoOrRedo(notification); };
    undoObserver_ =
        NotificationCenter::defaultCenter().addObserver(UndoManager::kDidUndoChangeNotification, undo, handler);
    redoObserver_ =
        NotificationCenter::defaultCenter().addObserver(UndoManager::kDidRedoChangeNotification, undo, handler);
  }
}

CoreDataStack::~CoreDataStack() {
  undoObserver_.reset();
  redoObserver_.reset();
}

UndoManager* CoreDataStack::undoManager() const { return viewContext_->undoManager(); }

void CoreDataStack::loadModel() {
  // The application's model ships with this library: a stack asked for it registers it
  // (once per process), so the application names it and nothing more. Other models are
  // found only when their owner has registered them.
  if (modelName_ == ChronelleModel::kName) ChronelleModel::registerModel();
  auto model = ModelRegistry::find(modelName_);
  if (!model) {
    logError(log_, "Unable to find data model", LogData{{"modelName", modelName_}});
    throw CoreDataStackSetupError("[CoreDataManager] unable to find data model");
  }
  // A registered model without entities cannot describe any store: it is a broken
  // registration, not something to open a store with.
  if (model->entities().empty()) {
    const std::string location = model->name() + " version " + std::to_string(model->version());
    logError(log_, "Unable to load data model", LogData{{"modelUrl", location}});
    throw CoreDataStackSetupError("[CoreDataStack] Unable to Load Data Model");
  }
  model_ = std::move(model);
}

void CoreDataStack::setupCoreDataStack() {
  auto coordinator = viewContext_->coordinator();
  if (!coordinator) {
    logError(log_, "Unable to set up Core Data Stack");
    throw CoreDataStackSetupError("[CoreDataManager] Unable to Set Up Core Data Stack");
  }
  addPersistentStore(*coordinator);
}

void CoreDataStack::addPersistentStore(PersistentStoreCoordinator& coordinator) {
  auto fileSystemFailure = [this](const std::error_code& error) {
    logError(log_, "Error on adding the persistent store", error);
    throw CoreDataStackSetupError("[CoreDataManager] Unresolved error: " + error.message() + ", [path: " +
                                  storeDirectoryURL_.string() + "]");
  };

  std::error_code readError;
  const auto status = std::filesystem::status(storeDirectoryURL_, readError);
  if (status.type() == std::filesystem::file_type::not_found) {
    std::error_code createError;
    std::filesystem::create_directories(storeDirectoryURL_, createError);
    if (createError) fileSystemFailure(createError);
  } else if (readError) {
    fileSystemFailure(readError);
  } else if (status.type() != std::filesystem::file_type::directory) {
    const std::string reason =
        "Expected a folder to store application data, found a file " + storeDirectoryURL_.string() + ".";
    logError(log_, "Error on adding the persistent store", LogData{{"failureReason", reason}});
    throw CoreDataStackSetupError("[CoreDataManager] Unsresolved error: " + reason);
  }

  try {
    coordinator.addPersistentStore(storeDirectoryURL_ / storeName_, storeOptions_);
  } catch (const StoreError& error) {
    logError(log_, "Error on adding the persistent store", MetadataValue::stringConvertible(error.description()));
    throw CoreDataStackSetupError("[CoreDataManager] Unresolved error: " + error.description() + ", " +
                                  userInfoDescription(error));
  }
}

std::shared_ptr<ObjectContext> CoreDataStack::childContext() const {
  auto context = ObjectContext::createChild(ConcurrencyType::mainQueue, viewContext_);
  context->setAutomaticallyMergesChangesFromParent(true);
  context->setMergePolicy(MergePolicy::mergeByPropertyStoreTrump);
  context->setUndoManager(makeUndoManager());
  return context;
}

std::shared_ptr<ObjectContext> CoreDataStack::privateContext() const {
  auto context = ObjectContext::create(ConcurrencyType::privateQueue, coordinator_);
  context->setAutomaticallyMergesChangesFromParent(true);
  return context;
}

void CoreDataStack::executeWriteOperation(std::shared_ptr<ObjectContext> context, WriteBlock block,
                                          bool shouldDisableUndoRegistration, WriteCompletion completion) {
  MainQueue::shared().post([context = std::move(context), block = std::move(block), shouldDisableUndoRegistration,
                            completion = std::move(completion)]() mutable {
    std::exception_ptr error;
    std::any result;
    context->performAndWait([&] {
      // One write is one undo step, even when two writes run back to back; a write that
      // asks for it registers nothing, so it is no step at all.
      UndoManager* undo = context->undoManager();
      if (undo) {
        undo->beginUndoGrouping();
        if (shouldDisableUndoRegistration) undo->disableUndoRegistration();
      }
      try {
        result = block(*context);
        if (context->hasChanges()) context->save();
      } catch (...) {
        error = std::current_exception();
        result.reset();
      }
      if (undo) {
        if (shouldDisableUndoRegistration) undo->enableUndoRegistration();
        undo->endUndoGrouping();
      }
      if (error) {
        logError(Logger(LogLabel::data), "Error on executing write operation",
                 MetadataValue::stringConvertible(describeError(error)));
        context->rollback();
      }
    });
    if (completion) completion(error, std::move(result));
  });
}

void CoreDataStack::contextDidUndoOrRedo(const Notification& /*notification*/) {
  UndoManager* undo = viewContext_->undoManager();
  if (!undo) return;
  undo->disableUndoRegistration();
  try {
    viewContext_->save();
  } catch (const std::exception&) {
    // Ignored on purpose: the change stays in the context and the next save writes it.
  }
  undo->enableUndoRegistration();
}

}  // namespace chronelle
