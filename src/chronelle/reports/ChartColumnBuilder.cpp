#include "chronelle/reports/ChartColumnBuilder.h"

#include <algorithm>
#include <string>
#include <utility>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/model/Task.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/Money.h"

namespace chronelle {

ChartColumnBuilder::TaskInfo ChartColumnBuilder::infoOf(const std::shared_ptr<Task>& task) {
  return TaskInfo{task, SessionColumnSegment(*task), task->hierarchyKey()};
}

const ChartColumnBuilder::TaskInfo* ChartColumnBuilder::taskInfo(const ObjectID& taskId) {
  auto known = tasks_.find(taskId);
  if (known == tasks_.end()) {
    std::optional<TaskInfo> info;
    if (auto task = std::dynamic_pointer_cast<Task>(provider_.getObject(taskId))) info = infoOf(task);
    known = tasks_.emplace(taskId, std::move(info)).first;
  }
  return known->second ? &*known->second : nullptr;
}

ChartColumnBuilder::Part* ChartColumnBuilder::part(const ObjectID& taskId) {
  const TaskInfo* info = taskInfo(taskId);
  return info ? &part(*info) : nullptr;
}

ChartColumnBuilder::Part& ChartColumnBuilder::part(const std::shared_ptr<Task>& task) {
  const ObjectID id = task->objectID();
  auto known = tasks_.find(id);
  if (known == tasks_.end() || !known->second) known = tasks_.insert_or_assign(id, infoOf(task)).first;
  return part(*known->second);
}

ChartColumnBuilder::Part& ChartColumnBuilder::part(const TaskInfo& info) {
  auto [it, inserted] = index_.emplace(&info, parts_.size());
  if (inserted) parts_.push_back(Part{&info});
  return parts_[it->second];
}

ChartColumnBuilder::Part& ChartColumnBuilder::addPart(const TaskInfo& info) { return parts_.emplace_back(Part{&info}); }

void ChartColumnBuilder::finish(SessionColumnData& column, bool filterOutSmallGroups, bool addedInTreeOrder) {
  // Tree order: a folder's tasks stay together. Telling it from the keys compares texts, which
  // over a year of daily columns costs more than making their segments.
  const auto treeOrder = [](const Part& a, const Part& b) { return a.info->treeKey < b.info->treeKey; };
  if (!addedInTreeOrder && !std::is_sorted(parts_.begin(), parts_.end(), treeOrder)) {
    std::stable_sort(parts_.begin(), parts_.end(), treeOrder);
  }
  index_.clear();  // the positions moved
  const auto shown = [&](const Part& p) { return !(filterOutSmallGroups && p.duration <= 60); };
  // A year of daily columns over a few hundred tasks is tens of thousands of segments,
  // held by the cache and shared by the results: sized exactly, not by doubling. Each is copied
  // from its task's blank segment once, in place.
  SessionColumnSegments::Items& segments = column.segments.edit();
  segments.reserve(segments.size() + static_cast<std::size_t>(std::count_if(parts_.begin(), parts_.end(), shown)));
  for (const Part& p : parts_) {
    if (!shown(p)) continue;
    SessionColumnSegment& segment = segments.emplace_back(p.info->blank);
    segment.duration = p.duration;
    segment.sessionCount = p.sessionCount;
    segment.revenue = amountOfCents(p.cents);
  }
  column.calculateSessionCount();
}

double ChartColumnBuilder::clippedSeconds(Date begin, Date end, std::optional<Date> from, std::optional<Date> to) {
  if (from && !(*from < end)) return 0;
  if (from && begin < *from) begin = *from;
  if (to && !(begin < *to)) return 0;
  if (to && end > *to) end = *to;
  return ChronelleDateUtils::effectiveDuration(begin, end);
}

}  // namespace chronelle
