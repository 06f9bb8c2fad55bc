#pragma once

#include <optional>
#include <string>

#include "chronelle/model/ValueDictionary.h"
#include "chronelle/platform/Date.h"
#include "chronelle/platform/DateInterval.h"
#include "chronelle/store/FetchRequest.h"
#include "chronelle/store/ManagedObject.h"

namespace chronelle {

/// One activity-log entry: an application the user worked in, from `begin` to `end` (running
/// while it has a begin and no end). Browser and document entries add the page or document.
/// The application creates and reads entries; the library stores them, compares them and
/// converts them to and from plain dictionaries. Not an NSManagedObjectWithIdentifier: entries
/// have no string identity. Used on its context's queue only.
class ALEntry : public ManagedObject {
 public:
  /// The entity's name in the object model.
  static constexpr const char* kEntityName = "ALEntry";
  /// A fetch request for every entry, browser and document entries included.
  static FetchRequest fetchRequest() { return FetchRequest(kEntityName); }

  /// \name Stored attributes
  ///@{
  std::optional<Date> begin() const;
  void setBegin(std::optional<Date> begin);
  std::optional<Date> end() const;
  void setEnd(std::optional<Date> end);
  /// The application's bundle identifier.
  std::optional<std::string> bundleId() const;
  void setBundleId(std::optional<std::string> bundleId);
  /// The window title.
  std::optional<std::string> title() const;
  void setTitle(std::optional<std::string> title);
  ///@}

  /// \name Derived values
  ///@{

  /// True when the title is present and not empty.
  bool hasTitle() const;
  /// `begin`, or now when absent.
  Date effectiveBegin() const;
  /// `end`, or now when absent.
  Date effectiveEnd() const;
  /// Seconds from the effective begin to the effective end (ChronelleDateUtils).
  double effectiveDuration() const;
  /// From the effective begin to the later of the effective begin and end; never negative.
  DateInterval dateInterval() const;
  /// True with a begin and without an end.
  bool isRunning() const;

  /// Whether the two entries record the same activity: equal bundle identifiers (two absent
  /// ones are equal). Subclasses also require the same kind of entry and page or document.
  virtual bool isSimilar(const ALEntry& other) const;
  /// "begin", "end" (instants), "bundleId", "title" (strings), each only when present.
  /// Subclasses add "type" and their URL.
  virtual ValueDictionary toDictionary() const;
  /// Takes "begin"/"end" when they hold instants and "bundleId"/"title" when they hold strings;
  /// a missing key or a value of another type leaves the attribute as it was, so an empty
  /// dictionary changes nothing. "type" is not read: the caller picks the entity by it.
  virtual void populate(const ValueDictionary& dictionary);
  ///@}
};

}  // namespace chronelle
