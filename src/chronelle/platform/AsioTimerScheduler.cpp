#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <asio/posix/stream_descriptor.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>

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

// Hears wall-clock jumps: a real-time timerfd armed far in the future with cancel-on-set.
// The kernel cancels it, and a read fails with ECANCELED, whenever the real-time clock is set
// discontinuously, which includes a resume from suspend. The descriptor is touched only on
// the queue's thread.
class WallClockWatch final : public ScheduledTimer,
                             public std::enable_shared_from_this<WallClockWatch> {
 public:
  WallClockWatch(asio::io_context& io, int fd, std::function<void()> fn)
      : descriptor_(io, fd), fn_(std::move(fn)) {}

  void start() {
    asio::post(descriptor_.get_executor(), [self = shared_from_this()] {
      if (!self->valid_.load()) return;
      if (!self->arm()) {
        self->valid_.store(false);
        return;
      }
      self->wait();
    });
  }

  void cancel() override {
    if (!valid_.exchange(false)) return;
    asio::post(descriptor_.get_executor(), [self = shared_from_this()] {
      std::error_code ignored;
      self->descriptor_.cancel(ignored);
      self->descriptor_.close(ignored);
      self->fn_ = nullptr;
    });
  }

  bool isValid() const override { return valid_.load(); }

 private:
  // Arms the timer ten years ahead: it is there to be cancelled, not to expire.
  bool arm() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    itimerspec spec{};
    spec.it_value.tv_sec = now.tv_sec + 10 * 365 * 86400;
    return ::timerfd_settime(descriptor_.native_handle(), TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET,
                             &spec, nullptr) == 0;
  }

  void wait() {
    descriptor_.async_wait(asio::posix::stream_descriptor::wait_read,
                           [self = shared_from_this()](const std::error_code& error) {
                             if (error || !self->valid_.load()) return;
                             std::uint64_t expirations = 0;
                             const auto n = ::read(self->descriptor_.native_handle(), &expirations,
                                                   sizeof expirations);
                             const bool jumped = n < 0 && errno == ECANCELED;
                             // Cancelled or expired, the timer is disarmed until set again.
                             if (n >= 0 || jumped) self->arm();
                             self->wait();
                             auto fn = self->fn_;
                             if (jumped && fn) fn();
                           });
  }

  asio::posix::stream_descriptor descriptor_;
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

std::shared_ptr<ScheduledTimer> AsioTimerScheduler::observeWallClockJumps(std::function<void()> fn) {
  const int fd = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd < 0) return TimerScheduler::observeWallClockJumps(nullptr);  // cannot hear jumps
  auto watch = std::make_shared<WallClockWatch>(queue_.ioContext(), fd, std::move(fn));
  watch->start();
  return watch;
}

}  // namespace chronelle
