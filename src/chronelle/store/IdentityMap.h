#pragma once
// Store-internal: a context's saved objects of one table by primary key.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace chronelle {

class ManagedObject;

/// Saved objects by primary key (≥ 1), in one open-addressed table: registering an object
/// allocates nothing (a listing registers hundreds at once, and a node map would allocate
/// and free one entry for each), and forgetting them all is one pass. Iteration order is
/// unspecified. Registering may move the entries: iterators and references to entries do
/// not survive an insertion (erasing keeps the others where they are). Not thread-safe.
class IdentityMap {
 public:
  /// A key and its object; the key is 0 in a slot never used and -1 in one emptied.
  using Entry = std::pair<std::int64_t, std::shared_ptr<ManagedObject>>;

  /// Walks the occupied slots.
  template <class E>
  class Iterator {
   public:
    Iterator(E* at, E* end) : at_(at), end_(end) { skip(); }
    E& operator*() const { return *at_; }
    E* operator->() const { return at_; }
    Iterator& operator++() {
      ++at_;
      skip();
      return *this;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.at_ == b.at_; }

   private:
    void skip() {
      while (at_ != end_ && at_->first <= 0) ++at_;
    }
    E* at_;
    E* end_;
  };
  using iterator = Iterator<Entry>;
  using const_iterator = Iterator<const Entry>;

  /// The entry of `key`, or end().
  ///@{
  iterator find(std::int64_t key) {
    Entry* entry = slotOf(key);
    return entry != nullptr ? iterator(entry, endSlot()) : end();
  }
  const_iterator find(std::int64_t key) const {
    const Entry* entry = const_cast<IdentityMap*>(this)->slotOf(key);
    return entry != nullptr ? const_iterator(entry, endSlot()) : end();
  }
  ///@}
  /// The object of `key` (≥ 1), an empty one inserted when there is none.
  std::shared_ptr<ManagedObject>& operator[](std::int64_t key);
  /// Forgets `key`; nothing when absent. The object is let go of after the map is in order
  /// again, so its destruction may use the map.
  void erase(std::int64_t key);
  /// Forgets every object.
  void clear();
  /// Number of objects.
  std::size_t size() const { return size_; }

  /// The occupied entries, in no particular order.
  ///@{
  iterator begin() { return iterator(slots_.data(), endSlot()); }
  iterator end() { return iterator(endSlot(), endSlot()); }
  const_iterator begin() const { return const_iterator(slots_.data(), endSlot()); }
  const_iterator end() const { return const_iterator(endSlot(), endSlot()); }
  ///@}

 private:
  Entry* endSlot() { return slots_.data() + slots_.size(); }
  const Entry* endSlot() const { return slots_.data() + slots_.size(); }
  std::size_t home(std::int64_t key) const {
    // Keys are mostly consecutive, and a listing looks them up in key order (or its reverse):
    // each run of kRun consecutive keys takes kRun consecutive slots, so those look-ups read
    // the table in order instead of missing the cache at every key. The runs themselves are
    // spread by Fibonacci hashing, so that runs far apart (this month's entries and a month a
    // year ago) do not pile up on the same slots.
    const auto k = static_cast<std::uint64_t>(key);
    const auto run = static_cast<std::size_t>(((k / kRun) * 0x9E3779B97F4A7C15ULL) >> shift_);
    return (run & ~(kRun - 1)) | static_cast<std::size_t>(k % kRun);
  }
  /// Consecutive keys kept side by side; at most the smallest table.
  static constexpr std::size_t kRun = 16;
  Entry* slotOf(std::int64_t key);
  /// Rebuilds the table with room for `size_ + 1` entries at most half full.
  void grow();

  std::vector<Entry> slots_;  ///< a power of two in size, or empty
  int shift_ = 64;            ///< 64 − log2(slots_.size())
  std::size_t size_ = 0;      ///< occupied slots
  std::size_t used_ = 0;      ///< occupied and emptied slots: what a search may walk over
};

}  // namespace chronelle
