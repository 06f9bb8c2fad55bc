#pragma once

#include <asio/async_result.hpp>
#include <asio/awaitable.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>
#include <exception>
#include <functional>
#include <memory>
#include <utility>

namespace chronelle::cli {

// Awaits work that finishes on another thread: `start` is called at once with a `deliver`
// callback, hands the work to its thread (a report operation on the thread pool) and that
// thread calls `deliver(result)` exactly once; the awaiting coroutine then resumes with the
// result as a task of its own executor (the main queue), so nothing of the caller's runs
// on the worker thread. T must be copyable and default-constructible.
template <class T>
asio::awaitable<T> awaitBackgroundWork(std::function<void(std::function<void(T)>)> start) {
  co_return co_await asio::async_initiate<const asio::use_awaitable_t<>&, void(std::exception_ptr, T)>(
      // `start` stays in the coroutine frame: the initiation runs before the first suspension.
      [&start](auto handler) {
        auto shared = std::make_shared<decltype(handler)>(std::move(handler));
        start([shared](T result) {
          auto executor = asio::get_associated_executor(*shared);
          asio::post(executor, [shared, result = std::move(result)]() mutable {
            std::move(*shared)(nullptr, std::move(result));
          });
        });
      },
      asio::use_awaitable);
}

}  // namespace chronelle::cli
