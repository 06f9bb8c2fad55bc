#include "chronelle/store/EntityLayout.h"

#include <array>
#include <cstdint>

namespace chronelle {

int EntityDescription::Layout::slot(std::string_view name) const {
  // Getters look up the same few names (literals) on many objects of a few entities, and a
  // look-up in the map compares several names. The last slots found are kept per thread by
  // layout and by the address of the name's text; a hit is checked against the slot's own
  // name, so a layout or a text that a new one took the place of is never taken for it.
  struct Found {
    const Layout* layout = nullptr;
    const char* text = nullptr;
    int slot = -1;
  };
  static thread_local std::array<Found, 64> recent{};
  const auto hash =
      (reinterpret_cast<std::uintptr_t>(this) >> 4) * 31 + (reinterpret_cast<std::uintptr_t>(name.data()) >> 2);
  Found& found = recent[(hash ^ (hash >> 6)) & (recent.size() - 1)];
  if (found.layout == this && found.text == name.data() && static_cast<std::size_t>(found.slot) < slots.size() &&
      slots[static_cast<std::size_t>(found.slot)].name == name) {
    return found.slot;
  }
  auto it = slotByName.find(name);
  if (it == slotByName.end()) return -1;
  found = Found{this, name.data(), it->second};
  return it->second;
}

}  // namespace chronelle
