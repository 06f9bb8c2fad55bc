#include "chronelle/data/MainDataProvider.h"

#include <asio/async_result.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>
#include <string>
#include <utility>

#include "chronelle/platform/Logger.h"
#include "chronelle/support/Injector.h"
#include "chronelle/support/Logging.h"

#include "MainDataProviderShared.h"
#include "chronelle/store/UndoManager.h"

namespace chronelle {
namespace {

class MergeSessionsErrorsCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "MainDataProvider.MergeSessionsErrors"; }
  std::string message(int value) const override {
    if (value ==
        static_cast<int>(MainDataProvider::MergeSessionsErrors::selectedTaskDoesNotExist)) {
      return "selectedTaskDoesNotExist";
    }
    return "unknown MergeSessionsErrors " + std::to_string(value);
  }
};

// The provider always works on the shared stack's view context, whatever it is given.
std::shared_ptr<ObjectContext> sharedViewContext() {
  return Injector::sharedSyncedContainer().resolve<CoreDataStack>()->viewContext();
}

}  // namespace

const std::error_category& mergeSessionsErrorsCategory() {
  static const MergeSessionsErrorsCategory category;
  return category;
}

std::error_code make_error_code(MainDataProvider::MergeSessionsErrors error) {
  return {static_cast<int>(error), mergeSessionsErrorsCategory()};
}

MainDataProvider::MainDataProvider(std::shared_ptr<ObjectContext> /*context*/)
    : BaseDataProvider(sharedViewContext()),
      modifier_(std::make_shared<DataModifier>(context())),
      shared_(std::make_shared<Shared>()) {
  auto& center = NotificationCenter::defaultCenter();
  didSaveObserver_ = center.addObserver(
      ObjectContext::kDidSaveNotification, context().get(),
      [this](const Notification& notification) { contextDidSave(notification); });
  didMergeObserver_ = center.addObserver(
      ObjectContext::kDidMergeChangesObjectIDsNotification, context().get(),
      [this](const Notification& notification) { contextDidMergeFromParent(notification); });
  // An undo or redo changes entries behind the modifier's back, so it cannot name the tasks
  // to recount: the recount after the undo's save checks every task instead.
  if (UndoManager* manager = context()->undoManager()) {
    auto recountAll = [shared = shared_](const Notification&) { shared->recountAllAfterNextSave = true; };
    didUndoObserver_ = center.addObserver(UndoManager::kDidUndoChangeNotification, manager, recountAll);
    didRedoObserver_ = center.addObserver(UndoManager::kDidRedoChangeNotification, manager, recountAll);
  }
}

MainDataProvider::~MainDataProvider() {
  didSaveObserver_.reset();
  didMergeObserver_.reset();
  didUndoObserver_.reset();
  didRedoObserver_.reset();
}

asio::awaitable<std::any> MainDataProvider::awaitWrite(CoreDataStack& stack,
                                                       CoreDataStack::WriteBlock& block,
                                                       bool shouldDisableUndoRegistration) {
  // Named, and holding only references: a temporary initiation would be destroyed twice.
  auto initiation = [&stack, &block, shouldDisableUndoRegistration](auto handler) {
    auto shared = std::make_shared<decltype(handler)>(std::move(handler));
    stack.executeWriteOperation(std::move(block), shouldDisableUndoRegistration,
                                [shared](std::exception_ptr error, std::any value) {
                                  // Resume the caller as a task of its own executor, after the
                                  // write task has ended.
                                  auto executor = asio::get_associated_executor(*shared);
                                  asio::post(executor,
                                             [shared, error, value = std::move(value)]() mutable {
                                               std::move (*shared)(error, std::move(value));
                                             });
                                });
  };
  auto completion =
      asio::async_initiate<const asio::use_awaitable_t<>&, void(std::exception_ptr, std::any)>(
          initiation, asio::use_awaitable);
  std::any result = co_await std::move(completion);
  co_return result;
}

bool MainDataProvider::ignoreContextDidChangeNotifications() const {
  return shared_->ignoreContextDidChangeNotifications;
}

// --- Undo ----------------------------------------------------------------------------------

void MainDataProvider::undo() {
  if (UndoManager* manager = context()->undoManager()) manager->undo();
}

void MainDataProvider::redo() {
  if (UndoManager* manager = context()->undoManager()) manager->redo();
}

void MainDataProvider::disableUndoRegistration() {
  if (UndoManager* manager = context()->undoManager()) manager->disableUndoRegistration();
}

void MainDataProvider::enableUndoRegistration() {
  if (UndoManager* manager = context()->undoManager()) manager->enableUndoRegistration();
}

}  // namespace chronelle
