// export: every entry of a period as CSV or JSON.

#include "Arguments.h"
#include "CliError.h"
#include "Commands.h"
#include "NodeDirectory.h"
#include "Period.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"

namespace chronelle::cli {
namespace {

// A CSV field, quoted when it holds a separator, a quote or a line break.
std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

void exportCommand(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {{"format", "from", "to"}, {}, kPeriodOptions});
  args.expectPositionals(0, 0, "chronelle export [PERIOD] --format csv|json");
  const std::string format = args.value("format").value_or(ctx.json() ? "json" : "");
  if (format != "csv" && format != "json") throw CliError::usage("export needs --format csv or --format json");
  const ReportScope3 scope = parsePeriod(args, ctx.time());
  AppServices& app = ctx.app();
  const auto entries = app.provider().getSessions(scope.toSessionQuery());
  if (format == "json") {
    Json list = Json::array();
    for (const auto& entry : entries) list.push_back(entryJson(*entry, ctx.calendar()));
    ctx.print(Json{{"from", isoTime(scope.fromDate(), ctx.calendar())},
                   {"to", isoTime(scope.toDate(), ctx.calendar())},
                   {"entries", list}});
    return;
  }
  ctx.out() << "id,task,begin,end,duration,billable,rate,revenue,status,notes\n";
  for (const auto& entry : entries) {
    const Json json = entryJson(*entry, ctx.calendar());
    const auto text = [&](const char* key) {
      const auto& value = json[key];
      if (value.is_null()) return std::string();
      if (value.is_string()) return value.get<std::string>();
      if (value.is_boolean()) return std::string(value.get<bool>() ? "true" : "false");
      return value.dump(-1, ' ', false, Json::error_handler_t::replace);
    };
    ctx.out() << csvField(text("id")) << ',' << csvField(text("task")) << ',' << text("begin") << ',' << text("end")
              << ',' << entry->effectiveDuration() << ',' << text("billable") << ',' << formatMoney(entry->hourlyRate())
              << ',' << formatMoney(entry->effectiveRevenue()) << ',' << text("status") << ',' << csvField(text("notes"))
              << '\n';
  }
}

}  // namespace chronelle::cli
