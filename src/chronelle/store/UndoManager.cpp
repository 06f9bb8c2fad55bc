#include "chronelle/store/UndoManager.h"

#include <memory>
#include <stdexcept>
#include <utility>

#include "chronelle/platform/MainQueue.h"
#include "chronelle/platform/NotificationCenter.h"

namespace chronelle {

void UndoManager::beginUndoGrouping() { open_.emplace_back(); }

void UndoManager::endUndoGrouping() {
  if (open_.empty()) throw std::logic_error("endUndoGrouping without an open undo group");
  Group group = std::move(open_.back());
  open_.pop_back();
  if (!open_.empty()) {
    auto& outer = open_.back();
    outer.insert(outer.end(), std::make_move_iterator(group.begin()), std::make_move_iterator(group.end()));
    return;
  }
  implicitOpen_ = false;
  if (group.empty()) return;
  // While undoing, the inverses are the redo step; otherwise (redoing included) an undo step.
  (undoing_ ? redoStack_ : undoStack_).push_back(std::move(group));
}

void UndoManager::enableUndoRegistration() {
  if (disabled_ == 0) throw std::logic_error("enableUndoRegistration without a matching disableUndoRegistration");
  --disabled_;
}

void UndoManager::registerUndo(std::function<void()> action) {
  if (disabled_ > 0 || !action) return;
  if (!undoing_ && !redoing_) redoStack_.clear();
  if (open_.empty()) {
    beginUndoGrouping();
    implicitOpen_ = true;
    const std::uint64_t serial = ++implicitSerial_;
    // The close is deferred twice: hooks that the same task registered later (the
    // context's processing of pending changes, whose delete rules register more inverses)
    // run before it, so their inverses land in this group too.
    std::weak_ptr<int> alive = alive_;
    MainQueue::shared().deferUntilEndOfTask([this, serial, alive] {
      MainQueue::shared().deferUntilEndOfTask([this, serial, alive] {
        if (alive.expired()) return;
        if (implicitOpen_ && implicitSerial_ == serial && open_.size() == 1) endUndoGrouping();
      });
    });
  }
  open_.back().push_back(std::move(action));
}

bool UndoManager::canUndo() const {
  if (!undoStack_.empty()) return true;
  return implicitOpen_ && open_.size() == 1 && !open_.front().empty();
}

void UndoManager::closeImplicitGroupIfOpen() {
  if (implicitOpen_ && open_.size() == 1) endUndoGrouping();
  if (!open_.empty()) throw std::logic_error("undo or redo while an undo group is open");
}

void UndoManager::undo() {
  closeImplicitGroupIfOpen();
  replay(undoStack_, true, kDidUndoChangeNotification);
}

void UndoManager::redo() {
  closeImplicitGroupIfOpen();
  replay(redoStack_, false, kDidRedoChangeNotification);
}

void UndoManager::replay(std::vector<Group>& from, bool undoing, const char* notification) {
  if (from.empty()) return;
  Group step = std::move(from.back());
  from.pop_back();
  bool& flag = undoing ? undoing_ : redoing_;
  {
    // The inverses registered by the actions form one group, also when an action throws.
    struct Replaying {
      UndoManager& manager;
      bool& flag;
      ~Replaying() {
        manager.endUndoGrouping();
        flag = false;
      }
    } replaying{*this, flag};
    flag = true;
    beginUndoGrouping();
    for (auto it = step.rbegin(); it != step.rend(); ++it) (*it)();
  }
  NotificationCenter::defaultCenter().post(notification, this);
}

void UndoManager::removeAllActions() {
  undoStack_.clear();
  redoStack_.clear();
  for (auto& group : open_) group.clear();
}

}  // namespace chronelle
