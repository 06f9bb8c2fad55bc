#pragma once

#include <atomic>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "chronelle/reports/SessionColumnSegment.h"

namespace chronelle {

/// The segments of one chart column: an array with the value semantics of a std::vector whose
/// copies share one block until one of them is changed. A year of daily columns is tens of
/// thousands of segments; the calculator's cache and every result handed out hold the same
/// columns, and sharing them saves copying megabytes (and faulting them in) per chart.
///
/// Const access never copies. Any non-const access (iterating a non-const value included)
/// first gives this value its own block when another value shares it, so a change is never
/// seen through a copy. A value type: distinct values may be used from distinct threads even
/// when they share a block; one value is not thread-safe.
class SessionColumnSegments {
 public:
  using Items = std::vector<SessionColumnSegment>;
  using value_type = SessionColumnSegment;
  using size_type = std::size_t;
  using iterator = Items::iterator;
  using const_iterator = Items::const_iterator;

  /// No segments.
  SessionColumnSegments() = default;
  /// The given segments, in order.
  SessionColumnSegments(std::initializer_list<SessionColumnSegment> segments)
      : items_(std::make_shared<Items>(segments)) {}
  /// Takes `segments` over.
  explicit SessionColumnSegments(Items segments) : items_(std::make_shared<Items>(std::move(segments))) {}

  /// The segments as a vector (empty when none).
  const Items& items() const { return items_ ? *items_ : none(); }

  /// The number of segments.
  std::size_t size() const { return items_ ? items_->size() : 0; }
  /// True without segments.
  bool empty() const { return size() == 0; }

  /// Read access; never copies.
  ///@{
  const_iterator begin() const { return items().begin(); }
  const_iterator end() const { return items().end(); }
  const_iterator cbegin() const { return begin(); }
  const_iterator cend() const { return end(); }
  const SessionColumnSegment& operator[](std::size_t i) const { return items()[i]; }
  /// Throws std::out_of_range for `i` past the end.
  const SessionColumnSegment& at(std::size_t i) const { return items().at(i); }
  const SessionColumnSegment& front() const { return items().front(); }
  const SessionColumnSegment& back() const { return items().back(); }
  ///@}

  /// Write access: the segments of this value alone, copied first when shared. Iterators and
  /// references stay valid until this value is copied or changed in size.
  ///@{
  Items& edit();
  iterator begin() { return edit().begin(); }
  iterator end() { return edit().end(); }
  SessionColumnSegment& operator[](std::size_t i) { return edit()[i]; }
  /// Throws std::out_of_range for `i` past the end.
  SessionColumnSegment& at(std::size_t i) { return edit().at(i); }
  SessionColumnSegment& front() { return edit().front(); }
  SessionColumnSegment& back() { return edit().back(); }
  void push_back(SessionColumnSegment segment) { edit().push_back(std::move(segment)); }
  template <class... Args>
  SessionColumnSegment& emplace_back(Args&&... args) {
    return edit().emplace_back(std::forward<Args>(args)...);
  }
  void reserve(std::size_t n) { edit().reserve(n); }
  void resize(std::size_t n) { edit().resize(n); }
  void clear() { items_.reset(); }
  ///@}

  /// Equal when the segments are, in order (values sharing a block without comparing).
  friend bool operator==(const SessionColumnSegments& a, const SessionColumnSegments& b) {
    return a.items_ == b.items_ || a.items() == b.items();
  }

 private:
  static const Items& none() {
    static const Items kNone;
    return kNone;
  }

  std::shared_ptr<Items> items_;  ///< null: none; shared between copies until one is edited
};

inline SessionColumnSegments::Items& SessionColumnSegments::edit() {
  if (!items_) {
    items_ = std::make_shared<Items>();
  } else if (items_.use_count() != 1) {
    items_ = std::make_shared<Items>(*items_);
  } else {
    // The last other holder let go on another thread: its reads of the block happen before
    // the writes that follow (the count is dropped with release order, read here relaxed).
    std::atomic_thread_fence(std::memory_order_acquire);
  }
  return *items_;
}

}  // namespace chronelle
