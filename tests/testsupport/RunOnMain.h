#pragma once

#include <asio/awaitable.hpp>

#include "chronelle/platform/MainQueue.h"

namespace chronelle::testing {

// Runs `op` on the shared main queue, driving the queue on the calling thread until it
// finishes; returns its result or rethrows its exception. Call from the test's thread.
template <class T>
T runOnMain(asio::awaitable<T> op) {
  return MainQueue::shared().runUntilComplete(std::move(op));
}

}  // namespace chronelle::testing
