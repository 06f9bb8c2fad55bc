#pragma once

#include <asio/awaitable.hpp>
#include <exception>

#include "chronelle/platform/MainQueue.h"

namespace chronelle::testing {

// Runs `op` on the shared main queue, driving the queue on the calling thread until it
// finishes; returns its result or rethrows its exception. Call from the test's thread.
template <class T>
T runOnMain(asio::awaitable<T> op) {
  return MainQueue::shared().runUntilComplete(std::move(op));
}

// `runOnMain`, then everything `op` left queued (follow-up writes, their notifications); an
// exception from `op` is rethrown without draining.
template <class T>
T runToEnd(asio::awaitable<T> op) {
  struct Drain {
    ~Drain() noexcept(false) { if (!std::uncaught_exceptions()) MainQueue::shared().runPending(); }
  } drain;
  return runOnMain(std::move(op));
}

}  // namespace chronelle::testing
