#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chronelle/platform/Date.h"
#include "chronelle/reports/SessionColumnData.h"
#include "chronelle/store/ObjectID.h"

namespace chronelle {

class BaseDataProvider;
class Task;

/// Collects one chart column's segments while it is filled: one per task in the order tasks
/// are met, durations and counts as they come, money in whole cents so that a column's
/// revenue is an exact sum; `finish` writes them into the column in tree order. Tasks are
/// looked up once per `TaskCache`, which several columns may share. Use on the provider's
/// context queue; not thread-safe.
class ChartColumnBuilder {
 public:
  /// What a column needs of a task, made once per cache: a segment's name, colour and
  /// archive flag cost an ICU text walk each.
  struct TaskInfo {
    std::shared_ptr<Task> task;
    SessionColumnSegment blank;  ///< the task's segment without values
    std::string treeKey;         ///< where the task sits in the tree, for the order
  };
  /// Tasks by ID; absent for an ID that is no task.
  using TaskCache = std::map<ObjectID, std::optional<TaskInfo>>;

  /// One task's part of the column: its numbers while they are summed; the segment is made
  /// from the task's blank one when the column is finished.
  struct Part {
    const TaskInfo* info = nullptr;
    double duration = 0;
    std::int64_t sessionCount = 0;
    std::int64_t cents = 0;  ///< the segment's revenue
  };

  ChartColumnBuilder(BaseDataProvider& provider, TaskCache& tasks) : provider_(provider), tasks_(tasks) {}

  /// What the column needs of the task `taskId` names, looked up once per cache; null when
  /// it names no task. The pointer stays valid while the cache lives.
  const TaskInfo* taskInfo(const ObjectID& taskId);
  /// The part of the task `taskId` names; null when it names no task.
  Part* part(const ObjectID& taskId);
  /// The part of `task`, which must not be null.
  Part& part(const std::shared_ptr<Task>& task);
  /// A new part for `info`, which must not have one in this column yet: for a caller that
  /// has grouped its values by task already, so no look-up is needed.
  Part& addPart(const TaskInfo& info);
  /// Makes room for `parts` parts, so a caller that knows the column's width grows it once.
  void reserve(std::size_t parts) { parts_.reserve(parts); }

  /// Appends the parts to `column` in tree order as segments (revenue converted once from
  /// cents), leaving out those of 60 s or less with `filterOutSmallGroups`, and recounts it.
  /// Parts added in tree order already are not sorted again; `addedInTreeOrder`: the caller
  /// added them so, and they are not even compared.
  void finish(SessionColumnData& column, bool filterOutSmallGroups, bool addedInTreeOrder = false);

  /// The whole seconds of [begin, end] inside [from, to] (an open side does not clip), as an
  /// entry's effective duration within a period is measured; 0 when they do not overlap.
  static double clippedSeconds(Date begin, Date end, std::optional<Date> from, std::optional<Date> to);

 private:
  BaseDataProvider& provider_;
  TaskCache& tasks_;
  std::vector<Part> parts_;
  std::map<const TaskInfo*, std::size_t> index_;  ///< parts by task

  Part& part(const TaskInfo& info);
  static TaskInfo infoOf(const std::shared_ptr<Task>& task);
};

}  // namespace chronelle
