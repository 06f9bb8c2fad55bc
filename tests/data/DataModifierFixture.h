#pragma once

#include <gtest/gtest.h>

#include <any>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "teststack/StackFixture.h"
#include "chronelle/data/DataModifier.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"

namespace chronelle::testing {

// A stack on a fresh store and a DataModifier working in its view context.
class DataModifierFixture : public StackFixture {
 protected:
  DataModifier modifier{stack->viewContext()};

  // A finished or running entry booked through the modifier, as the write side does.
  std::shared_ptr<Session> entry(const std::shared_ptr<Task>& task, Date begin, std::optional<Date> end) {
    auto session = modifier.newTimeEntry();
    TimeEntryChanges changes{{TimeEntryChangeKey::begin, begin}, {TimeEntryChangeKey::taskId, task->objectID()}};
    if (end) changes[TimeEntryChangeKey::end] = *end;
    modifier.updateTimeEntry(*session, changes);
    return session;
  }

  // "name=order" of `nodes` in order, joined with spaces.
  static std::string layout(const std::vector<std::shared_ptr<Node>>& nodes) {
    std::string out;
    for (const auto& node : nodes) out += (out.empty() ? "" : " ") + node->name() + "=" + std::to_string(node->order());
    return out;
  }
};

}  // namespace chronelle::testing
