#include "chronelle/model/RuleSet.h"

#include "chronelle/model/RuleBase.h"
#include "chronelle/model/Task.h"

namespace chronelle {
namespace {

constexpr const char* kStartTypeIndex = "startTypeIndex";
constexpr const char* kStartDelayIndex = "startDelayIndex";
constexpr const char* kPauseTypeIndex = "pauseTypeIndex";
constexpr const char* kPauseDelayIndex = "pauseDelayIndex";
constexpr const char* kRules = "rules";
constexpr const char* kTask = "task";
constexpr const char* kActive = "active";

std::int16_t readInt16(const ManagedObject& object, const char* key) {
  return static_cast<std::int16_t>(object.value(key).asInteger().value_or(0));
}

}  // namespace

std::int16_t RuleSet::startTypeIndex() const { return readInt16(*this, kStartTypeIndex); }
void RuleSet::setStartTypeIndex(std::int16_t index) { setValue(kStartTypeIndex, index); }
std::int16_t RuleSet::startDelayIndex() const { return readInt16(*this, kStartDelayIndex); }
void RuleSet::setStartDelayIndex(std::int16_t index) { setValue(kStartDelayIndex, index); }
std::int16_t RuleSet::pauseTypeIndex() const { return readInt16(*this, kPauseTypeIndex); }
void RuleSet::setPauseTypeIndex(std::int16_t index) { setValue(kPauseTypeIndex, index); }
std::int16_t RuleSet::pauseDelayIndex() const { return readInt16(*this, kPauseDelayIndex); }
void RuleSet::setPauseDelayIndex(std::int16_t index) { setValue(kPauseDelayIndex, index); }

std::vector<std::shared_ptr<RuleBase>> RuleSet::rules() const {
  std::vector<std::shared_ptr<RuleBase>> result;
  for (const auto& object : objects(kRules)) {
    if (auto rule = std::dynamic_pointer_cast<RuleBase>(object)) result.push_back(std::move(rule));
  }
  return result;
}
void RuleSet::addToRules(const std::shared_ptr<RuleBase>& rule) { addObject(kRules, rule); }
void RuleSet::removeFromRules(const std::shared_ptr<RuleBase>& rule) { removeObject(kRules, rule); }

std::shared_ptr<Task> RuleSet::task() const {
  return std::dynamic_pointer_cast<Task>(object(kTask));
}
void RuleSet::setTask(const std::shared_ptr<Task>& task) { setObject(kTask, task); }

bool RuleSet::active() const { return value(kActive).asBool().value_or(false); }
void RuleSet::setActive(bool active) { setValue(kActive, active); }

RuleSet::StartType RuleSet::startType() const {
  return startTypeIndex() == 0 ? StartType::notify : StartType::active;
}
void RuleSet::setStartType(StartType type) { setStartTypeIndex(type.rawValue()); }

RuleSet::PauseType RuleSet::pauseType() const {
  return PauseType::fromRaw(pauseTypeIndex()).value_or(PauseType::active);
}
void RuleSet::setPauseType(PauseType type) { setPauseTypeIndex(type.rawValue()); }

RuleSet::StartDelay RuleSet::startDelay() const {
  return StartDelay::fromRaw(startDelayIndex()).value_or(StartDelay::for10sec);
}
void RuleSet::setStartDelay(StartDelay delay) { setStartDelayIndex(delay.rawValue()); }

RuleSet::PauseDelay RuleSet::pauseDelay() const {
  return PauseDelay::fromRaw(pauseDelayIndex()).value_or(PauseDelay::for10sec);
}
void RuleSet::setPauseDelay(PauseDelay delay) { setPauseDelayIndex(delay.rawValue()); }

}  // namespace chronelle
