#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace chronelle {

/// Records the inverse of every change as an action and replays them group by group.
///
/// Groups: actions registered between `beginUndoGrouping` and the matching
/// `endUndoGrouping` form one undo step; nested groups fold into the outermost one. An
/// action registered while no group is open opens an implicit group that closes at the end
/// of the running main-queue task (MainQueue::deferUntilEndOfTask), so the changes of one
/// task are one step. Empty groups are not kept.
///
/// `undo()` replays the newest step's actions in reverse order; the inverses they register
/// form the matching redo step (and `redo()` the other way round). A registration outside
/// undo and redo clears the redo steps. After each undo or redo, "did undo" / "did redo" is
/// posted on the default NotificationCenter with this manager as sender.
///
/// Registration can be switched off; the switches nest, and every disable needs its
/// enable.
///
/// Not thread-safe: use it on the queue of the context it belongs to (the main queue for
/// the view context). Actions are owned by the manager.
class UndoManager {
 public:
  /// Posted after an undo, and after a redo; the object is the undo manager.
  ///@{
  static constexpr const char* kDidUndoChangeNotification = "NSUndoManagerDidUndoChangeNotification";
  static constexpr const char* kDidRedoChangeNotification = "NSUndoManagerDidRedoChangeNotification";
  ///@}

  UndoManager() = default;
  ~UndoManager() = default;
  UndoManager(const UndoManager&) = delete;
  UndoManager& operator=(const UndoManager&) = delete;

  /// Opens a group (nested inside an open one).
  void beginUndoGrouping();
  /// Closes the innermost group; closing the outermost one keeps it as one step unless it
  /// is empty. Throws std::logic_error when no group is open.
  void endUndoGrouping();
  /// Number of open groups (an open implicit group counts).
  int groupingLevel() const { return static_cast<int>(open_.size()); }

  /// Switches registration off; nests.
  void disableUndoRegistration() { ++disabled_; }
  /// Undoes one `disableUndoRegistration`. Throws std::logic_error when registration is
  /// not disabled (an enable without its disable is a programming error).
  void enableUndoRegistration();
  /// False while a `disableUndoRegistration` is not matched by its enable.
  bool isUndoRegistrationEnabled() const { return disabled_ == 0; }

  /// Records `action` as the inverse of a change just made, in the open group (opening an
  /// implicit one when none is). Ignored while registration is disabled.
  void registerUndo(std::function<void()> action);

  /// True when there is a step to undo (the open implicit group's actions count).
  ///@{
  bool canUndo() const;
  bool canRedo() const { return !redoStack_.empty(); }
  bool isUndoing() const { return undoing_; }
  bool isRedoing() const { return redoing_; }
  ///@}

  /// Closes an open implicit group, then replays the newest undo step and posts "did undo".
  /// Nothing happens when there is no step. Throws std::logic_error when an explicit group
  /// is open; an exception from an action propagates (the step is gone, the inverses
  /// registered so far form a redo step).
  void undo();
  /// Replays the newest redo step and posts "did redo"; nothing when there is none. Throws
  /// like `undo()`.
  void redo();

  /// Forgets every step and the actions of open groups (the groups stay open).
  void removeAllActions();

 private:
  using Group = std::vector<std::function<void()>>;
  void closeImplicitGroupIfOpen();
  void replay(std::vector<Group>& from, bool undoing, const char* notification);

  std::vector<Group> undoStack_;
  std::vector<Group> redoStack_;
  std::vector<Group> open_;
  /// The outermost open group was opened by a registration, not by beginUndoGrouping; the
  /// serial number tells its end-of-task hook whether it is still the same group.
  bool implicitOpen_ = false;
  std::uint64_t implicitSerial_ = 0;
  int disabled_ = 0;
  bool undoing_ = false;
  bool redoing_ = false;
  /// Expires with the manager, so a deferred close of a destroyed manager does nothing.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace chronelle
