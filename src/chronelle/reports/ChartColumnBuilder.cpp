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

ChartColumnBuilder::Part* ChartColumnBuilder::part(const ObjectID& taskId) {
  auto known = tasks_.find(taskId);
  if (known == tasks_.end()) {
    std::optional<TaskInfo> info;
    if (auto task = std::dynamic_pointer_cast<Task>(provider_.getObject(taskId))) info = infoOf(task);
    known = tasks_.emplace(taskId, std::move(info)).first;
  }
  return known->second ? &part(taskId, *known->second) : nullptr;
}

ChartColumnBuilder::Part& ChartColumnBuilder::part(const std::shared_ptr<Task>& task) {
  const ObjectID id = task->objectID();
  auto known = tasks_.find(id);
  if (known == tasks_.end() || !known->second) known = tasks_.insert_or_assign(id, infoOf(task)).first;
  return part(id, *known->second);
}

ChartColumnBuilder::Part& ChartColumnBuilder::part(const ObjectID& taskId, const TaskInfo& info) {
  auto [it, inserted] = index_.emplace(taskId, parts_.size());
  if (inserted) parts_.push_back(Part{&info, info.blank, 0});
  return parts_[it->second];
}

void ChartColumnBuilder::finish(SessionColumnData& column, bool filterOutSmallGroups) {
  // Tree order: a folder's tasks stay together.
  std::vector<std::pair<const std::string*, std::size_t>> order;
  order.reserve(parts_.size());
  for (std::size_t i = 0; i < parts_.size(); ++i) order.emplace_back(&parts_[i].info->treeKey, i);
  std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return *a.first < *b.first; });
  const auto shown = [&](const Part& p) { return !(filterOutSmallGroups && p.segment.duration <= 60); };
  // A year of daily columns over a few hundred tasks is tens of thousands of segments,
  // kept twice (the cache and the result): sized exactly, not by doubling.
  column.segments.reserve(column.segments.size() +
                          static_cast<std::size_t>(std::count_if(parts_.begin(), parts_.end(), shown)));
  for (const auto& [key, index] : order) {
    Part& p = parts_[index];
    if (!shown(p)) continue;
    p.segment.revenue = amountOfCents(p.cents);
    column.segments.push_back(std::move(p.segment));
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
