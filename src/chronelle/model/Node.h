#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chronelle/model/NSManagedObjectWithIdentifier.h"
#include "chronelle/model/NodeBillingOption.h"
#include "chronelle/model/NodeCollectionType.h"
#include "chronelle/model/NodeSet.h"
#include "chronelle/platform/Date.h"
#include "chronelle/store/FetchRequest.h"
#include "chronelle/support/AppearanceColor.h"
#include "chronelle/support/ColorSet.h"

namespace chronelle {

class ColorSetManager;
class CurrentTimeEntrySource;

/// The common stored base of folders and tasks: one node of the user's work tree, with its
/// name, palette colour, manual order, archiving, billing settings (inherited down the tree
/// unless set on the node) and the confirmed duration of all time booked below it.
///
/// `Node` is an abstract entity: every stored node is a Folder or a Task. Fetch requests for
/// "Node" return both. Objects live in one context and are used on its queue (for the view
/// context, the main thread); the walks up and down the tree run synchronously there.
class Node : public NSManagedObjectWithIdentifier {
 public:
  /// Billable, not billable or inherited (see NodeBillingOption.h).
  using BillingOption = NodeBillingOption;
  /// Which nodes a tree listing takes (see NodeCollectionType.h).
  using CollectionType = NodeCollectionType;

  /// The entity's name in the object model.
  static constexpr const char* kEntityName = "Node";
  /// A fetch request for every node, folders and tasks.
  static FetchRequest fetchRequest() { return FetchRequest(kEntityName); }
  /// `object` as a Node, or null when it is none (exactTypeCast: folders and tasks by their
  /// exact type).
  static Node* fromObject(ManagedObject* object);
  /// The name of the object's own entity, "Folder" or "Task".
  std::string entityName() const;

  /// \name Stored attributes and relationships
  ///@{
  bool archived() const;
  void setArchived(bool archived);
  /// Raw value of a palette colour ID.
  std::int16_t colorId() const;
  void setColorId(std::int16_t colorId);
  /// Seconds of all finished time entries below the node, kept by the write side.
  double confirmedDuration() const;
  void setConfirmedDuration(double seconds);
  /// When a time entry was last started on the node; absent when never.
  std::optional<Date> lastSessionBegin() const;
  void setLastSessionBegin(std::optional<Date> date);
  /// The display name; empty when none was set yet (a save then fails validation).
  std::string name() const;
  void setName(std::string name);
  /// Position among the siblings, ascending.
  std::int16_t order() const;
  void setOrder(std::int16_t order);
  /// The direct children in store order (saved ones first); only folders have children.
  std::vector<std::shared_ptr<Node>> children() const;
  void addToChildren(const std::shared_ptr<Node>& child);
  void removeFromChildren(const std::shared_ptr<Node>& child);
  /// The containing folder; null for a top-level node.
  std::shared_ptr<Node> parent() const;
  void setParent(const std::shared_ptr<Node>& parent);
  bool isBillableSet() const;
  void setIsBillableSet(bool isSet);
  bool isBillable() const;
  void setIsBillable(bool isBillable);
  bool hourlyRateIsSet() const;
  void setHourlyRateIsSet(bool isSet);
  double hourlyRate() const;
  void setHourlyRate(double rate);
  ///@}

  /// \name Values kept in memory only
  ///@{

  /// True while a running time entry is booked on this node or below it. Observable under
  /// "hasRunningSession"; false on every load.
  bool hasRunningSession() const { return hasRunningSession_; }
  /// Sets the flag on this node only and tells its observers (the write side's way to mark a
  /// chain; see `setHasRunningTimeEntry` for the timer's).
  void setHasRunningSession(bool running);
  ///@}

  /// \name Derived values
  ///@{

  /// The identifier, or "<no identifier>".
  std::string nameOrId() const;
  /// The identifier, or "<Folder (no identifier)>" / "<Task (no identifier)>".
  std::string description() const;
  /// The palette entry of `colorId`; an unknown raw value gives the entry of `red`. The palette
  /// is the ColorSetManager of the shared container, which must be registered.
  ColorSet colorSet() const;
  /// The base colour of `colorSet()`. Observable under "color" (told when `colorId` changes).
  AppearanceColor color() const;
  /// `confirmedDuration`, plus the running entry's effective duration while this node has a
  /// running session and the timer (see `timer()`) runs one. Observable under
  /// "effectiveDuration".
  double effectiveDuration() const;
  /// The own hourly rate when set, else the parent's effective rate; 0 at the top.
  double effectiveHourlyRate() const;
  /// The own billable flag when set, else the parent's effective flag; false at the top.
  bool effectiveIsBillable() const;
  /// `inherited` (with the parent's effective flag) for a child without an own setting;
  /// otherwise `billable` or `nonBillable` by `isBillable`, for top-level nodes whatever
  /// `isBillableSet` says.
  BillingOption billingOption() const;
  /// The three choices offered for the node: inherited (the parent's effective flag, false at
  /// the top), billable, non-billable.
  std::vector<BillingOption> billingCases() const;

