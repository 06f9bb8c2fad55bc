#include "chronelle/platform/NotificationCenter.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "chronelle/platform/MainQueue.h"

namespace chronelle {

struct CenterState;

// One registration. Delivery and unregistration meet here: a delivery enters only while
// the registration is active and counts itself in `running`; unregistration first marks
// it inactive, then waits until no delivery runs on another thread. A delivery on the
// unregistering thread itself (an observer removing itself from its own callback) is not
// waited for, or it would wait for itself.
struct ObserverToken::Impl {
  using Callback = std::function<void(const Notification&)>;

  std::string name;
  const void* sender = nullptr;
  MainQueue* queue = nullptr;
  std::weak_ptr<CenterState> center;

  // Guards `callback`, `active` and `runningOn`.
  std::mutex mutex;
  std::condition_variable idle;
  std::shared_ptr<const Callback> callback;
  bool active = true;
  std::vector<std::thread::id> runningOn;  // one entry per delivery in progress

  void deliver(const Notification& notification);
  void unregister();
};

// The centre's registrations in registration order.
struct CenterState {
  // Guards `observers`.
  std::mutex mutex;
  std::vector<std::shared_ptr<ObserverToken::Impl>> observers;

  void remove(const ObserverToken::Impl* impl) {
    std::shared_ptr<ObserverToken::Impl> released;  // destroyed outside the lock
    std::lock_guard lock(mutex);
    auto it = std::find_if(observers.begin(), observers.end(),
                           [&](const auto& o) { return o.get() == impl; });
    if (it != observers.end()) {
      released = std::move(*it);
      observers.erase(it);
    }
  }
};

struct NotificationCenter::State : CenterState {};

void ObserverToken::Impl::deliver(const Notification& notification) {
  std::shared_ptr<const Callback> fn;
  const auto self = std::this_thread::get_id();
  {
    std::lock_guard lock(mutex);
    if (!active) return;
    fn = callback;
    runningOn.push_back(self);
  }
  struct Leave {
    Impl& impl;
    std::thread::id self;
    ~Leave() {
      std::lock_guard lock(impl.mutex);
      impl.runningOn.erase(std::find(impl.runningOn.begin(), impl.runningOn.end(), self));
      impl.idle.notify_all();
    }
  } leave{*this, self};
  (*fn)(notification);
}

void ObserverToken::Impl::unregister() {
  if (auto state = center.lock()) state->remove(this);
  std::shared_ptr<const Callback> released;
  {
    std::unique_lock lock(mutex);
    active = false;
    const auto self = std::this_thread::get_id();
    idle.wait(lock, [&] {
      return std::all_of(runningOn.begin(), runningOn.end(),
                         [&](std::thread::id id) { return id == self; });
    });
    // Drop the callback (and what it captured) now; a delivery still running on this
    // thread holds its own reference until it returns.
    released = std::move(callback);
  }
}

ObserverToken::ObserverToken(ObserverToken&& other) noexcept = default;

ObserverToken& ObserverToken::operator=(ObserverToken&& other) noexcept {
  if (this != &other) {
    reset();
    impl_ = std::move(other.impl_);
  }
  return *this;
}

ObserverToken::~ObserverToken() { reset(); }

void ObserverToken::reset() {
  if (auto impl = std::move(impl_)) impl->unregister();
}

NotificationCenter::NotificationCenter() : state_(std::make_shared<State>()) {}

NotificationCenter::~NotificationCenter() {
  // Tokens that outlive the centre unregister from nothing; their observers are never
  // called again because no one can post to a destroyed centre.
}

NotificationCenter& NotificationCenter::defaultCenter() {
  static auto* center = new NotificationCenter;  // leaked: observers may outlive main()
  return *center;
}

ObserverToken NotificationCenter::addObserver(std::string name, const void* sender,
                                              std::function<void(const Notification&)> callback,
                                              MainQueue* queue) {
  auto impl = std::make_shared<ObserverToken::Impl>();
  impl->name = std::move(name);
  impl->sender = sender;
  impl->queue = queue;
  impl->center = std::static_pointer_cast<CenterState>(state_);
  impl->callback = std::make_shared<const ObserverToken::Impl::Callback>(std::move(callback));
  {
    std::lock_guard lock(state_->mutex);
    state_->observers.push_back(impl);
  }
  return ObserverToken(std::move(impl));
}

void NotificationCenter::post(const Notification& notification) {
  // Deliver to a snapshot, outside the lock, so callbacks can add and remove observers and
  // post further notifications. Observers added meanwhile miss this notification;
  // observers removed meanwhile are skipped by `deliver`.
  std::vector<std::shared_ptr<ObserverToken::Impl>> targets;
  {
    std::lock_guard lock(state_->mutex);
    for (const auto& o : state_->observers) {
      if (o->name == notification.name && (!o->sender || o->sender == notification.object))
        targets.push_back(o);
    }
  }
  for (const auto& target : targets) {
    if (target->queue) {
      target->queue->post([target, notification] { target->deliver(notification); });
    } else {
      target->deliver(notification);
    }
  }
}

void NotificationCenter::post(std::string name, const void* object, UserInfo userInfo) {
  post(Notification{std::move(name), object, std::move(userInfo)});
}

}  // namespace chronelle
