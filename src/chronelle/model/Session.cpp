#include "chronelle/model/Session.h"

#include "chronelle/model/ExactTypeCast.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Task.h"

namespace chronelle {
namespace {

constinit const PropertyKey kAutotracked{"autotracked"};
constinit const PropertyKey kBegin{"begin"};
constinit const PropertyKey kConfirmedDuration{"confirmedDuration"};
constinit const PropertyKey kConfirmedRevenue{"confirmedRevenue"};
constinit const PropertyKey kEnd{"end"};
constinit const PropertyKey kNotes{"notes"};
constinit const PropertyKey kOriginalEnd{"originalEnd"};
constinit const PropertyKey kRoundingMethod{"roundingMethod"};
constinit const PropertyKey kRoundingTo{"roundingTo"};
constinit const PropertyKey kHourlyRate{"hourlyRate"};
constinit const PropertyKey kTask{"task"};
constinit const PropertyKey kBillingStatusValue{"billingStatusValue"};
constinit const PropertyKey kIsBillable{"isBillable"};

Value optionalDate(std::optional<Date> date) { return date ? Value(*date) : Value(); }

}  // namespace

bool Session::autotracked() const { return attributeValue(kAutotracked).asBool().value_or(false); }
void Session::setAutotracked(bool autotracked) { setValue(kAutotracked, autotracked); }

std::optional<Date> Session::begin() const { return attributeValue(kBegin).asDate(); }
void Session::setBegin(Date begin) { setValue(kBegin, begin); }

double Session::confirmedDuration() const {
  return attributeValue(kConfirmedDuration).asDouble().value_or(0.0);
}
void Session::setConfirmedDuration(double seconds) { setValue(kConfirmedDuration, seconds); }

double Session::confirmedRevenue() const {
  return attributeValue(kConfirmedRevenue).asDouble().value_or(0.0);
}
void Session::setConfirmedRevenue(double revenue) { setValue(kConfirmedRevenue, revenue); }

std::optional<Date> Session::end() const { return attributeValue(kEnd).asDate(); }
void Session::setEnd(std::optional<Date> end) { setValue(kEnd, optionalDate(end)); }

std::optional<std::string> Session::notes() const { return attributeValue(kNotes).asString(); }
void Session::setNotes(std::optional<std::string> notes) {
  setValue(kNotes, notes ? Value(std::move(*notes)) : Value());
}

std::optional<Date> Session::originalEnd() const { return attributeValue(kOriginalEnd).asDate(); }
void Session::setOriginalEnd(std::optional<Date> originalEnd) {
  setValue(kOriginalEnd, optionalDate(originalEnd));
}

std::int16_t Session::roundingMethod() const {
  return static_cast<std::int16_t>(attributeValue(kRoundingMethod).asInteger().value_or(0));
}
void Session::setRoundingMethod(std::int16_t rawValue) { setValue(kRoundingMethod, rawValue); }

std::int16_t Session::roundingTo() const {
  return static_cast<std::int16_t>(attributeValue(kRoundingTo).asInteger().value_or(0));
}
void Session::setRoundingTo(std::int16_t seconds) { setValue(kRoundingTo, seconds); }

double Session::hourlyRate() const { return attributeValue(kHourlyRate).asDouble().value_or(0.0); }
void Session::setHourlyRate(double rate) { setValue(kHourlyRate, rate); }

std::shared_ptr<Task> Session::task() const {
  // Every list row asks for its task: cast by moving the pointer, without a second count of
  // its owners up and down.
  auto object = this->object(kTask);
  if (exactTypeCast<Task, Task>(object.get()) == nullptr) return nullptr;
  return std::static_pointer_cast<Task>(std::move(object));
}
void Session::setTask(const std::shared_ptr<Task>& task) { setObject(kTask, task); }

std::int16_t Session::billingStatusValue() const {
  return static_cast<std::int16_t>(attributeValue(kBillingStatusValue).asInteger().value_or(0));
}
void Session::setBillingStatusValue(std::int16_t rawValue) {
  setValue(kBillingStatusValue, rawValue);
}

bool Session::isBillable() const { return attributeValue(kIsBillable).asBool().value_or(false); }
void Session::setIsBillable(bool isBillable) { setValue(kIsBillable, isBillable); }

void Session::setIsRunning(bool running) {
  willChangeValue("isRunning");
  isRunning_ = running;
  didChangeValue("isRunning");
}

void Session::setIsStartedByLocalATMonitor(bool started) {
  willChangeValue("isStartedByLocalATMonitor");
  isStartedByLocalATMonitor_ = started;
  didChangeValue("isStartedByLocalATMonitor");
}

std::shared_ptr<Folder> Session::folder() const {
  auto t = task();
  return t ? std::dynamic_pointer_cast<Folder>(t->parent()) : nullptr;
}

BillingStatus Session::billingStatus() const {
  switch (billingStatusValue()) {
    case BillingStatus::billed:
      return BillingStatus::billed;
    case BillingStatus::paid:
      return BillingStatus::paid;
    default:
      return BillingStatus::unbilled;
  }
}

std::optional<double> Session::effectiveHourlyRate() const {
  if (!isBillable()) return std::nullopt;
  return hourlyRate();
}

bool Session::isEndPersisted() const { return changedValues().count(std::string(kEnd.name())) == 0; }

std::string Session::description() const {
  return identifier().value_or("<Session (no identifier)>");
}

void Session::updateEffectiveDuration() {
  willChangeValue("effectiveDuration");
  didChangeValue("effectiveDuration");
  if (auto t = task()) t->updateEffectiveDuration();
}

std::vector<std::string> Session::keysAffectedBy(std::string_view key) const {
  auto keys = NSManagedObjectWithIdentifier::keysAffectedBy(key);
  if (key == kConfirmedDuration || key == kBegin || key == kEnd) {
    keys.insert(keys.end(), {"effectiveDuration", "effectiveRevenue"});
  } else if (key == "effectiveDuration") {
    keys.emplace_back("effectiveRevenue");
  } else if (key == kTask) {
    keys.emplace_back(kIsBillable);
  } else if (key == kBillingStatusValue) {
    keys.emplace_back("billingStatus");
  }
  return keys;
}

}  // namespace chronelle
