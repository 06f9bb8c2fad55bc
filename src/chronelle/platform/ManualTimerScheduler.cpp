#include <cmath>
#include <limits>
#include <mutex>
#include <vector>

#include "chronelle/platform/Clock.h"
#include "chronelle/platform/TimerScheduler.h"

namespace chronelle {

namespace {

// Intervals shorter than this repeat at this interval, so `advance` always ends.
constexpr std::int64_t kMinimumRepeatMicros = 100;

std::int64_t toMicros(double seconds) {
  return seconds > 0 ? static_cast<std::int64_t>(std::llround(seconds * 1e6)) : 0;
}

}  // namespace

struct ManualTimerScheduler::State {
  struct Entry {
    std::uint64_t id;
    std::int64_t due;       // microseconds since 1970 on the manual clock
    std::int64_t interval;  // 0 for a one-shot timer
    std::shared_ptr<std::function<void()>> fn;
  };

  std::shared_ptr<ManualClock> clock;
  // Guards `entries` and `nextId`.
  mutable std::mutex mutex;
  std::vector<Entry> entries;
  // Wall-clock jump observers; they never fire on `advance`.
  std::vector<Entry> jumpObservers;
  std::uint64_t nextId = 1;

  bool isScheduled(std::uint64_t id) const {
    std::lock_guard lock(mutex);
    for (const auto& e : entries)
      if (e.id == id) return true;
    for (const auto& e : jumpObservers)
      if (e.id == id) return true;
    return false;
  }

  void remove(std::uint64_t id) {
    std::shared_ptr<std::function<void()>> released;  // destroyed outside the lock
    std::lock_guard lock(mutex);
    for (auto* list : {&entries, &jumpObservers}) {
      for (auto it = list->begin(); it != list->end(); ++it) {
        if (it->id == id) {
          released = std::move(it->fn);
          list->erase(it);
          return;
        }
      }
    }
  }
};

namespace {

// A handle whose operations are closures over the scheduler's state (which is private to
// the scheduler); it does not keep the scheduler alive.
class ManualTimer final : public ScheduledTimer {
 public:
  ManualTimer(std::function<void()> cancel, std::function<bool()> isValid)
      : cancel_(std::move(cancel)), isValid_(std::move(isValid)) {}
  void cancel() override { cancel_(); }
  bool isValid() const override { return isValid_(); }

 private:
  std::function<void()> cancel_;
  std::function<bool()> isValid_;
};

}  // namespace

std::shared_ptr<ScheduledTimer> ManualTimerScheduler::makeHandle(
    const std::shared_ptr<State>& state, std::uint64_t id) {
  std::weak_ptr<State> weak = state;
  return std::make_shared<ManualTimer>(
      [weak, id] {
        if (auto s = weak.lock()) s->remove(id);
      },
      [weak, id] {
        auto s = weak.lock();
        return s && s->isScheduled(id);
      });
}

ManualTimerScheduler::ManualTimerScheduler(std::shared_ptr<ManualClock> clock)
    : state_(std::make_shared<State>()) {
  state_->clock = std::move(clock);
}

ManualTimerScheduler::~ManualTimerScheduler() {
  std::vector<State::Entry> released;
  {
    std::lock_guard lock(state_->mutex);
    released.swap(state_->entries);
    released.insert(released.end(), state_->jumpObservers.begin(), state_->jumpObservers.end());
    state_->jumpObservers.clear();
  }
}

std::shared_ptr<ScheduledTimer> ManualTimerScheduler::scheduleOnce(double seconds,
                                                                   std::function<void()> fn) {
  std::lock_guard lock(state_->mutex);
  const auto id = state_->nextId++;
  state_->entries.push_back(
      {id, state_->clock->now().microsecondsSince1970() + toMicros(seconds), 0,
       std::make_shared<std::function<void()>>(std::move(fn))});
  return makeHandle(state_, id);
}

std::shared_ptr<ScheduledTimer> ManualTimerScheduler::scheduleRepeating(
    double interval, std::function<void()> fn) {
  const auto micros = std::max(toMicros(interval), kMinimumRepeatMicros);
  std::lock_guard lock(state_->mutex);
  const auto id = state_->nextId++;
  state_->entries.push_back({id, state_->clock->now().microsecondsSince1970() + micros, micros,
                             std::make_shared<std::function<void()>>(std::move(fn))});
  return makeHandle(state_, id);
}

std::shared_ptr<ScheduledTimer> ManualTimerScheduler::observeWallClockJumps(
    std::function<void()> fn) {
  std::lock_guard lock(state_->mutex);
  const auto id = state_->nextId++;
  state_->jumpObservers.push_back(
      {id, 0, 0, std::make_shared<std::function<void()>>(std::move(fn))});
  return makeHandle(state_, id);
}

void ManualTimerScheduler::jumpWallClock(Date date) {
  std::vector<std::shared_ptr<std::function<void()>>> observers;
  {
    std::lock_guard lock(state_->mutex);
    const auto shift =
        date.microsecondsSince1970() - state_->clock->now().microsecondsSince1970();
    // Timers count time, not wall-clock instants: each keeps what it had left to wait.
    for (auto& e : state_->entries) e.due += shift;
    state_->clock->set(date);
    for (const auto& e : state_->jumpObservers) observers.push_back(e.fn);
  }
  // Outside the lock: an observer may schedule or cancel timers.
  for (const auto& fn : observers) (*fn)();
}

void ManualTimerScheduler::advance(double seconds) {
  const auto target = state_->clock->now().microsecondsSince1970() + toMicros(seconds);
  for (;;) {
    std::shared_ptr<std::function<void()>> fn;
    {
      std::lock_guard lock(state_->mutex);
      // The earliest due timer; among equal due times, the one scheduled first.
      auto next = state_->entries.end();
      for (auto it = state_->entries.begin(); it != state_->entries.end(); ++it) {
        if (it->due > target) continue;
        if (next == state_->entries.end() || it->due < next->due ||
            (it->due == next->due && it->id < next->id))
          next = it;
      }
      if (next == state_->entries.end()) break;
      state_->clock->set(Date::fromMicroseconds(next->due));
      fn = next->fn;
      if (next->interval > 0) {
        next->due += next->interval;
      } else {
        state_->entries.erase(next);
      }
    }
    // Outside the lock: the callback may schedule or cancel timers.
    (*fn)();
  }
  if (state_->clock->now().microsecondsSince1970() < target)
    state_->clock->set(Date::fromMicroseconds(target));
}

std::size_t ManualTimerScheduler::pendingCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->entries.size();
}

double ManualTimerScheduler::secondsUntilNextFire() const {
  std::lock_guard lock(state_->mutex);
  if (state_->entries.empty()) return -1;
  auto due = std::numeric_limits<std::int64_t>::max();
  for (const auto& e : state_->entries) due = std::min(due, e.due);
  return static_cast<double>(due - state_->clock->now().microsecondsSince1970()) / 1e6;
}

}  // namespace chronelle
