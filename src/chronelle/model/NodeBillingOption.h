#pragma once

#include <string>

namespace chronelle {

/// The billing choice of a node as offered to the user (`Node::BillingOption`): inherit the
/// parent's effective setting, which is carried along, or an own setting, billable or not.
/// A value type.
class NodeBillingOption {
 public:
  /// Where the billable flag comes from: the parent folder, or set on the node.
  enum class Kind { inherited, billable, nonBillable };

  /// The node follows its parent, whose effective setting is `isBillable`.
  ///@{
  static NodeBillingOption inherited(bool isBillable) { return {Kind::inherited, isBillable}; }
  static NodeBillingOption billable() { return {Kind::billable, true}; }
  static NodeBillingOption nonBillable() { return {Kind::nonBillable, false}; }
  ///@}

  /// Which of the three options this is.
  Kind kind() const { return kind_; }
  /// For `inherited`, the parent's effective setting; for the others, whether the option bills.
  bool isBillable() const { return isBillable_; }
  /// True for an own setting (`billable`, `nonBillable`), false for `inherited`.
  bool isBillableSet() const { return kind_ != Kind::inherited; }

  /// The localised text of the option, through the Localizer under "Billable (inherited)",
  /// "Non-Billable (inherited)", "Billable" or "Non-Billable".
  std::string description() const;
  /// The localisation key behind `description()`.
  const char* descriptionKey() const;

  /// Equal kinds, and for `inherited` equal flags.
  friend bool operator==(const NodeBillingOption& a, const NodeBillingOption& b) {
    return a.kind_ == b.kind_ && (a.kind_ != Kind::inherited || a.isBillable_ == b.isBillable_);
  }

 private:
  NodeBillingOption(Kind kind, bool isBillable) : kind_(kind), isBillable_(isBillable) {}
  Kind kind_;
  bool isBillable_;
};

}  // namespace chronelle
