#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace chronelle {

class Date;
class ManualClock;
class MainQueue;

// A scheduled timer. Cancelling is idempotent; destroying the handle does NOT cancel (as
// with a run-loop timer, the scheduler keeps it alive until it is cancelled or, for a
// one-shot timer, has fired). Thread-safe.
class ScheduledTimer {
 public:
  virtual ~ScheduledTimer() = default;
  virtual void cancel() = 0;
  virtual bool isValid() const = 0;
};

// Source of one-shot and repeating timers whose callbacks run on the main queue. The
// library never sleeps or reads the wall clock to wait: it asks the installed scheduler.
class TimerScheduler {
 public:
  virtual ~TimerScheduler() = default;

  // Fires `fn` once after `seconds`.
  virtual std::shared_ptr<ScheduledTimer> scheduleOnce(double seconds, std::function<void()> fn) = 0;
  // Fires `fn` every `interval` seconds, first after one interval, until cancelled.
  virtual std::shared_ptr<ScheduledTimer> scheduleRepeating(double interval,
                                                            std::function<void()> fn) = 0;
  // Calls `fn` each time the wall clock jumps against the time timers wait on: the clock set
  // by hand or by time synchronisation, or a resume from sleep (timers do not count the time
  // asleep). Timers keep their remaining time across a jump, so whatever is aligned to the
  // wall clock must align again. Runs where timer callbacks run. Cancelling the returned
  // handle stops the calls; a handle that is not valid from the start means jumps cannot be
  // detected here (what this base class returns).
  virtual std::shared_ptr<ScheduledTimer> observeWallClockJumps(std::function<void()> fn);

  // The process-wide scheduler (Asio timers on MainQueue::shared() unless one is installed).
  // The reference stays valid until the next `install`/`reset`; hold `currentShared()`
  // where that may happen meanwhile.
  static TimerScheduler& current();
  // The same scheduler, shared: it stays alive while held even after a replacement.
  static std::shared_ptr<TimerScheduler> currentShared();
  // Replaces the process-wide scheduler (null restores the default). Timers already
  // scheduled stay with the scheduler that made them.
  static void install(std::shared_ptr<TimerScheduler> scheduler);
  static void reset();
};

// Real timers: Asio steady timers on a main queue.
class AsioTimerScheduler final : public TimerScheduler {
 public:
  explicit AsioTimerScheduler(MainQueue& queue);
  std::shared_ptr<ScheduledTimer> scheduleOnce(double seconds, std::function<void()> fn) override;
  std::shared_ptr<ScheduledTimer> scheduleRepeating(double interval, std::function<void()> fn) override;
  // On a timerfd that the kernel cancels whenever the real-time clock is set or resumes.
  std::shared_ptr<ScheduledTimer> observeWallClockJumps(std::function<void()> fn) override;

 private:
  MainQueue& queue_;
};

// Virtual time for tests: nothing fires until `advance` moves the clock past a timer's
// due time. Timers fire in due order, each with the clock set to its due instant, and the
// clock ends at start + seconds. Callbacks run synchronously on the advancing thread.
class ManualTimerScheduler final : public TimerScheduler {
 public:
  explicit ManualTimerScheduler(std::shared_ptr<ManualClock> clock);
  ~ManualTimerScheduler() override;
  std::shared_ptr<ScheduledTimer> scheduleOnce(double seconds, std::function<void()> fn) override;
  std::shared_ptr<ScheduledTimer> scheduleRepeating(double interval, std::function<void()> fn) override;
  std::shared_ptr<ScheduledTimer> observeWallClockJumps(std::function<void()> fn) override;

  void advance(double seconds);
  // Sets the clock to `date` as a clock change or a resume from sleep would: no timer fires,
  // every timer keeps its remaining time, and the jump observers are called synchronously.
  void jumpWallClock(Date date);
  // Timers still scheduled (not cancelled, not fired one-shots); jump observers do not count.
  std::size_t pendingCount() const;
  // Seconds from now to the next due timer, or a negative value when there is none.
  double secondsUntilNextFire() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
  static std::shared_ptr<ScheduledTimer> makeHandle(const std::shared_ptr<State>& state,
                                                    std::uint64_t id);
};

}  // namespace chronelle
