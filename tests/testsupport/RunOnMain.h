#pragma once

#include <asio/awaitable.hpp>
#include <type_traits>

#include "chronelle/platform/MainQueue.h"

namespace chronelle::testing {

// Runs `op` on the shared main queue, driving the queue on the calling thread until it
// finishes; returns its result or rethrows its exception. Call from the test's thread.
template <class T>
T runOnMain(asio::awaitable<T> op) {
  return MainQueue::shared().runUntilComplete(std::move(op));
}

// `runOnMain`, then everything `op` left queued (follow-up writes, their notifications).
template <class T>
T runToEnd(asio::awaitable<T> op) {
  if constexpr (std::is_void_v<T>) {
    runOnMain(std::move(op));
    MainQueue::shared().runPending();
  } else {
    T result = runOnMain(std::move(op));
    MainQueue::shared().runPending();
    return result;
  }
}

}  // namespace chronelle::testing
