#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <atomic>
#include <cmath>

#include "chronelle/platform/MainQueue.h"
#include "chronelle/platform/TimerScheduler.h"

namespace chronelle {

namespace {

std::chrono::steady_clock::duration toDuration(double seconds) {
  if (!(seconds > 0)) return std::chrono::steady_clock::duration::zero();
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(seconds));
}

// One timer. The pending wait holds a reference to it, so it lives until it is cancelled
// or (one-shot) has fired, whether or not the caller keeps the handle. The steady_timer
// is touched only on the queue's thread; `cancel()` from elsewhere posts there.
class AsioTimer final : public ScheduledTimer, public std::enable_shared_from_this<AsioTimer> {
 public:
  AsioTimer(asio::io_context& io, std::chrono::steady_clock::duration interval, bool repeats,
            std::function<void()> fn)
      : timer_(io), interval_(interval), repeats_(repeats), fn_(std::move(fn)) {}

  void start() {
    // Arm on the queue's thread too: the scheduler may be called from any thread.
    asio::post(timer_.get_executor(), [self = shared_from_this()] {
      if (!self->valid_.load()) return;
      self->timer_.expires_after(self->interval_);
      self->wait();
    });
  }

  void cancel() override {
    if (!valid_.exchange(false)) return;
    asio::post(timer_.get_executor(), [self = shared_from_this()] {
      self->timer_.cancel();
      self->fn_ = nullptr;  // release what the callback captured
    });
  }

  bool isValid() const override { return valid_.load(); }

 private:
  void wait() {
    timer_.async_wait([self = shared_from_this()](const std::error_code& error) {
      if (error || !self->valid_.load()) return;
      if (!self->repeats_) self->valid_.store(false);
      auto fn = self->fn_;  // a callback that cancels its own timer must not destroy itself
      if (self->repeats_ && self->valid_.load()) {
        // Re-arm from the due time, not from now, so a repeating timer does not drift;
        // when the queue fell behind by more than an interval, skip the missed firings.
        auto next = self->timer_.expiry() + self->interval_;
        const auto now = std::chrono::steady_clock::now();
        if (next < now) next = now + self->interval_;
        self->timer_.expires_at(next);
        self->wait();
      } else if (!self->repeats_) {
        self->fn_ = nullptr;
      }
      if (fn) fn();
    });
  }

  asio::steady_timer timer_;
  const std::chrono::steady_clock::duration interval_;
  const bool repeats_;
  std::function<void()> fn_;  // touched on the queue's thread only
  std::atomic<bool> valid_{true};
};

// Timers shorter than this repeat at this interval, so a zero interval cannot spin.
constexpr double kMinimumRepeatInterval = 0.0001;

}  // namespace

AsioTimerScheduler::AsioTimerScheduler(MainQueue& queue) : queue_(queue) {}

std::shared_ptr<ScheduledTimer> AsioTimerScheduler::scheduleOnce(double seconds,
                                                                 std::function<void()> fn) {
  auto timer =
      std::make_shared<AsioTimer>(queue_.ioContext(), toDuration(seconds), false, std::move(fn));
  timer->start();
  return timer;
}

std::shared_ptr<ScheduledTimer> AsioTimerScheduler::scheduleRepeating(double interval,
                                                                      std::function<void()> fn) {
  auto timer = std::make_shared<AsioTimer>(
      queue_.ioContext(), toDuration(std::max(interval, kMinimumRepeatInterval)), true,
      std::move(fn));
  timer->start();
  return timer;
}

}  // namespace chronelle
