#pragma once

#include <atomic>
#include <memory>

namespace asio {
class thread_pool;
}  // namespace asio

namespace chronelle {

/// A background operation of the report layer: created with its inputs, run once on a thread
/// of an operation queue that the application owns (an asio::thread_pool), and reporting
/// exactly once through its completion callback, on that thread.
///
/// `start()` may be called directly (it then runs on the calling thread) or through
/// `enqueue`. The state accessors are thread-safe. Held by std::shared_ptr so that a queued
/// operation stays alive until it has run.
class ReportOperation : public std::enable_shared_from_this<ReportOperation> {
 public:
  virtual ~ReportOperation() = default;
  ReportOperation(const ReportOperation&) = delete;
  ReportOperation& operator=(const ReportOperation&) = delete;

  /// Always true: the operation finishes when its completion has been called.
  ///@{
  bool isAsynchronous() const { return true; }
  bool isExecuting() const { return state_.load() == State::executing; }
  bool isFinished() const { return state_.load() == State::finished; }
  ///@}

  /// Runs the work on the calling thread and calls the completion there. Only the first
  /// call runs; later calls return at once.
  void start();

  /// Queues `start()` of `operation` on `pool`. The pool must outlive the operation's run.
  static void enqueue(const std::shared_ptr<ReportOperation>& operation, asio::thread_pool& pool);

 protected:
  ReportOperation() = default;
  /// The work, ending with the completion call.
  virtual void main() = 0;

 private:
  enum class State { ready, executing, finished };
  std::atomic<State> state_{State::ready};
};

}  // namespace chronelle
