#pragma once

#include <any>
#include <asio/async_result.hpp>
#include <asio/awaitable.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>
#include <concepts>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <type_traits>

#include "chronelle/data/CoreDataStackSetupError.h"
#include "chronelle/platform/Logger.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/store/ObjectContext.h"
#include "chronelle/store/ObjectModel.h"
#include "chronelle/store/PersistentStoreCoordinator.h"

namespace chronelle {

/// The application's store: the object model (looked up by name in ModelRegistry; the
/// library's own model, ChronelleModel::kName, is registered by the stack itself), the
/// coordinator on the SQLite file `storeDirectoryURL/storeName`, the main-queue view context
/// in which every object the application sees lives, and the serial write path.
///
/// Create one on the main thread at start-up and register it in the Injector's container;
/// it lives as long as the application. Accessors are thread-safe; `viewContext()` and its
/// objects are main-thread only; write operations may be started from any thread.
class CoreDataStack {
 public:
  /// The one error of the write path, thrown as std::system_error.
  enum class WriteOperationError {
    /// The write block completed without producing a value.
    unexpectedNilAsResult = 1,
  };
  /// Type-erased write block: returns the result, or an empty std::any for "no value".
  using WriteBlock = std::function<std::any(ObjectContext&)>;
  /// Called on the main queue with the error (null when none) and the result (empty when
  /// none or when there is an error).
  using WriteCompletion = std::function<void(std::exception_ptr error, std::any result)>;

  /// Loads the model, creates the directory (with its parents) when missing, and opens
  /// (creating or migrating) the store. Throws CoreDataStackSetupError carrying the fatal
  /// message after logging the failure under the label "Data". `storeOptions` are the
  /// coordinator's (by default: migrate an older store, infer the mapping, no file mapping).
  ///@{
  CoreDataStack(std::string modelName, std::filesystem::path storeDirectoryURL, std::string storeName,
                StoreOptions storeOptions = {});
  ~CoreDataStack();
  CoreDataStack(const CoreDataStack&) = delete;
  ///@}
  CoreDataStack& operator=(const CoreDataStack&) = delete;

  /// The name the model was registered under, as given.
  const std::string& modelName() const { return modelName_; }
  /// The directory that holds the store file, as given.
  const std::filesystem::path& storeDirectoryURL() const { return storeDirectoryURL_; }
  /// The store file's name inside `storeDirectoryURL()`.
  const std::string& storeName() const { return storeName_; }

  /// The main-queue context: object-trump merge policy, merges saves of other contexts
  /// automatically, its own undo manager when the store offers one. Never null.
  const std::shared_ptr<ObjectContext>& viewContext() const { return viewContext_; }
  /// The undo manager of the view context; null when the store offers none.
  UndoManager* undoManager() const;
  /// The loaded model. Never null.
  const std::shared_ptr<const ObjectModel>& managedObjectModel() const { return model_; }
  /// The coordinator of the opened store, shared by every context of the stack. Never null.
  const std::shared_ptr<PersistentStoreCoordinator>& persistentStoreCoordinator() const { return coordinator_; }

  /// A new main-queue context whose parent is the view context: merges from the parent,
  /// store-trump merge policy, an undo manager of its own when available. The caller owns it.
  std::shared_ptr<ObjectContext> childContext() const;
  /// A new private-queue context on the coordinator that merges saves of other contexts
  /// automatically; no merge policy set, no undo manager. Use it inside its perform calls.
  /// The caller owns it.
  std::shared_ptr<ObjectContext> privateContext() const;

  /// Completion form of the write path. Queues one task on MainQueue::shared() and returns
  /// at once. The task runs `block` inside the view context's performAndWait, as one undo
  /// group, saves when the context has changes, and on any error logs "Error on executing
  /// write operation", rolls the view context back and reports the error. `completion` runs
  /// afterwards on the main queue. With `shouldDisableUndoRegistration` the block and its
  /// save run with undo registration switched off, so the write is no undo step (for
  /// bookkeeping writes that follow a user's step).
  ///@{
  static void executeWriteOperation(std::shared_ptr<ObjectContext> context, WriteBlock block,
                                    bool shouldDisableUndoRegistration, WriteCompletion completion);
  void executeWriteOperation(WriteBlock block, bool shouldDisableUndoRegistration, WriteCompletion completion) const {
    executeWriteOperation(viewContext_, std::move(block), shouldDisableUndoRegistration, std::move(completion));
  }
  ///@}

