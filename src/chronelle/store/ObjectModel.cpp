#include "chronelle/store/ObjectModel.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <functional>
#include <set>
#include <stdexcept>
#include <string_view>

#include "chronelle/store/EntityLayout.h"
#include "chronelle/store/ManagedObject.h"
#include "chronelle/store/ObjectState.h"

namespace chronelle {

std::string storeName(std::string_view name) {
  std::string text = "Z";
  text.reserve(name.size() + 1);
  for (const char c : name) text += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// --- EntityDescription ---------------------------------------------------------------

EntityDescription::EntityDescription(std::string name, std::string parentName, bool isAbstract)
    : name_(std::move(name)), parentName_(std::move(parentName)), abstract_(isAbstract) {}

EntityDescription& EntityDescription::add(AttributeDescription attribute) {
  attributes_.push_back(std::move(attribute));
  return *this;
}

EntityDescription& EntityDescription::add(RelationshipDescription relationship) {
  relationships_.push_back(std::move(relationship));
  return *this;
}

EntityDescription& EntityDescription::addIndex(std::string attributeName) {
  indexed_.push_back(std::move(attributeName));
  return *this;
}

EntityDescription& EntityDescription::addCompositeIndex(std::vector<std::string> propertyNames) {
  composite_.push_back(std::move(propertyNames));
  return *this;
}

EntityDescription& EntityDescription::setSpan(std::string beginAttribute, std::string endAttribute) {
  span_ = {std::move(beginAttribute), std::move(endAttribute)};
  return *this;
}

EntityDescription& EntityDescription::addMaintainedSum(std::string attribute, std::string relationship) {
  sums_.emplace_back(std::move(attribute), std::move(relationship));
  return *this;
}

const EntityDescription& EntityDescription::rootEntity() const {
  const EntityDescription* entity = this;
  while (entity->super_ != nullptr) entity = entity->super_;
  return *entity;
}

std::vector<const AttributeDescription*> EntityDescription::allAttributes() const {
  std::vector<const AttributeDescription*> result = super_ ? super_->allAttributes()
                                                           : std::vector<const AttributeDescription*>{};
  for (const auto& a : attributes_) result.push_back(&a);
  return result;
}

std::vector<const RelationshipDescription*> EntityDescription::allRelationships() const {
  std::vector<const RelationshipDescription*> result =
      super_ ? super_->allRelationships() : std::vector<const RelationshipDescription*>{};
  for (const auto& r : relationships_) result.push_back(&r);
  return result;
}

const AttributeDescription* EntityDescription::attribute(std::string_view name) const {
  for (const EntityDescription* e = this; e != nullptr; e = e->super_) {
    for (const auto& a : e->attributes_) {
      if (a.name == name) return &a;
    }
  }
  return nullptr;
}

const RelationshipDescription* EntityDescription::relationship(std::string_view name) const {
  for (const EntityDescription* e = this; e != nullptr; e = e->super_) {
    for (const auto& r : e->relationships_) {
      if (r.name == name) return &r;
    }
  }
  return nullptr;
}

bool EntityDescription::isKindOf(const EntityDescription& other) const {
  for (const EntityDescription* e = this; e != nullptr; e = e->super_) {
    if (e == &other) return true;
  }
  return false;
}

// --- ObjectModel ---------------------------------------------------------------------

ObjectModel::ObjectModel(std::string name, int version) : name_(std::move(name)), version_(version) {}

ObjectModel& ObjectModel::addEntity(EntityDescription entity, ClassFactory factory) {
  if (finalized_) throw std::logic_error("ObjectModel " + name_ + ": finalised models cannot change");
  if (this->entity(entity.name()) != nullptr) {
    throw std::logic_error("ObjectModel " + name_ + ": entity " + entity.name() + " added twice");
  }
  if (factory) factories_[entity.name()] = std::move(factory);
  entities_.push_back(std::make_unique<EntityDescription>(std::move(entity)));
  return *this;
}

const EntityDescription* ObjectModel::entity(std::string_view name) const {
  for (const auto& e : entities_) {
    if (e->name() == name) return e.get();
  }
  return nullptr;
}

namespace {

bool isIdentifier(std::string_view text) {
  if (text.empty()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!(std::isalpha(c) || c == '_' || (i > 0 && std::isdigit(c)))) return false;
  }
  return true;
}

// Columns that fetches filter or sort on: declared ones, identifiers and time bounds.
bool isIndexed(const EntityDescription& entity, const std::string& name) {
  if (name == "identifier" || name == "begin" || name == "end") return true;
  for (const EntityDescription* e = &entity; e != nullptr; e = e->superentity()) {
    const auto& declared = e->indexedAttributes();
    if (std::find(declared.begin(), declared.end(), name) != declared.end()) return true;
  }
  return false;
}

void preorder(const EntityDescription* entity, std::vector<const EntityDescription*>& out) {
  out.push_back(entity);
  for (const auto* sub : entity->subentities()) preorder(sub, out);
}

// `entityName` and `property` name the owner in the error only: a model is built at every
// start of a program, so the text is not put together before it is needed.
int ensureColumn(TableLayout& table, const std::string& name, AttributeType type, bool indexed,
                 bool foreignKey, std::map<std::string, bool>& isForeignKey, std::string_view entityName,
                 std::string_view property) {
  auto it = table.columnByName.find(name);
  if (it != table.columnByName.end()) {
    if (isForeignKey[name] != foreignKey) {
      throw std::logic_error("ObjectModel: property " + std::string(entityName) + "." + std::string(property) +
                             " clashes with another column " + name);
    }
    table.columns[static_cast<std::size_t>(it->second)].indexed |= indexed;
    return it->second;
  }
  const int index = static_cast<int>(table.columns.size());
  table.columns.push_back(ColumnLayout{name, type, indexed});
  table.columnByName.emplace(name, index);
  isForeignKey[name] = foreignKey;
  return index;
}

}  // namespace

void ObjectModel::finalize() {
  if (finalized_) return;
  auto fail = [this](const std::string& what) { throw std::logic_error("ObjectModel " + name_ + ": " + what); };

  // Inheritance.
  for (auto& e : entities_) {
    if (!isIdentifier(e->name_)) fail("entity name '" + e->name_ + "' is not an identifier");
    if (e->parentName_.empty()) continue;
    auto* parent = const_cast<EntityDescription*>(entity(e->parentName_));
    if (parent == nullptr) fail("entity " + e->name_ + " has unknown parent " + e->parentName_);
    e->super_ = parent;
    parent->subs_.push_back(e.get());
  }
  for (auto& e : entities_) {
    std::set<const EntityDescription*> seen;
    for (const EntityDescription* p = e.get(); p != nullptr; p = p->super_) {
      if (!seen.insert(p).second) fail("entity " + e->name_ + " inherits from itself");
    }
  }
  // Properties: unique names along each inheritance chain, resolvable relationships.
  for (auto& e : entities_) {
    std::set<std::string_view> names;  // views of the entities' own property names
    for (const auto* a : e->allAttributes()) {
      if (!isIdentifier(a->name) || !names.insert(a->name).second) {
        fail("entity " + e->name_ + " has a bad or repeated property " + a->name);
      }
      if (a->type == AttributeType::transformable && a->valueTransformerName.empty()) {
        fail("attribute " + e->name_ + "." + a->name + " names no value transformer");
      }
    }
    for (const auto& indexed : e->indexed_) {
      if (e->attribute(indexed) == nullptr) fail("entity " + e->name_ + " indexes unknown attribute " + indexed);
    }
    for (const auto& properties : e->composite_) {
      if (properties.size() < 2) fail("entity " + e->name_ + " declares a composite index of fewer than two properties");
      for (const auto& name : properties) {
        const auto* relationship = e->relationship(name);
        if (e->attribute(name) == nullptr && (relationship == nullptr || relationship->toMany)) {
          fail("entity " + e->name_ + " indexes " + name + ", which is neither an attribute nor a to-one relationship");
        }
      }
    }
    if (!e->span_.first.empty()) {
      const auto* begin = e->attribute(e->span_.first);
      const auto* end = e->attribute(e->span_.second);
      if (e->super_ != nullptr || begin == nullptr || end == nullptr || begin->type != AttributeType::date ||
          end->type != AttributeType::date) {
        fail("entity " + e->name_ + " declares a span that is not two date attributes of a root entity");
      }
    }
    for (const auto& [attributeName, relationshipName] : e->sums_) {
      const auto* attribute = e->attribute(attributeName);
      const auto* relationship = e->relationship(relationshipName);
      const bool numeric = attribute != nullptr && (attribute->type == AttributeType::doubleType ||
                                                    attribute->type == AttributeType::integer16 ||
                                                    attribute->type == AttributeType::integer32 ||
                                                    attribute->type == AttributeType::integer64);
      if (!numeric || relationship == nullptr || relationship->toMany || e->super_ != nullptr ||
          !e->subs_.empty()) {
        fail("entity " + e->name_ + " maintains a sum that is not of a numeric attribute per to-one relationship " +
             "of a root entity without subentities");
      }
    }
    for (const auto* r : e->allRelationships()) {
      if (!isIdentifier(r->name) || !names.insert(r->name).second) {
        fail("entity " + e->name_ + " has a bad or repeated property " + r->name);
      }
    }
    for (const auto& r : e->relationships_) {
      const std::string where = e->name_ + "." + r.name;
      const EntityDescription* destination = entity(r.destinationEntity);
      if (destination == nullptr) fail("relationship " + where + " has unknown destination " + r.destinationEntity);
      const RelationshipDescription* inverse = destination->relationship(r.inverseName);
      if (inverse == nullptr) fail("relationship " + where + " has no inverse " + r.inverseName);
      const EntityDescription* back = entity(inverse->destinationEntity);
      if (back == nullptr || !e->isKindOf(*back) || inverse->inverseName != r.name) {
        fail("relationship " + where + " and its inverse " + r.inverseName + " do not point at each other");
      }
      if (r.toMany && inverse->toMany) fail("relationship " + where + ": many-to-many is not supported");
    }
  }

  // Layouts: slots and tables.
  std::vector<std::shared_ptr<EntityDescription::Layout>> layouts;
  std::map<const EntityDescription*, EntityDescription::Layout*> layoutOf;
  std::vector<std::shared_ptr<TableLayout>> tables;
  for (std::size_t i = 0; i < entities_.size(); ++i) {
    auto layout = std::make_shared<EntityDescription::Layout>();
    layout->model = this;
    layout->index = static_cast<int>(i);
    if (auto f = factories_.find(entities_[i]->name_); f != factories_.end()) layout->factory = &f->second;
    preorder(entities_[i].get(), layout->selfAndDescendants);
    layoutOf[entities_[i].get()] = layout.get();
    layouts.push_back(std::move(layout));
  }
  for (const auto& e : entities_) {
    if (e->super_ != nullptr) continue;
    auto table = std::make_shared<TableLayout>();
    table->name = storeName(e->name_);
    table->root = e.get();
    table->index = static_cast<int>(tables.size());
    if (!e->span_.first.empty()) table->span = {storeName(e->span_.first), storeName(e->span_.second)};
    std::map<std::string, bool> isForeignKey;
    for (const EntityDescription* member : layoutOf[e.get()]->selfAndDescendants) {
      auto& layout = *layoutOf[member];
      layout.table = table;
      for (const auto* a : member->allAttributes()) {
        PropertySlot slot;
        slot.name = a->name;
        slot.attribute = a;
        slot.column = ensureColumn(*table, storeName(a->name), a->type, isIndexed(*member, a->name),
                                   false, isForeignKey, member->name_, a->name);
        layout.slots.push_back(std::move(slot));
      }
      for (const auto* r : member->allRelationships()) {
        const EntityDescription* destination = entity(r->destinationEntity);
        if (r->toMany) continue;
        PropertySlot slot;
        slot.name = r->name;
        slot.relationship = r;
        slot.destination = destination;
        const std::string column = storeName(r->name);
        slot.column = ensureColumn(*table, column, AttributeType::integer64, true, true, isForeignKey,
                                   member->name_, r->name);
        if (!destination->subs_.empty()) {
          slot.entityColumn = ensureColumn(*table, column + "_ENT", AttributeType::integer32, false, true,
                                           isForeignKey, member->name_, r->name);
        }
        layout.slots.push_back(std::move(slot));
      }
    }
    for (const EntityDescription* member : layoutOf[e.get()]->selfAndDescendants) {
      for (const auto& properties : member->composite_) {
        std::vector<std::string> columns;
        for (const auto& name : properties) columns.push_back(storeName(name));
        table->compositeIndexes.push_back(std::move(columns));
      }
    }
    for (const auto& [attribute, relationship] : e->sums_) {
      const std::string key = storeName(relationship);
      const std::string value = storeName(attribute);
      table->sums.push_back({table->name + "_" + key + "_" + value + "_SUM", key, value});
    }
    table->selectRowsSql = "SELECT t0.Z_PK, t0.Z_ENT, t0.Z_OPT";
    for (const auto& column : table->columns) table->selectRowsSql += ", t0.\"" + column.name + "\"";
    table->selectRowsSql += " FROM \"" + table->name + "\" t0";
    table->rowByKeySql = table->selectRowsSql + " WHERE t0.Z_PK = ?";
    tables.push_back(std::move(table));
  }
  for (auto& layout : layouts) layout->indexSlots();
  for (const auto& e : entities_) {
    auto& layout = *layoutOf[e.get()];
    for (const auto* r : e->allRelationships()) {
      if (!r->toMany) continue;
      ToManySlot slot;
      slot.relationship = r;
      slot.destination = entity(r->destinationEntity);
      slot.inverseSlot = layoutOf[slot.destination]->slot(r->inverseName);
      layout.toManyByName.emplace(r->name, static_cast<int>(layout.toMany.size()));
      layout.toMany.push_back(slot);
    }
  }
  for (std::size_t i = 0; i < entities_.size(); ++i) entities_[i]->layout_ = layouts[i];
  schemaHash_ = schemaHash();
  finalized_ = true;
}

std::string ObjectModel::schemaHash() const {
  if (finalized_) return schemaHash_;
  // FNV-1a over a canonical description: stable across runs and platforms, unlike
  // std::hash, because it is written into store files.
  std::map<std::string, std::string> parts;
  for (const auto& e : entities_) {
    std::string text = "E" + e->name_ + "<" + e->parentName_ + (e->abstract_ ? "!" : "") + ";";
    for (const auto& a : e->attributes_) {
      text += "A" + a.name + ":" + std::to_string(static_cast<int>(a.type)) + (a.optional ? "?" : "") + ";";
    }
    for (const auto& r : e->relationships_) {
      text += "R" + r.name + ">" + r.destinationEntity + "/" + r.inverseName + (r.toMany ? "*" : "") + ";";
    }
    // Only a declared span adds to the text, so the hashes of models without one stay as
    // they were written into existing stores.
    if (!e->span_.first.empty()) text += "S" + e->span_.first + "-" + e->span_.second + ";";
    // The same for composite indexes: a store must be migrated to gain one.
    for (const auto& properties : e->composite_) {
      text += "I";
      for (const auto& name : properties) text += name + ",";
      text += ";";
    }
    // The same for maintained sums.
    for (const auto& [attribute, relationship] : e->sums_) text += "M" + attribute + "/" + relationship + ";";
    parts.emplace(e->name_, std::move(text));
  }
  std::uint64_t hash = 14695981039346656037ULL;
  for (const auto& [name, text] : parts) {
    for (const char c : text) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 1099511628211ULL;
    }
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string result(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) result[static_cast<std::size_t>(i)] = kHex[hash & 0xF];
  return result;
}

std::shared_ptr<ManagedObject> ObjectModel::instantiate(const EntityDescription& entity, bool blankValues) const {
  if (!finalized_) throw std::logic_error("ObjectModel " + name_ + ": finalize() the model before use");
  std::shared_ptr<ManagedObject> object;
  if (const ClassFactory* factory = entity.layout().factory) {
    object = (*factory)();
    if (!object) throw std::logic_error("ObjectModel " + name_ + ": the factory of " + entity.name() + " returned null");
  } else {
    object = std::make_shared<ManagedObject>();
  }
  auto& state = object->state();
  state.entity = &entity;
  state.layout = &entity.layout();
  // Made absent in place: copying one absent value into each slot goes through the
  // variant's copy for every slot of every object made.
  state.rawValues().clear();
  if (blankValues) state.rawValues().resize(state.layout->slots.size());
  return object;
}

}  // namespace chronelle
