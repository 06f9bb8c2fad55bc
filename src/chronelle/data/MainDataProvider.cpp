#include "chronelle/data/MainDataProvider.h"

#include <asio/async_result.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>
#include <string>
#include <utility>

#include "chronelle/platform/Logger.h"
#include "chronelle/support/Injector.h"
#include "chronelle/support/Logging.h"

#if __has_include("chronelle/store/UndoManager.h")
#include "chronelle/store/UndoManager.h"
#define CHRONELLE_PROVIDER_HAS_UNDO_MANAGER 1
#else
#define CHRONELLE_PROVIDER_HAS_UNDO_MANAGER 0
#endif

#include "MainDataProviderShared.h"

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
}

MainDataProvider::~MainDataProvider() {
  didSaveObserver_.reset();
  didMergeObserver_.reset();
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
// Compiled against the store's undo manager once the store offers one; until then the view
// context has none and these do nothing.

void MainDataProvider::undo() {
#if CHRONELLE_PROVIDER_HAS_UNDO_MANAGER
  if (UndoManager* manager = context()->undoManager()) manager->undo();
#endif
}

void MainDataProvider::redo() {
#if CHRONELLE_PROVIDER_HAS_UNDO_MANAGER
  if (UndoManager* manager = context()->undoManager()) manager->redo();
#endif
}

void MainDataProvider::disableUndoRegistration() {
#if CHRONELLE_PROVIDER_HAS_UNDO_MANAGER
  if (UndoManager* manager = context()->undoManager()) manager->disableUndoRegistration();
#endif
}

void MainDataProvider::enableUndoRegistration() {
#if CHRONELLE_PROVIDER_HAS_UNDO_MANAGER
  if (UndoManager* manager = context()->undoManager()) manager->enableUndoRegistration();
#endif
}

}  // namespace chronelle
