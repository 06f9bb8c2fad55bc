#include "chronelle/store/EntityLayout.h"

#include <atomic>
#include <cstddef>

namespace chronelle {

namespace {

// The names of one entity differ in length or in one of these letters almost always; a
// clash only costs one more comparison.
std::size_t nameHash(std::string_view name) {
  if (name.empty()) return 0;
  const auto at = [&](std::size_t i) { return static_cast<std::size_t>(static_cast<unsigned char>(name[i])); };
  return name.size() * 97 + at(0) * 31 + at(name.size() / 2) * 7 + at(name.size() - 1);
}

}  // namespace

std::uint64_t EntityDescription::Layout::nextSerial() {
  static std::atomic<std::uint64_t> last{0};
  return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

void EntityDescription::Layout::indexSlots() {
  std::size_t size = 8;
  while (size < 2 * slots.size()) size *= 2;
  slotTable.assign(size, -1);
  for (std::size_t s = 0; s < slots.size(); ++s) {
    std::size_t i = nameHash(slots[s].name) & (size - 1);
    while (slotTable[i] >= 0) i = (i + 1) & (size - 1);
    slotTable[i] = static_cast<int>(s);
  }
}

int EntityDescription::Layout::slot(std::string_view name) const {
  if (slotTable.empty()) return -1;  // a layout still being made
  const std::size_t mask = slotTable.size() - 1;
  for (std::size_t i = nameHash(name) & mask;; i = (i + 1) & mask) {
    const int s = slotTable[i];
    if (s < 0) return -1;
    if (slots[static_cast<std::size_t>(s)].name == name) return s;
  }
}

}  // namespace chronelle
