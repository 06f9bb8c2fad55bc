#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace chronelle {

class MainQueue;

/// User info of a notification: values of any type under string keys.
using UserInfo = std::map<std::string, std::any>;

/// A posted notification: its name, the posting object and its user info.
struct Notification {
  /// The name observers register for.
  std::string name;
  /// The posting object, compared by address only; may be null.
  const void* object = nullptr;
  /// Values under string keys; read them with `value<T>(key)`.
  UserInfo userInfo;

  /// The value under `key` when present and of type T, else null. The pointer is valid for
  /// the lifetime of the notification.
  template <class T>
  const T* value(const std::string& key) const {
    auto it = userInfo.find(key);
    return it == userInfo.end() ? nullptr : std::any_cast<T>(&it->second);
  }
};

/// Registration handle: the observer stays registered while the token lives; destroying it
/// (or calling `reset`) unregisters, after which the callback is never called again, even
/// from another thread that is posting at that moment (the destructor waits for a callback
/// that is running on another thread).
class ObserverToken {
 public:
  ObserverToken() = default;
  /// Takes over `other`'s registration.
  ObserverToken(ObserverToken&&) noexcept;
  /// Unregisters this token's observer, then takes over `other`'s registration.
  ObserverToken& operator=(ObserverToken&&) noexcept;
  ~ObserverToken();
  /// Unregisters now (see the class comment); nothing when already empty.
  void reset();
  /// True while the token holds a registration.
  explicit operator bool() const { return static_cast<bool>(impl_); }

  struct Impl;
  /// Made by NotificationCenter::addObserver.
  explicit ObserverToken(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}

 private:
  std::shared_ptr<Impl> impl_;
};

/// Observers by name and optional sender. `post` delivers synchronously on the posting
/// thread, in registration order; an observer registered with a queue gets its callback
/// posted there instead. Thread-safe; observers may add or remove observers from inside a
/// callback.
class NotificationCenter {
 public:
  NotificationCenter();
  ~NotificationCenter();
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  /// The process-wide centre the library posts to.
  static NotificationCenter& defaultCenter();

  /// `sender` null observes every sender. `queue` null delivers on the posting thread.
  [[nodiscard]] ObserverToken addObserver(std::string name, const void* sender,
                                          std::function<void(const Notification&)> callback,
                                          MainQueue* queue = nullptr);

  /// Delivers `notification` to the matching observers registered when it is posted. An
  /// exception from a synchronous observer propagates to the poster and stops this
  /// delivery; the centre and its registrations stay intact.
  ///@{
  void post(const Notification& notification);
  void post(std::string name, const void* object = nullptr, UserInfo userInfo = {});
  ///@}

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace chronelle
