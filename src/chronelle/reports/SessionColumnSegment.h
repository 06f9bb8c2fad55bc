#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "chronelle/platform/Color.h"
#include "chronelle/reports/TaskUrl.h"

namespace chronelle {

class Task;

/// The time of one task within one chart column, with everything the chart needs to draw and
/// label it, so the chart needs no store access. A value type; thread-safe as any value.
struct SessionColumnSegment {
  /// The URI of the task's object ID; identifies the task across contexts. Shared by the
  /// copies of a segment.
  TaskUrl taskId;
  /// The task's name (empty when it has none).
  std::string taskName;
  /// The name of the task's folder (empty when the folder has none); absent for a top-level
  /// task.
  std::optional<std::string> taskParentName;
  /// The task's palette colour as drawn in the light appearance.
  Color color;
  /// True when the task is archived.
  bool taskIsArchived = false;
  /// The task's effective billable flag.
  bool taskIsBillable = false;
  /// Seconds in this column.
  double duration = 0;
  /// Money in this column.
  double revenue = 0;
  /// Time entries counted in this column.
  std::int64_t sessionCount = 0;

  /// An empty segment (used by decoding).
  SessionColumnSegment() = default;
  /// The first six fields from `task`, the numbers zero. Reads the task (its context's queue)
  /// and the palette of the shared container.
  explicit SessionColumnSegment(const Task& task);

  /// Equal when every field is.
  friend bool operator==(const SessionColumnSegment&, const SessionColumnSegment&) = default;
};

/// Keyed encoding: "taskId" (URI text), "taskName", "taskParentNameIsSet", "taskParentName"
/// (only when set), "color" (red, green, blue, alpha), "taskIsArchived", "taskIsBillable",
/// "duration", "revenue", "sessionCount", written in that order into an ordered_json. Decoding
/// needs every key (but "taskParentName" only when "taskParentNameIsSet" is true) with a
/// value of the right kind, and throws nlohmann::json::exception otherwise. A decoded colour
/// is an sRGB colour with the stored components.
///@{
void to_json(nlohmann::json& json, const SessionColumnSegment& segment);
void to_json(nlohmann::ordered_json& json, const SessionColumnSegment& segment);
void from_json(const nlohmann::json& json, SessionColumnSegment& segment);
void from_json(const nlohmann::ordered_json& json, SessionColumnSegment& segment);
///@}

}  // namespace chronelle
