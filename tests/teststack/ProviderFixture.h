#pragma once

#include <asio/awaitable.hpp>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "teststack/StackFixture.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/platform/NotificationCenter.h"
#include "testsupport/RunOnMain.h"

namespace chronelle::testing {

// A StackFixture with a MainDataProvider and a record of what happened, in order:
// "returned" when an awaited write resumed its caller, and "changed <ContextChanges>" for
// each mainContextDidChange. Writes run through `write`, which drives the main queue until
// the write has returned and then until nothing is left (the deferred recomputation and
// the notification included).
class ProviderFixture : public StackFixture {
 protected:
  ProviderFixture() { startProvider(); }

  // (Re)creates the provider; observers registered before this see saves first.
  void startProvider() {
    provider.reset();
    provider = std::make_unique<MainDataProvider>();
    changeObserver = NotificationCenter::defaultCenter().addObserver(
        DataNotifications::mainContextDidChange, nullptr, [this](const Notification& notification) {
          const auto changes = contextChanges(notification);
          events.push_back("changed " + (changes ? changes->description() : std::string("none")));
          lastChange = notification;
        });
  }

  // Saves the view context, runs what that left queued and forgets the events: a set-up step.
  void saveAndSettle() {
    save();
    MainQueue::shared().runPending();
    events.clear();
  }

  template <class T>
  T write(asio::awaitable<T> op) {
    return runToEnd(recordReturn(std::move(op), events));
  }

  // The recorded events joined by " | "; clears the record.
  std::string takeEvents() {
    std::string text;
    for (const auto& event : events) text += (text.empty() ? "" : " | ") + event;
    events.clear();
    return text;
  }

  std::unique_ptr<MainDataProvider> provider;
  std::vector<std::string> events;
  Notification lastChange;
  ObserverToken changeObserver;

 private:
  // Records "returned" once `op` has completed without throwing, before its caller resumes.
  template <class T>
  static asio::awaitable<T> recordReturn(asio::awaitable<T> op, std::vector<std::string>& events) {
    struct Mark {
      std::vector<std::string>& events;
      ~Mark() { if (!std::uncaught_exceptions()) events.push_back("returned"); }
    } mark{events};
    co_return co_await std::move(op);
  }
};

// `op` with its result dropped, for tables of writes.
template <class T>
asio::awaitable<void> discardResult(asio::awaitable<T> op) {
  co_await std::move(op);
}

// The event of a mainContextDidChange with these kinds, e.g. changed(R"(["task"])", "[]", "[]").
inline std::string changed(const std::string& inserts, const std::string& updates, const std::string& deletes) {
  return "changed ContextChanges(inserts: " + inserts + ", updates: " + updates + ", deletes: " + deletes + ")";
}

}  // namespace chronelle::testing
