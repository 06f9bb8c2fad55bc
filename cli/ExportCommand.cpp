// export: every entry of a period as CSV or JSON.
//
// A year can hold hundreds of thousands of entries, so both formats are written entry by
// entry straight to the output, without a JSON document in memory: the text is the same as
// the JSON view of each entry (`entryJson`) dumped with two-space indentation.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <unordered_map>

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

// A JSON string as the JSON view writes it. Printable ASCII without quotes or backslashes (ids,
// times, most paths) is written as is; anything else goes through the JSON library, which
// escapes and replaces invalid UTF-8.
void writeJsonString(std::string& out, const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
      out += Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
      return;
    }
  }
  out += '"';
  out += text;
  out += '"';
}

// A JSON number as the JSON view writes it: whole numbers below 10^15 as "741.0", the rest
// (fractions, huge values, -0) through the JSON library's shortest round-trip form.
void writeJsonNumber(std::string& out, double value) {
  if (value == std::trunc(value) && std::fabs(value) < 1e15 && !(value == 0 && std::signbit(value))) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::int64_t>(value)).ptr;
    out.append(buffer, end).append(".0");
    return;
  }
  out += Json(value).dump();
}

// Seconds as their shortest exact text ("13569634", "0.5"): a stream's default six significant
// digits would write an entry of a few weeks as "1.35696e+07".
std::string csvSeconds(double value) {
  char buffer[32];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

// Task paths, walked up the tree once per task rather than once per entry.
class TaskPaths {
 public:
  const std::string* of(const Session& entry) {
    const auto task = entry.task();
    if (!task) return nullptr;
    auto found = paths_.find(task.get());
    if (found == paths_.end()) found = paths_.emplace(task.get(), NodeDirectory::pathOf(*task)).first;
    return &found->second;
  }

 private:
  std::unordered_map<const Task*, std::string> paths_;
};

void writeJson(std::ostream& stream, const ReportScope3& scope, const std::vector<std::shared_ptr<Session>>& entries,
               const Calendar& calendar) {
  TaskPaths paths;
  // Text is gathered per entry and written in one call: a stream write per field cost a tenth
  // of the export.
  std::string out;
  out.append("{\n  \"from\": ");
  writeJsonString(out, isoTime(scope.fromDate(), calendar));
  out.append(",\n  \"to\": ");
  writeJsonString(out, isoTime(scope.toDate(), calendar));
  out.append(",\n  \"entries\": [");
  const char* separator = "\n";
  for (const auto& entry : entries) {
    out.append(separator).append("    {\n      \"id\": ");
    separator = ",\n";
    writeJsonString(out, entry->identifier().value_or(""));
    out.append(",\n      \"task\": ");
    if (const auto* path = paths.of(*entry)) writeJsonString(out, *path);
    else out += "null";
    out.append(",\n      \"begin\": ");
    if (entry->begin()) writeJsonString(out, isoTime(*entry->begin(), calendar));
    else out += "null";
    out.append(",\n      \"end\": ");
    if (entry->end()) writeJsonString(out, isoTime(*entry->end(), calendar));
    else out += "null";
    out.append(",\n      \"duration\": ");
    writeJsonNumber(out, entry->effectiveDuration());
    out.append(",\n      \"billable\": ").append(entry->isBillable() ? "true" : "false").append(",\n      \"rate\": ");
    writeJsonNumber(out, entry->hourlyRate());
    out.append(",\n      \"revenue\": ");
    writeJsonNumber(out, entry->effectiveRevenue());
    out.append(",\n      \"status\": ");
    writeJsonString(out, entry->billingStatus().enDescription());
    out.append(",\n      \"notes\": ");
    if (const auto notes = entry->notes()) writeJsonString(out, *notes);
    else out += "null";
    out.append(",\n      \"autotracked\": ").append(entry->autotracked() ? "true" : "false").append("\n    }");
    stream << out;
    out.clear();
  }
  out.append(entries.empty() ? "]\n}\n" : "\n  ]\n}\n");
  stream << out;
}

void writeCsv(std::ostream& out, const std::vector<std::shared_ptr<Session>>& entries, const Calendar& calendar) {
  TaskPaths paths;
  out << "id,task,begin,end,duration,billable,rate,revenue,status,notes\n";
  for (const auto& entry : entries) {
    const auto* path = paths.of(*entry);
    out << csvField(entry->identifier().value_or("")) << ',' << (path ? csvField(*path) : std::string()) << ','
        << (entry->begin() ? isoTime(*entry->begin(), calendar) : std::string()) << ','
        << (entry->end() ? isoTime(*entry->end(), calendar) : std::string()) << ',' << csvSeconds(entry->effectiveDuration())
        << ',' << (entry->isBillable() ? "true" : "false") << ',' << formatMoney(entry->hourlyRate()) << ','
        << formatMoney(entry->effectiveRevenue()) << ',' << entry->billingStatus().enDescription() << ','
        << csvField(entry->notes().value_or("")) << '\n';
  }
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
  if (format == "json") writeJson(ctx.out(), scope, entries, ctx.calendar());
  else writeCsv(ctx.out(), entries, ctx.calendar());
}

}  // namespace chronelle::cli
