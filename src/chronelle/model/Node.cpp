#include "chronelle/model/Node.h"

#include "chronelle/model/CurrentTimeEntrySource.h"
#include "chronelle/model/ExactTypeCast.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/store/ObjectModel.h"
#include "chronelle/store/StoreError.h"
#include "chronelle/support/ColorSetManager.h"
#include "chronelle/support/Injector.h"
#include "chronelle/support/UnicodeText.h"

namespace chronelle {
namespace {

constinit const PropertyKey kArchived{"archived"};
constinit const PropertyKey kColorId{"colorId"};
constinit const PropertyKey kConfirmedDuration{"confirmedDuration"};
constinit const PropertyKey kLastSessionBegin{"lastSessionBegin"};
constinit const PropertyKey kName{"name"};
constinit const PropertyKey kOrder{"order"};
constexpr const char* kChildren = "children";
constinit const PropertyKey kParent{"parent"};
constinit const PropertyKey kIsBillableSet{"isBillableSet"};
constinit const PropertyKey kIsBillable{"isBillable"};
constinit const PropertyKey kHourlyRateIsSet{"hourlyRateIsSet"};
constinit const PropertyKey kHourlyRate{"hourlyRate"};

constexpr const char* kHasRunningSession = "hasRunningSession";
constexpr const char* kEffectiveDuration = "effectiveDuration";

}  // namespace

std::string Node::entityName() const { return entity().name(); }

bool Node::archived() const { return attributeValue(kArchived).asBool().value_or(false); }
void Node::setArchived(bool archived) { setValue(kArchived, archived); }

std::int16_t Node::colorId() const {
  return static_cast<std::int16_t>(attributeValue(kColorId).asInteger().value_or(0));
}
void Node::setColorId(std::int16_t colorId) { setValue(kColorId, colorId); }

double Node::confirmedDuration() const {
  return attributeValue(kConfirmedDuration).asDouble().value_or(0.0);
}
void Node::setConfirmedDuration(double seconds) { setValue(kConfirmedDuration, seconds); }

std::optional<Date> Node::lastSessionBegin() const { return attributeValue(kLastSessionBegin).asDate(); }
void Node::setLastSessionBegin(std::optional<Date> date) {
  setValue(kLastSessionBegin, date ? Value(*date) : Value());
}

std::string Node::name() const { return attributeValue(kName).asString().value_or(std::string()); }
void Node::setName(std::string name) { setValue(kName, std::move(name)); }

std::int16_t Node::order() const {
  return static_cast<std::int16_t>(attributeValue(kOrder).asInteger().value_or(0));
}
void Node::setOrder(std::int16_t order) { setValue(kOrder, order); }

std::vector<std::shared_ptr<Node>> Node::children() const {
  std::vector<std::shared_ptr<Node>> result;
  for (const auto& object : objects(kChildren)) {
    if (auto node = std::dynamic_pointer_cast<Node>(object)) result.push_back(std::move(node));
  }
  return result;
}
void Node::addToChildren(const std::shared_ptr<Node>& child) { addObject(kChildren, child); }
void Node::removeFromChildren(const std::shared_ptr<Node>& child) {
  removeObject(kChildren, child);
}

Node* Node::fromObject(ManagedObject* object) { return exactTypeCast<Node, Folder, Task>(object); }

std::shared_ptr<Node> Node::parent() const {
  // Cast by moving the pointer: no second count of the owners up and down per call.
  auto object = this->object(kParent);
  if (fromObject(object.get()) == nullptr) return nullptr;
  return std::static_pointer_cast<Node>(std::move(object));
}
void Node::setParent(const std::shared_ptr<Node>& parent) { setObject(kParent, parent); }

bool Node::isBillableSet() const { return attributeValue(kIsBillableSet).asBool().value_or(false); }
void Node::setIsBillableSet(bool isSet) { setValue(kIsBillableSet, isSet); }
bool Node::isBillable() const { return attributeValue(kIsBillable).asBool().value_or(false); }
void Node::setIsBillable(bool isBillable) { setValue(kIsBillable, isBillable); }
bool Node::hourlyRateIsSet() const { return attributeValue(kHourlyRateIsSet).asBool().value_or(false); }
void Node::setHourlyRateIsSet(bool isSet) { setValue(kHourlyRateIsSet, isSet); }
double Node::hourlyRate() const { return attributeValue(kHourlyRate).asDouble().value_or(0.0); }
void Node::setHourlyRate(double rate) { setValue(kHourlyRate, rate); }

void Node::setHasRunningSession(bool running) {
  willChangeValue(kHasRunningSession);
  hasRunningSession_ = running;
  didChangeValue(kHasRunningSession);
}

std::string Node::nameOrId() const { return identifier().value_or("<no identifier>"); }

std::string Node::description() const {
  if (auto id = identifier()) return *id;
  return "<" + entityName() + " (no identifier)>";
}

ColorSetManager& Node::colorSetManager() const {
  if (!colorSetManager_) {
    colorSetManager_ = Injector::sharedSyncedContainer().resolve<ColorSetManager>();
  }
  return *colorSetManager_;
}

std::shared_ptr<CurrentTimeEntrySource> Node::timer() const {
  if (auto source = timer_.lock()) return source;
  auto source = CurrentTimeEntrySource::resolveRegistered();
  timer_ = source;
  return source;
}

ColorSet Node::colorSet() const {
  const auto id = ColorSet::idFromRaw(colorId()).value_or(ColorSet::ID::red);
  return colorSetManager().colorSet(id);
}

AppearanceColor Node::color() const { return colorSet().baseColor(); }

double Node::effectiveDuration() const {
  double duration = confirmedDuration();
  if (!hasRunningSession_) return duration;
  if (auto source = timer()) {
    if (auto running = source->currentTimeEntry()) duration += running->effectiveDuration();
  }
  return duration;
}

void Node::setHasRunningTimeEntry(bool running) {
  setHasRunningSession(running);
  if (auto p = parent(); p && p.get() != this) p->setHasRunningTimeEntry(running);
  updateEffectiveDuration();
}

void Node::updateEffectiveDuration() {
  willChangeValue(kEffectiveDuration);
  didChangeValue(kEffectiveDuration);
  if (auto p = parent(); p && p.get() != this) p->updateEffectiveDuration();
}

void Node::validateValue(std::string_view key, const Value& value) const {
  NSManagedObjectWithIdentifier::validateValue(key, value);
  if (key == kName) validateName(value);
}

void Node::validateName(const Value& value) const {
  const auto* text = value.getIf<std::string>();
  if (text && !trimmingWhitespaceAndNewlines(*text).empty()) return;
  auto self = std::const_pointer_cast<ManagedObject>(shared_from_this());
  throw StoreError(StoreError::kValidationMissingMandatoryProperty, "name is a required value.",
                   {{StoreError::kValidationObjectKey, self},
                    {StoreError::kValidationKeyKey, std::string(kName)}});
}

std::vector<std::string> Node::keysAffectedBy(std::string_view key) const {
  auto keys = NSManagedObjectWithIdentifier::keysAffectedBy(key);
  if (key == kColorId) {
    keys.insert(keys.end(), {"color", "colorSet"});
  } else if (key == kConfirmedDuration || key == kHasRunningSession) {
    keys.emplace_back(kEffectiveDuration);
  } else if (key == kChildren) {
    keys.emplace_back("childrenWithSameArchivedState");
  }
  return keys;
}

}  // namespace chronelle