  /// The block's result type with one std::optional removed: a block returning
  /// std::optional<T> makes an awaitable of T, one returning T (or void) of T (or void).
  template <class R>
  struct WriteResult {
    /// The result type as it is.
    using type = R;
  };
  template <class U>
  /// An optional result: the awaitable yields the value inside.
  struct WriteResult<std::optional<U>> {
    /// The value type inside the optional.
    using type = U;
  };

  /// Asynchronous form: suspends the caller until the queued block has run and resumes it
  /// (on its own executor) with the block's result. Rethrows the block's or the save's
  /// error; throws std::system_error(WriteOperationError::unexpectedNilAsResult) when the
  /// block returned an empty optional. Results must be copyable. The stack must outlive the
  /// operation.
  template <class F>
    requires std::invocable<F&, ObjectContext&>
  asio::awaitable<typename WriteResult<std::invoke_result_t<F&, ObjectContext&>>::type> executeWriteOperation(
      F block, bool shouldDisableUndoRegistration = false) const;

  /// Makes an undo or redo of the view context's undo manager persistent at once: saves
  /// with undo registration disabled, so the save is not itself an undo step. A failing
  /// save is ignored (the next save writes the change). Main thread.
  void contextDidUndoOrRedo(const Notification& notification);

 private:
  struct NoValue {};  ///< marks a completed void block
  void loadModel();
  void setupCoreDataStack();
  void addPersistentStore(PersistentStoreCoordinator& coordinator);

  std::string modelName_;
  std::filesystem::path storeDirectoryURL_;
  std::string storeName_;
  StoreOptions storeOptions_;
  Logger log_;
  std::shared_ptr<const ObjectModel> model_;
  std::shared_ptr<PersistentStoreCoordinator> coordinator_;
  std::shared_ptr<ObjectContext> viewContext_;
  /// Declared last so they unregister before the contexts go away.
  ///@{
  ObserverToken undoObserver_;
  ObserverToken redoObserver_;
  ///@}
};

const std::error_category& writeOperationErrorCategory();
std::error_code make_error_code(CoreDataStack::WriteOperationError error);

template <class F>
  requires std::invocable<F&, ObjectContext&>
asio::awaitable<typename CoreDataStack::WriteResult<std::invoke_result_t<F&, ObjectContext&>>::type>
CoreDataStack::executeWriteOperation(F block, bool shouldDisableUndoRegistration) const {
  using R = std::invoke_result_t<F&, ObjectContext&>;
  using T = typename WriteResult<R>::type;
  static_assert(std::is_void_v<T> || std::is_copy_constructible_v<T>, "write results travel in std::any");

  WriteBlock erased = [block = std::move(block)](ObjectContext& context) mutable -> std::any {
    if constexpr (std::is_void_v<R>) {
      block(context);
      return NoValue{};
    } else if constexpr (!std::is_same_v<R, T>) {  // std::optional<T>
      auto result = block(context);
      if (!result) return {};
      return std::any(std::move(*result));
    } else {
      return std::any(block(context));
    }
  };

  // The initiation is a named local holding only references, and the operation is built
  // before the co_await: g++ 12 destroys a temporary initiation (and its captures) inside a
  // co_await expression twice. Both references stay valid: this frame is suspended until the
  // completion has run.
  auto context = viewContext_;
  auto initiation = [&context, &erased, shouldDisableUndoRegistration](auto handler) {
    auto shared = std::make_shared<decltype(handler)>(std::move(handler));
    executeWriteOperation(context, std::move(erased), shouldDisableUndoRegistration,
                          [shared](std::exception_ptr error, std::any value) {
                            // Resume the caller as a task of its own executor, after the write
                            // task has ended.
                            auto executor = asio::get_associated_executor(*shared);
                            asio::post(executor, [shared, error, value = std::move(value)]() mutable {
                              std::move (*shared)(error, std::move(value));
                            });
                          });
  };
  auto operation = asio::async_initiate<const asio::use_awaitable_t<>&, void(std::exception_ptr, std::any)>(
      initiation, asio::use_awaitable);
  std::any result = co_await std::move(operation);

  if (!result.has_value()) throw std::system_error(make_error_code(WriteOperationError::unexpectedNilAsResult));
  if constexpr (!std::is_void_v<T>) co_return std::any_cast<T>(std::move(result));
}

}  // namespace chronelle

template <>
struct std::is_error_code_enum<chronelle::CoreDataStack::WriteOperationError> : std::true_type {};
