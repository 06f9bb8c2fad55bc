// export: every entry of a period as CSV or JSON.
//
// A year can hold hundreds of thousands of entries, so both formats are written entry by
// entry straight to the output, without a JSON document in memory: the text is the same as
// the JSON view of each entry (`entryJson`: the same fields, from `forEachEntryField`) dumped
// with two-space indentation.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <type_traits>
#include <unordered_map>

#include "Arguments.h"
#include "CliError.h"
#include "EntryFields.h"
#include "Commands.h"
#include "NodeDirectory.h"
#include "Period.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/data/TimeEntryRow.h"
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

// Task paths by the task's key in the store, walked up the tree once per task before the rows
// are read (a row's callback may not use the store's context). Every task comes from the one
// store, so its primary key names it.
class TaskPaths {
 public:
  explicit TaskPaths(const BaseDataProvider& provider) {
    for (const auto& task : provider.getAllTasks(true)) {
      paths_.emplace(task->objectID().primaryKey(), NodeDirectory::pathOf(*task));
    }
  }
  // The path of the row's task; null without a task, and for a task the listing did not hold
  // (its read failed, or the task was added since), which `missed()` then tells.
  const std::string* of(const TimeEntryRow& entry) const {
    if (!entry.task) return nullptr;
    const auto found = paths_.find(entry.task->primaryKey());
    if (found != paths_.end()) return &found->second;
    missed_ = true;
    return nullptr;
  }
  // Whether a row's task was not in the listing: its entry was written without a task.
  bool missed() const { return missed_; }

 private:
  std::unordered_map<std::int64_t, std::string> paths_;
  mutable bool missed_ = false;
};

// Text is gathered per entry and written in one call: a stream write per field cost a tenth of
// the export.
class JsonWriter {
 public:
  JsonWriter(std::ostream& stream, const ReportScope3& scope, const Calendar& calendar, const TaskPaths& paths)
      : stream_(stream), calendar_(calendar), paths_(paths) {
    out_.append("{\n  \"from\": ");
    writeJsonString(out_, isoTime(scope.fromDate(), calendar));
    out_.append(",\n  \"to\": ");
    writeJsonString(out_, isoTime(scope.toDate(), calendar));
    out_.append(",\n  \"entries\": [");
  }

  void write(const TimeEntryRow& entry) {
    out_.append(separator_).append("    {");
    separator_ = ",\n";
    const char* fieldSeparator = "\n      \"";
    forEachEntryField(entry, paths_.of(entry), [&](const char* name, const auto& value) {
      out_.append(fieldSeparator).append(name).append("\": ");
      fieldSeparator = ",\n      \"";
      using Value = std::decay_t<decltype(value)>;
      if constexpr (std::is_same_v<Value, const std::string*>) {
        if (value) writeJsonString(out_, *value);
        else out_ += "null";
      } else if constexpr (std::is_same_v<Value, std::optional<Date>>) {
        writeTime(value);
      } else if constexpr (std::is_same_v<Value, bool>) {
        out_ += value ? "true" : "false";
      } else {
        writeJsonNumber(out_, value);
      }
    });
    out_.append("\n    }");
    stream_ << out_;
    out_.clear();
  }

  void finish() {
    out_.append(*separator_ == '\n' ? "]\n}\n" : "\n  ]\n}\n");
    stream_ << out_;
  }

 private:
  // A time as a JSON string, or null. ICU's text for odd locales or offsets may need escapes.
  void writeTime(const std::optional<Date>& time) {
    if (!time) {
      out_ += "null";
      return;
    }
    time_.clear();
    appendIsoTime(time_, *time, calendar_);
    writeJsonString(out_, time_);
  }

  std::ostream& stream_;
  const Calendar& calendar_;
  const TaskPaths& paths_;
  std::string out_;
  std::string time_;  // reused for every time
  const char* separator_ = "\n";
};

// One entry's line, gathered in `line` (reused) and written in one call.
void writeCsv(std::ostream& out, std::string& line, const TimeEntryRow& entry, const Calendar& calendar,
              const TaskPaths& paths) {
  const auto* path = paths.of(entry);
  line.clear();
  line.append(csvField(entry.identifier.value_or(""))).append(1, ',').append(path ? csvField(*path) : std::string());
  line += ',';
  if (entry.begin) appendIsoTime(line, *entry.begin, calendar);
  line += ',';
  if (entry.end) appendIsoTime(line, *entry.end, calendar);
  line.append(1, ',').append(csvSeconds(entry.effectiveDuration)).append(entry.isBillable ? ",true," : ",false,");
  line.append(formatMoney(entry.hourlyRate)).append(1, ',').append(formatMoney(entry.effectiveRevenue));
  line.append(1, ',').append(entry.billingStatus.enDescription()).append(1, ',');
  line.append(csvField(entry.notes.value_or(""))).append(1, '\n');
  out << line;
}

}  // namespace

void exportCommand(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {{"format", "from", "to"}, {}, kPeriodOptions});
  args.expectPositionals(0, 0, "chronelle export [PERIOD] --format csv|json");
  const std::string format = args.value("format").value_or(ctx.json() ? "json" : "");
  if (format != "csv" && format != "json") throw CliError::usage("export needs --format csv or --format json");
  const ReportScope3 scope = parsePeriod(args, ctx.time());
  const BaseDataProvider& provider = ctx.app().provider();
  const TaskPaths paths(provider);
  const Calendar& calendar = ctx.calendar();
  bool read = false;
  if (format == "json") {
    JsonWriter writer(ctx.out(), scope, calendar, paths);
    read = provider.enumerateSessionRows(scope.toSessionQuery(), [&](const TimeEntryRow& entry) { writer.write(entry); });
    if (read) writer.finish();
  } else {
    ctx.out() << "id,task,begin,end,duration,billable,rate,revenue,status,notes\n";
    std::string line;
    read = provider.enumerateSessionRows(
        scope.toSessionQuery(), [&](const TimeEntryRow& entry) { writeCsv(ctx.out(), line, entry, calendar, paths); });
  }
  // Rows already written stay on the output; the exit status says the export is incomplete.
  if (!read || paths.missed()) throw CliError::failure("could not read the entries of the period; the export is incomplete");
}

}  // namespace chronelle::cli
