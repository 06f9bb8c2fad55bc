#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

namespace chronelle {

/// The application's main queue: one asio::io_context that the application runs on its
/// main thread. It is the main operation queue and the main dispatch queue: tasks run one
/// at a time in FIFO order, and that order is the serialisation the library relies on.
///
/// End of task: the platform processes pending changes and closes implicit undo groups
/// "at the end of the event". Every task posted here, and every handler run through
/// `executor()` (coroutine resumptions included), is followed by the hooks registered with
/// `deferUntilEndOfTask` during it, before the next task starts.
///
/// Thread-safety: `post`, `executor`, `isMainThread` and `stop` may be called from any
/// thread; `run*` only from the thread that drives the queue.
class MainQueue {
 public:
  MainQueue();
  ~MainQueue();
  MainQueue(const MainQueue&) = delete;
  MainQueue& operator=(const MainQueue&) = delete;

  /// The process-wide queue.
  static MainQueue& shared();

  /// Executor of the queue; use it to co_spawn the library's coroutines.
  asio::any_io_executor executor();
  /// The io_context behind the queue, for Asio objects bound to it (timers). Drive the
  /// queue with `run`/`runPending`/`runUntilComplete` rather than `ioContext().run()`: the
  /// end of a task is found by running one handler at a time, so under a bare
  /// `ioContext().run()` end-of-task hooks fall back to being posted as ordinary tasks.
  asio::io_context& ioContext();

  /// Queues `task` to run after every task already queued.
  void post(std::function<void()> task);

  /// Runs `fn` once after the task that is running now, before the next task. Outside any
  /// task (nothing is running on the queue) it is posted instead.
  void deferUntilEndOfTask(std::function<void()> fn);

  /// True on the thread that is running the queue; when no thread runs it, true on the
  /// thread that created it (the application's main thread).
  bool isMainThread() const;

  /// Runs ready tasks until none is left; returns how many ran. Does not block. An
  /// exception thrown by a task propagates from here (after that task's hooks ran); the
  /// queue stays usable.
  std::size_t runPending();
  /// Runs until `stop()` or until there is no more work.
  ///@{
  void run();
  void stop();
  ///@}

  /// Starts `op` on this queue and drives the queue on the calling thread until it
  /// finishes; returns its result or rethrows its exception. For tests and the CLI. While
  /// `op` is unfinished the queue waits for work posted from other threads (it does not
  /// return because nothing is ready), so an operation that never completes never returns.
  /// May be called from inside a task (nested driving).
  template <class T>
  T runUntilComplete(asio::awaitable<T> op);

 private:
  struct State;
  std::unique_ptr<State> state_;
  void driveUntil(const std::function<bool()>& done);
};

template <class T>
T MainQueue::runUntilComplete(asio::awaitable<T> op) {
  std::exception_ptr error;
  bool finished = false;
  if constexpr (std::is_void_v<T>) {
    asio::co_spawn(executor(), std::move(op), [&](std::exception_ptr e) {
      error = e;
      finished = true;
    });
    driveUntil([&] { return finished; });
    if (error) std::rethrow_exception(error);
  } else {
    std::optional<T> result;
    asio::co_spawn(executor(), std::move(op), [&](std::exception_ptr e, T value) {
      error = e;
      if (!e) result.emplace(std::move(value));
      finished = true;
    });
    driveUntil([&] { return finished; });
    if (error) std::rethrow_exception(error);
    return std::move(*result);
  }
}

}  // namespace chronelle
