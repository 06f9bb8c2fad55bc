#include "chronelle/reports/ReportOperation.h"

#include <asio/post.hpp>
#include <asio/thread_pool.hpp>

namespace chronelle {

void ReportOperation::start() {
  State expected = State::ready;
  if (!state_.compare_exchange_strong(expected, State::executing)) return;
  try {
    main();
  } catch (...) {
    state_.store(State::finished);
    throw;
  }
  state_.store(State::finished);
}

void ReportOperation::enqueue(const std::shared_ptr<ReportOperation>& operation, asio::thread_pool& pool) {
  asio::post(pool, [operation] { operation->start(); });
}

}  // namespace chronelle
