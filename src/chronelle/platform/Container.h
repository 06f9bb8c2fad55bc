#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <typeindex>
#include <unordered_map>

namespace chronelle {

/// The dependency container: services registered by type at start-up, resolved by type
/// from any thread, one shared instance per service. Services are held as shared_ptr
/// because every user of a service shares the one instance the application registered.
/// Thread-safe.
class Container {
 public:
  /// Registers an existing instance, replacing an earlier registration of T.
  template <class T>
  void registerInstance(std::shared_ptr<T> instance) {
    std::lock_guard lock(mutex_);
    entries_[std::type_index(typeid(T))] = Entry{std::move(instance), nullptr};
  }

  /// Registers a factory run once, on the first resolution; the result is then shared.
  template <class T>
  void registerFactory(std::function<std::shared_ptr<T>()> factory) {
    std::lock_guard lock(mutex_);
    entries_[std::type_index(typeid(T))] =
        Entry{nullptr, [f = std::move(factory)]() -> std::shared_ptr<void> { return f(); }};
  }

  /// The shared instance of T. Resolving a service that was never registered is a
  /// programming error: the process aborts with a message naming the type.
  template <class T>
  std::shared_ptr<T> resolve() {
    auto p = tryResolve<T>();
    if (!p) missingService(typeid(T).name());
    return p;
  }

  /// The shared instance of T, or null when T was never registered.
  template <class T>
  std::shared_ptr<T> tryResolve() {
    return std::static_pointer_cast<T>(resolveErased(std::type_index(typeid(T))));
  }

  /// True when an instance of T is registered.
  template <class T>
  /// True when an instance of T is registered.
  bool isRegistered() const {
    std::lock_guard lock(mutex_);
    return entries_.count(std::type_index(typeid(T))) != 0;
  }

  /// Forgets every registration (the container's shares of the instances are released).
  void removeAll();

 private:
  struct Entry {
    std::shared_ptr<void> instance;
    std::function<std::shared_ptr<void>()> factory;
  };
  std::shared_ptr<void> resolveErased(std::type_index type);
  [[noreturn]] static void missingService(const char* mangledTypeName);

  /// Guards entries_, including the one-time run of a factory.
  mutable std::recursive_mutex mutex_;
  std::unordered_map<std::type_index, Entry> entries_;
};

}  // namespace chronelle
