#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "chronelle/platform/Color.h"
#include "chronelle/platform/UserDefaults.h"
#include "chronelle/support/ColorSet.h"

namespace chronelle {

/// The selectable palette of eighteen colour sets and the rotation that hands a colour to each
/// new folder or task. The rotation's position survives restarts in the user defaults under
/// "CHColorSetManager.initiationCounter". The application registers one instance in the
/// container. Thread-safe: the counter is guarded by a mutex.
class ColorSetManager {
 public:
  /// The user-defaults key of the rotation's position.
  static constexpr const char* kInitiationCounterKey = "CHColorSetManager.initiationCounter";

  /// `defaults` is shared with the rest of the application, which owns the same store; it is
  /// not read until the rotation is first used. Passing null uses `UserDefaults::standard()`.
  explicit ColorSetManager(std::shared_ptr<UserDefaults> defaults = nullptr);

  /// The set of `gray`, built once on first use; what every lookup that finds nothing returns.
  static const ColorSet& defaultColorSet();

  /// The palette in display order: neither `white` nor `gray` is in it.
  const std::vector<ColorSet>& colorSets() const { return colorSets_; }
  /// The order in which new nodes receive colours.
  const std::vector<ColorSet::ID>& initiationSorting() const { return initiationSorting_; }

  /// The palette entry of `id`, or `defaultColorSet()` when `id` is not in the palette (as for
  /// `white` and `gray`).
  const ColorSet& colorSet(ColorSet::ID id) const;
  /// The palette entry at zero-based `index`; `defaultColorSet()` at or past the end (and, as a
  /// guard, for a negative index).
  const ColorSet& colorSet(std::ptrdiff_t index) const;
  /// The position of `id` in the palette, or 0 when it is not in it.
  std::size_t index(ColorSet::ID id) const;
  /// `baseColor` of every palette entry, in palette order.
  std::vector<AppearanceColor> allBaseColors() const;

  /// The set for the next new node: the entry of `initiationSorting` at the stored position.
  /// Advances the position (wrapping after the last entry), stores it and flushes the defaults
  /// to disk at once, so the rotation continues after a restart. A stored position outside
  /// the palette (only possible when the file was edited) is taken modulo its size.
  ColorSet nextColorSet();

  /// The current position of the rotation, read from the defaults on first use (absent key: 0).
  std::int64_t initiationCounter();

 private:
  std::int64_t loadedCounterLocked();

  std::shared_ptr<UserDefaults> defaults_;
  std::vector<ColorSet> colorSets_;
  std::vector<ColorSet::ID> initiationSorting_;
  std::mutex mutex_;                                ///< guards counter_
  std::optional<std::int64_t> counter_;             ///< cached after the first read
};

}  // namespace chronelle
