#pragma once

#include <memory>
#include <string>

namespace chronelle {
class Task;
struct SessionColumnSegment;
}  // namespace chronelle

namespace chronelle::cli {

class AppServices;

// The task a chart segment names, as the view context holds it; null when it is gone.
// Main thread.
std::shared_ptr<Task> segmentTask(AppServices& app, const SessionColumnSegment& segment);
// Its path, or the names the segment carries when the task is gone. Main thread.
std::string segmentTaskPath(AppServices& app, const SessionColumnSegment& segment);

}  // namespace chronelle::cli
