#pragma once

#include <utility>

#include "chronelle/reports/ReportScopeFields.h"

namespace chronelle {

/// The operations every report scope offers, written once for any scope type `Scope` that
/// derives from `ReportScopeProtocol<Scope>` (ReportScope3, NodeReportScope). Scopes are
/// plain values: each operation returns a changed copy and leaves the scope it was called on
/// as it was. Usable on any thread; reads `Clock::now()` where "now" is involved.
template <class Scope>
class ReportScopeProtocol : public ReportScopeFields {
 public:
  /// A non-custom scope moved to the period that holds `referenceDate`; a custom scope
  /// collapsed to that single instant (both custom bounds become it).
  Scope scopeByAdjusting(Date referenceDate) const {
    return changed([&](Scope& s) { s.adjustReferenceDate(referenceDate); });
  }
  /// The scope with another period kind, carrying the period over: between non-custom kinds
  /// the reference date stays; leaving `custom` the old start becomes the reference date;
  /// entering `custom` the shown period becomes the custom bounds, and a reference date
  /// outside it is dropped.
  Scope scopeByAdjusting(ReportScopeType type) const {
    return changed([&](Scope& s) { s.adjustType(type); });
  }
  /// A custom scope over `dateInterval` (through `scopeByAdjusting(custom)` first).
  Scope customScope(const DateInterval& dateInterval) const {
    return changed([&](Scope& s) { s.adjustToCustom(dateInterval); });
  }
  /// The scope with another calendar.
  Scope scopeByAdjusting(const Calendar& calendar) const {
    return changed([&](Scope& s) { s.calendar = calendar; });
  }
  /// The adjacent period after this one. Custom periods keep their length and share their
  /// boundary instant with the next one.
  Scope nextScope() const {
    return changed([](Scope& s) { s.stepForward(); });
  }
  /// The adjacent period before this one.
  Scope previousScope() const {
    return changed([](Scope& s) { s.stepBackward(); });
  }
  /// The period of the same kind that holds now. A custom scope moves by whole multiples of
  /// its length (on the grid of its period); one that holds now already, or that has no
  /// length, is returned unchanged.
  Scope scopeForToday() const {
    return changed([](Scope& s) { s.moveToToday(); });
  }
  /// The scope restricted to active or archived tasks.
  Scope scopeByAdjusting(SessionQuery3::ArchiveFilterOption archiveFilter) const {
    return changed([&](Scope& s) { s.archiveFilter = archiveFilter; });
  }
  /// The scope restricted to `billingStatus`; an empty set means every status (absent).
  Scope scopeByAdjusting(const BillingStatusSet& billingStatus) const {
    return changed([&](Scope& s) {
      if (billingStatus.empty()) {
        s.billingStatus.reset();
      } else {
        s.billingStatus = billingStatus;
      }
    });
  }
  /// The current statuses (absent counts as none) plus `billingStatus`.
  Scope scopeByAdding(SessionQuery3::BillingStatusOption billingStatus) const {
    return changed([&](Scope& s) {
      BillingStatusSet statuses = s.billingStatus.value_or(BillingStatusSet{});
      statuses.insert(billingStatus);
      s.billingStatus = std::move(statuses);
    });
  }
  /// The current statuses (absent counts as none) minus `billingStatus`; stays a set, even an
  /// empty one (no entry matches then).
  Scope scopeByRemoving(SessionQuery3::BillingStatusOption billingStatus) const {
    return changed([&](Scope& s) {
      BillingStatusSet statuses = s.billingStatus.value_or(BillingStatusSet{});
      statuses.erase(billingStatus);
      s.billingStatus = std::move(statuses);
    });
  }
  /// The scope without billing filter.
  Scope scopeWithAllBillingStatuses() const {
    return changed([](Scope& s) { s.billingStatus.reset(); });
  }

 protected:
  /// A daily scope of today in `calendar`, without filters.
  explicit ReportScopeProtocol(Calendar calendar) : ReportScopeFields(std::move(calendar)) {}

  /// A copy of this scope with `change` applied.
  template <class Change>
  Scope changed(Change&& change) const {
    Scope copy = static_cast<const Scope&>(*this);
    std::forward<Change>(change)(copy);
    return copy;
  }
};

}  // namespace chronelle
