#pragma once
// Store-internal: one worker thread that runs tasks in FIFO order (the private queue of a
// private-queue context's `perform`).

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace chronelle {

class SerialQueue {
 public:
  SerialQueue() : state_(std::make_shared<State>()) {
    thread_ = std::thread([state = state_] { run(*state); });
  }
  /// Runs the tasks already queued, then stops. When the last owner lets go from inside
  /// a task, the thread finishes on its own.
  ///@{
  ~SerialQueue() {
    {
      std::lock_guard lock(state_->mutex);
      state_->stopping = true;
    }
    state_->ready.notify_one();
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }
  SerialQueue(const SerialQueue&) = delete;
  ///@}
  SerialQueue& operator=(const SerialQueue&) = delete;

  void post(std::function<void()> task) {
    {
      std::lock_guard lock(state_->mutex);
      state_->tasks.push_back(std::move(task));
    }
    state_->ready.notify_one();
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::function<void()>> tasks;
    bool stopping = false;
  };
  static void run(State& state) {
    while (true) {
      std::function<void()> task;
      {
        std::unique_lock lock(state.mutex);
        state.ready.wait(lock, [&] { return state.stopping || !state.tasks.empty(); });
        if (state.tasks.empty()) return;
        task = std::move(state.tasks.front());
        state.tasks.pop_front();
      }
      task();
    }
  }
  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace chronelle
