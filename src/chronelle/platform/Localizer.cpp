#include "chronelle/platform/Localizer.h"

#include <mutex>
#include <shared_mutex>

namespace chronelle {

namespace {

struct TableSlot {
  std::shared_mutex mutex;  // guards `table`
  Localizer::Table table;
};

TableSlot& slot() {
  static auto* s = new TableSlot;  // leaked: texts may be looked up during shutdown
  return *s;
}

}  // namespace

std::string Localizer::localizedString(std::string_view key) {
  std::shared_lock lock(slot().mutex);
  auto it = slot().table.find(key);
  return it == slot().table.end() ? std::string(key) : it->second;
}

void Localizer::setTable(Table table) {
  std::unique_lock lock(slot().mutex);
  slot().table = std::move(table);
}

void Localizer::addEntries(const Table& entries) {
  std::unique_lock lock(slot().mutex);
  for (const auto& [key, text] : entries) slot().table.insert_or_assign(key, text);
}

Localizer::Table Localizer::table() {
  std::shared_lock lock(slot().mutex);
  return slot().table;
}

void Localizer::reset() { setTable({}); }

}  // namespace chronelle