  /// The parent's key (empty at the top), ":", and this node's ObjectID URI; computed once and
  /// cached, so sorting by it lists every subtree right after its root.
  std::string hierarchyKey() const;
  /// Empties this node's cached key only (children keep theirs until emptied too).
  void updateHierarchyKey();

  /// Sets `hasRunningSession` on this node and, recursively, on every ancestor, then announces
  /// a change of the effective durations up the chain.
  void setHasRunningTimeEntry(bool running);
  /// Announces a change of "effectiveDuration" on this node (will, then did), then on the
  /// parent, up to the top.
  void updateEffectiveDuration();

  /// The children sorted by `order` ascending; equal orders keep store order.
  std::vector<std::shared_ptr<Node>> childrenArray() const;
  /// The tasks, and the folders with at least one child, sorted by `order` (stable).
  std::vector<std::shared_ptr<Node>> notEmptyChildren() const;
  /// The children whose `archived` equals this node's; absent when the children are not loaded
  /// (a fault). Observable under "childrenWithSameArchivedState" (told when `children` changes).
  std::optional<NodeSet> childrenWithSameArchivedState() const;
  /// "true" or "false".
  std::string isArchivedString() const;

  /// The ancestors, nearest first. A parent with this node's own ObjectID ends the walk (as
  /// does any node met twice), so a broken chain never loops.
  std::vector<std::shared_ptr<Node>> allParents() const;
  /// True when some ancestor has the ObjectID of `ofNode`; a node is not its own child.
  bool isChild(const Node& ofNode) const;
  /// True when this node's ObjectID is among those of `of.allParents()`.
  bool isParent(const Node& of) const;

  /// Runs the store's own checks for `key`, then, for "name", `validateName`. Throws
  /// StoreError.
  void validateValue(std::string_view key, const Value& value) const override;
  /// Accepts a string with at least one character left after trimming whitespace and line
  /// breaks at both ends. Otherwise throws StoreError 1570 (missing mandatory property) with
  /// this node under StoreError::kValidationObjectKey and "name" under kValidationKeyKey.
  void validateName(const Value& value) const;

  /// True when every node of `nodes` is a T (a Folder, a Task); true for an empty range.
  template <class T, class Range>
  static bool listContainsOnly(const Range& nodes) {
    for (const auto& node : nodes) {
      if (!node || dynamic_cast<const T*>(&*node) == nullptr) return false;
    }
    return true;
  }
  /// Classifies `nodes` (any range of node pointers): `mixed` with tasks and folders, else
  /// `folders`/`folder` by the folder count, else `tasks`/`task`, else `none`.
  template <class Range>
  static CollectionType nodeTypesIn(const Range& nodes) {
    std::size_t tasks = 0, folders = 0;
    for (const auto& node : nodes) countKind(node ? &*node : nullptr, tasks, folders);
    return classify(tasks, folders);
  }

  std::vector<std::string> keysAffectedBy(std::string_view key) const override;
  ///@}

 protected:
  /// The palette, resolved from the shared container on first use and kept.
  ColorSetManager& colorSetManager() const;
  /// The running-entry source (see CurrentTimeEntrySource::resolveRegistered), resolved on
  /// first use and then followed weakly (the timer holds entries that lead back to nodes);
  /// null only when the application registered none on purpose, in which case the container
  /// is asked again next time. Aborts when nothing that provides it was registered.
  std::shared_ptr<CurrentTimeEntrySource> timer() const;

 private:
  static void countKind(const Node* node, std::size_t& tasks, std::size_t& folders);
  static CollectionType classify(std::size_t tasks, std::size_t folders);

  bool hasRunningSession_ = false;
  mutable std::optional<std::string> hierarchyKeyCache_;
  mutable std::shared_ptr<ColorSetManager> colorSetManager_;
  mutable std::weak_ptr<CurrentTimeEntrySource> timer_;
};

}  // namespace chronelle
