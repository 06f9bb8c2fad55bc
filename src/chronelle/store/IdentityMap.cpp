#include "chronelle/store/IdentityMap.h"

#include <bit>

#include "chronelle/store/ManagedObject.h"

namespace chronelle {

IdentityMap::Entry* IdentityMap::slotOf(std::int64_t key) {
  if (size_ == 0 || key <= 0) return nullptr;
  const std::size_t mask = slots_.size() - 1;
  // Linear probing: a never-used slot ends the search, an emptied one does not.
  for (std::size_t i = home(key);; i = (i + 1) & mask) {
    Entry& entry = slots_[i];
    if (entry.first == key) return &entry;
    if (entry.first == 0) return nullptr;
  }
}

std::shared_ptr<ManagedObject>& IdentityMap::operator[](std::int64_t key) {
  if (Entry* entry = slotOf(key)) return entry->second;
  if (2 * (used_ + 1) > slots_.size()) grow();
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = home(key);
  // The first free slot of the run: the key is not further on (it was not found).
  while (slots_[i].first > 0) i = (i + 1) & mask;
  if (slots_[i].first == 0) ++used_;
  ++size_;
  slots_[i].first = key;
  return slots_[i].second;
}

void IdentityMap::erase(std::int64_t key) {
  Entry* entry = slotOf(key);
  if (entry == nullptr) return;
  std::shared_ptr<ManagedObject> released = std::move(entry->second);
  entry->first = -1;
  --size_;
}

void IdentityMap::clear() {
  // Taken out first: destroying an object must find the map empty, not half cleared.
  std::vector<Entry> old;
  old.swap(slots_);
  shift_ = 64;
  size_ = used_ = 0;
}

void IdentityMap::grow() {
  // Room for the live entries at most half full; emptied slots are dropped on the way.
  std::size_t capacity = kRun;
  while (capacity < 2 * (size_ + 1)) capacity *= 2;
  std::vector<Entry> old(capacity);
  old.swap(slots_);
  shift_ = 64 - std::countr_zero(capacity);
  used_ = size_;
  const std::size_t mask = capacity - 1;
  for (auto& entry : old) {
    if (entry.first <= 0) continue;
    std::size_t i = home(entry.first);
    while (slots_[i].first != 0) i = (i + 1) & mask;
    slots_[i] = std::move(entry);
  }
}

}  // namespace chronelle
