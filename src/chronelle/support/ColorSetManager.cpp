#include "chronelle/support/ColorSetManager.h"

#include <algorithm>
#include <utility>

namespace chronelle {

using ID = ColorSet::ID;

ColorSetManager::ColorSetManager(std::shared_ptr<UserDefaults> defaults)
    : defaults_(defaults ? std::move(defaults) : UserDefaults::standard()),
      initiationSorting_{ID::cyan,     ID::blue,      ID::violett,   ID::green2,
                         ID::pink,     ID::orange,    ID::lightViolett, ID::lightGreen,
                         ID::teal,     ID::green,     ID::red,       ID::indigo,
                         ID::yellow,   ID::lightRed,  ID::lightBlue, ID::lightPink,
                         ID::brown,    ID::lightIndigo} {
  for (const ID id : {ID::violett, ID::pink, ID::red, ID::orange, ID::yellow, ID::green,
                      ID::teal, ID::blue, ID::indigo, ID::lightViolett, ID::lightPink,
                      ID::lightRed, ID::brown, ID::green2, ID::lightGreen, ID::cyan,
                      ID::lightBlue, ID::lightIndigo}) {
    colorSets_.emplace_back(id);
  }
}

const ColorSet& ColorSetManager::defaultColorSet() {
  static const ColorSet set(ID::gray);
  return set;
}

const ColorSet& ColorSetManager::colorSet(ColorSet::ID id) const {
  const auto found = std::find_if(colorSets_.begin(), colorSets_.end(),
                                  [id](const ColorSet& set) { return set.id() == id; });
  return found != colorSets_.end() ? *found : ColorSet::defaultSet();
}

const ColorSet& ColorSetManager::colorSet(std::ptrdiff_t index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= colorSets_.size()) {
    return defaultColorSet();
  }
  return colorSets_[static_cast<std::size_t>(index)];
}

std::size_t ColorSetManager::index(ColorSet::ID id) const {
  const auto found = std::find_if(colorSets_.begin(), colorSets_.end(),
                                  [id](const ColorSet& set) { return set.id() == id; });
  return found != colorSets_.end() ? static_cast<std::size_t>(found - colorSets_.begin()) : 0;
}

std::vector<AppearanceColor> ColorSetManager::allBaseColors() const {
  std::vector<AppearanceColor> colors;
  colors.reserve(colorSets_.size());
  for (const ColorSet& set : colorSets_) colors.push_back(set.baseColor());
  return colors;
}

std::int64_t ColorSetManager::loadedCounterLocked() {
  if (!counter_) counter_ = defaults_->integer(kInitiationCounterKey);
  return *counter_;
}

std::int64_t ColorSetManager::initiationCounter() {
  std::lock_guard lock(mutex_);
  return loadedCounterLocked();
}

ColorSet ColorSetManager::nextColorSet() {
  std::lock_guard lock(mutex_);
  const auto size = static_cast<std::int64_t>(initiationSorting_.size());
  const std::int64_t position = ((loadedCounterLocked() % size) + size) % size;
  const ColorSet result = colorSet(initiationSorting_[static_cast<std::size_t>(position)]);
  counter_ = (position + 1) % size;
  defaults_->setInteger(kInitiationCounterKey, *counter_);
  defaults_->synchronize();
  return result;
}

}  // namespace chronelle
