#include "chronelle/model/ContextChanges.h"

#include <algorithm>
#include <array>
#include <utility>

namespace chronelle {

std::string ContextChanges::Entity::description() const {
  static const std::array<std::pair<Entity, const char*>, 6> kNames{{
      {session, "session"},
      {task, "task"},
      {folder, "folder"},
      {ruleSet, "ruleSet"},
      {rule, "rule"},
      {alEntry, "alEntry"},
  }};
  std::string text = "[";
  for (const auto& [member, name] : kNames) {
    if (!contains(member)) continue;
    if (text.size() > 1) text += ", ";
    text += '"';
    text += name;
    text += '"';
  }
  return text + "]";
}

bool ContextChanges::have(Entity entity) const {
  return inserts.contains(entity) || updates.contains(entity) || deletes.contains(entity);
}

bool ContextChanges::haveAll(const std::vector<Entity>& entities) const {
  return std::all_of(entities.begin(), entities.end(), [&](Entity e) { return have(e); });
}

bool ContextChanges::haveAny(const std::vector<Entity>& entities) const {
  return std::any_of(entities.begin(), entities.end(), [&](Entity e) { return have(e); });
}

bool ContextChanges::haveTrackedDataChanges() const {
  const Entity tracked = Entity::session | Entity::task | Entity::folder;
  return !((inserts | updates | deletes) & tracked).isEmpty();
}

std::string ContextChanges::description() const {
  return "ContextChanges(inserts: " + inserts.description() +
         ", updates: " + updates.description() + ", deletes: " + deletes.description() + ")";
}

}  // namespace chronelle
