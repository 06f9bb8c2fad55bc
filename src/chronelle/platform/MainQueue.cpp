#include "chronelle/platform/MainQueue.h"

#include <asio/executor_work_guard.hpp>
#include <asio/post.hpp>
#include <atomic>
#include <chrono>
#include <vector>

namespace chronelle {

// How the end of a task is found: the queue is always driven one handler at a time
// (`run_one`, `poll_one`), so whatever one handler does — a posted task, a timer callback,
// a coroutine running from one resumption to its next suspension — is one task, and the
// hooks it registered run as soon as that handler returns. This holds for every handler
// whatever executor or completion token scheduled it, so `executor()` can be the plain
// io_context executor.
//
// Driving may nest (a task that calls `runUntilComplete`): each level keeps its own hook
// list, so an inner task never runs the hooks of the outer one.
struct MainQueue::State {
  asio::io_context io{1};
  std::thread::id creator = std::this_thread::get_id();
  // Thread driving the queue now; default-constructed while none is.
  std::atomic<std::thread::id> driver{};
};

namespace {

// The hooks of the task running on this thread, per queue being driven.
struct TaskFrame {
  const MainQueue* queue;
  std::vector<std::function<void()>> hooks;
  TaskFrame* outer;
};

thread_local TaskFrame* currentFrame = nullptr;

// Marks the calling thread as the queue's driver for the lifetime of the scope.
class DriverScope {
 public:
  explicit DriverScope(std::atomic<std::thread::id>& driver)
      : driver_(driver), previous_(driver.exchange(std::this_thread::get_id())) {}
  ~DriverScope() { driver_.store(previous_); }
  DriverScope(const DriverScope&) = delete;
  DriverScope& operator=(const DriverScope&) = delete;

 private:
  std::atomic<std::thread::id>& driver_;
  std::thread::id previous_;
};

// Runs one handler through `step` inside a frame, then that frame's hooks (and the hooks
// the hooks register), also when the handler throws. Returns what `step` returned.
template <class Step>
std::size_t runOneTask(const MainQueue* queue, Step&& step) {
  TaskFrame frame{queue, {}, currentFrame};
  currentFrame = &frame;
  struct Restore {
    TaskFrame& frame;
    ~Restore() { currentFrame = frame.outer; }
  } restore{frame};

  std::size_t ran = 0;
  std::exception_ptr failure;
  try {
    ran = step();
  } catch (...) {
    failure = std::current_exception();
  }
  // Hooks run inside the frame, so a hook that defers more work extends this same end of
  // task instead of posting it behind later tasks.
  while (!frame.hooks.empty()) {
    auto hooks = std::move(frame.hooks);
    frame.hooks.clear();
    for (auto& hook : hooks) {
      try {
        hook();
      } catch (...) {
        if (!failure) failure = std::current_exception();
      }
    }
  }
  if (failure) std::rethrow_exception(failure);
  return ran;
}

}  // namespace

MainQueue::MainQueue() : state_(std::make_unique<State>()) {}

MainQueue::~MainQueue() = default;

MainQueue& MainQueue::shared() {
  // Leaked on purpose: services that outlive main() may still post to it.
  static auto* queue = new MainQueue;
  return *queue;
}

asio::any_io_executor MainQueue::executor() { return state_->io.get_executor(); }

asio::io_context& MainQueue::ioContext() { return state_->io; }

void MainQueue::post(std::function<void()> task) { asio::post(state_->io, std::move(task)); }

void MainQueue::deferUntilEndOfTask(std::function<void()> fn) {
  for (TaskFrame* frame = currentFrame; frame; frame = frame->outer) {
    if (frame->queue == this) {
      frame->hooks.push_back(std::move(fn));
      return;
    }
  }
  post(std::move(fn));
}

bool MainQueue::isMainThread() const {
  const auto driver = state_->driver.load();
  const auto self = std::this_thread::get_id();
  return driver == std::thread::id{} ? self == state_->creator : self == driver;
}

std::size_t MainQueue::runPending() {
  DriverScope scope(state_->driver);
  if (state_->io.stopped()) state_->io.restart();
  std::size_t count = 0;
  while (runOneTask(this, [&] { return state_->io.poll_one(); }) != 0) ++count;
  return count;
}

void MainQueue::run() {
  DriverScope scope(state_->driver);
  if (state_->io.stopped()) state_->io.restart();
  while (runOneTask(this, [&] { return state_->io.run_one(); }) != 0) {
  }
}

void MainQueue::stop() { state_->io.stop(); }

void MainQueue::driveUntil(const std::function<bool()>& done) {
  DriverScope scope(state_->driver);
  // The operation may be waiting on another thread (a thread pool that posts its result
  // back), so the queue must not run out of work while it is unfinished. Waiting in short
  // slices keeps a stop() or an operation that never posts from blocking forever inside
  // one call, and lets `done` be re-checked.
  auto guard = asio::make_work_guard(state_->io);
  while (!done()) {
    if (state_->io.stopped()) state_->io.restart();
    runOneTask(this, [&] { return state_->io.run_one_for(std::chrono::milliseconds(20)); });
  }
}

}  // namespace chronelle
