// list: the day-sectioned list of the period, newest day first, an entry crossing midnight
// listed once per day it touches.

#include "Arguments.h"
#include "Commands.h"
#include "NodeDirectory.h"
#include "Period.h"
#include "chronelle/list/SessionEdge.h"
#include "chronelle/list/SessionFetchedResultsController3.h"
#include "chronelle/list/SessionFragment.h"
#include "chronelle/list/SessionsSectionInfo.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"

namespace chronelle::cli {

void listCommand(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {{"from", "to"}, {}, kPeriodOptions});
  args.expectPositionals(0, 0, "chronelle list [PERIOD]");
  const ReportScope3 scope = parsePeriod(args, ctx.time());
  ctx.app();
  SessionFetchedResultsController3 list(scope.toSessionQuery(), ctx.calendar());
  list.performFetch();
  Json sections = Json::array();
  for (const auto& section : list.sections()) {
    Json fragments = Json::array();
    if (!ctx.json()) ctx.out() << section.name << '\n';
    for (const auto& fragment : section.objects.value_or(std::vector<std::shared_ptr<SessionFragment>>{})) {
      const auto& entry = fragment->session();
      const auto task = entry ? entry->task() : nullptr;
      const std::string path = task ? NodeDirectory::pathOf(*task) : std::string();
      if (ctx.json()) {
        fragments.push_back(Json{{"entry", entry ? entry->identifier().value_or("") : std::string()},
                                 {"task", task ? Json(path) : Json(nullptr)},
                                 {"from", isoTime(fragment->from(), ctx.calendar())},
                                 {"to", fragment->to() ? Json(isoTime(*fragment->to(), ctx.calendar())) : Json(nullptr)},
                                 {"edge", toString(fragment->edge())},
                                 {"duration", fragment->duration()},
                                 {"revenue", fragment->revenue()}});
      } else {
        ctx.out() << "  " << ctx.calendar().format(fragment->from(), "HH:mm") << "–"
                  << (fragment->to() ? ctx.calendar().format(*fragment->to(), "HH:mm") : std::string("now  ")) << "  "
                  << formatDuration(fragment->duration()) << "  " << path << "  ("
                  << shortId(entry ? entry->identifier() : std::nullopt) << ")\n";
      }
    }
    sections.push_back(Json{{"name", section.name}, {"fragments", fragments}});
  }
  if (ctx.json()) ctx.print(Json{{"sections", sections}});
}

}  // namespace chronelle::cli
