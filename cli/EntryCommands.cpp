// entry add|edit|delete|duplicate|merge.

#include <algorithm>
#include <cctype>
#include <set>

#include "Arguments.h"
#include "CliError.h"
#include "TextInput.h"
#include "Commands.h"
#include "NodeDirectory.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/store/FetchRequest.h"
#include "chronelle/store/ObjectContext.h"
#include "chronelle/store/Predicate.h"

namespace chronelle::cli {
namespace {

// The entries whose identifier starts with `prefix`, by begin.
std::vector<std::shared_ptr<Session>> entriesStartingWith(AppServices& app, const std::string& prefix) {
  // The identifiers that start with `prefix` lie in [prefix, prefix + byte 0xFF) of the
  // identifier index (text compares byte by byte, and no UTF-8 text holds 0xFF): a look-up of
  // the few matches instead of a read of every entry.
  FetchRequest request(Session::kEntityName);
  request.predicate =
      Predicate::parse("identifier >= %@ AND identifier < %@", {Value(prefix), Value(prefix + "\xFF")});
  request.sortDescriptors = {{"begin", true}};
  std::vector<std::shared_ptr<Session>> matches;
  for (const auto& object : app.stack().viewContext()->fetch(request)) {
    auto entry = std::dynamic_pointer_cast<Session>(object);
    if (entry && entry->identifier().value_or("").rfind(prefix, 0) == 0) matches.push_back(entry);
  }
  return matches;
}

// The entry with identifier `id`, or the one entry whose identifier starts with it (at least
// four characters). Identifiers the tracker makes are upper-case UUIDs, and the output shows
// them so; a prefix typed in lower case finds them too (imported identifiers keep their own
// case and are matched as typed first). Throws CliError (usage) when there is none or several.
std::shared_ptr<Session> findEntry(AppServices& app, const std::string& id) {
  if (id.size() < 4) {
    if (auto entry = app.provider().getSession(id)) return entry;
    throw CliError::usage("no entry " + quoteInput(id));
  }
  // The entry named in full is among those its identifier starts, so one look-up finds both
  // (each look-up prepares a statement of its own: about 0.25 M instructions).
  auto matches = entriesStartingWith(app, id);
  for (const auto& entry : matches) {
    if (entry->identifier() == id) return entry;
  }
  std::string upper = id;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  if (matches.empty() && upper != id) matches = entriesStartingWith(app, upper);
  if (matches.size() == 1) return matches.front();
  if (matches.size() > 1) {
    std::string names;
    for (const auto& m : matches) names += (names.empty() ? "" : ", ") + m->identifier().value_or("");
    throw CliError::usage("ambiguous entry " + quoteInput(id) + ": " + names);
  }
  throw CliError::usage("no entry " + quoteInput(id));
}

void printEntry(CommandContext& ctx, const Session& entry) {
  if (ctx.json()) {
    ctx.print(entryJson(entry, ctx.calendar()));
  } else {
    ctx.out() << entryLine(entry, ctx.calendar()) << '\n';
  }
}

void addEntry(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {{"from", "to", "notes"}, {}, {}});
  args.expectPositionals(1, 1, "chronelle entry add TASK --from TIME --to TIME [--notes T]");
  if (!args.has("from") || !args.has("to")) throw CliError::usage("entry add needs --from and --to");
  if (const auto notes = args.value("notes")) checkNotes(*notes);
  const Date from = ctx.time().parseTime(*args.value("from"));
  const Date to = ctx.time().parseTime(*args.value("to"));
  if (to < from) throw CliError::usage("the entry ends before it begins");
  AppServices& app = ctx.app();
  const auto task = NodeDirectory::resolveTask(app.provider(), args.positionals().front());
  const auto entry = app.run(app.provider().createTimeEntry(from, to, task->objectID(), false, args.value("notes")));
  printEntry(ctx, *entry);
}

void editEntry(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {{"from", "to", "task", "notes", "status", "rate"}, {"no-notes"}, {}});
  args.expectPositionals(1, 1, "chronelle entry edit ID [options]");
  AppServices& app = ctx.app();
  const auto entry = findEntry(app, args.positionals().front());
  TimeEntryChanges changes;
  const std::optional<Date> from = args.value("from") ? std::optional(ctx.time().parseTime(*args.value("from")))
                                                      : std::nullopt;
  const std::optional<Date> to = args.value("to") ? std::optional(ctx.time().parseTime(*args.value("to")))
                                                  : std::nullopt;
  const std::optional<Date> newBegin = from ? from : entry->begin();
  const std::optional<Date> newEnd = to ? to : entry->end();
  if (newBegin && newEnd && *newEnd < *newBegin) throw CliError::usage("the entry would end before it begins");
  if (from) changes[TimeEntryChangeKey::begin] = *from;
  if (to) changes[TimeEntryChangeKey::end] = *to;
  if (const auto task = args.value("task")) {
    changes[TimeEntryChangeKey::taskId] = NodeDirectory::resolveTask(app.provider(), *task)->objectID();
  }
  if (args.has("notes") && args.has("no-notes")) throw CliError::usage("choose one of --notes, --no-notes");
  if (const auto notes = args.value("notes")) {
    checkNotes(*notes);
    changes[TimeEntryChangeKey::notes] = *notes;
  }
  if (args.has("no-notes")) changes[TimeEntryChangeKey::notes] = std::any();
  if (const auto status = args.value("status")) {
    if (*status == "unbilled") {
      changes[TimeEntryChangeKey::billingStatus] = BillingStatus(BillingStatus::unbilled);
    } else if (*status == "billed") {
      changes[TimeEntryChangeKey::billingStatus] = BillingStatus(BillingStatus::billed);
    } else if (*status == "paid") {
      changes[TimeEntryChangeKey::billingStatus] = BillingStatus(BillingStatus::paid);
    } else {
      throw CliError::usage("--status takes unbilled, billed or paid");
    }
  }
  if (const auto rate = args.value("rate")) changes[TimeEntryChangeKey::hourlyRate] = TimeParser::parseAmount(*rate);
  app.run(app.provider().updateTimeEntry(entry->objectID(), changes));
  printEntry(ctx, *entry);
}

void deleteEntries(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {});
  args.expectPositionals(1, 1000000, "chronelle entry delete ID…");
  AppServices& app = ctx.app();
  std::vector<std::shared_ptr<Session>> entries;
  Json deleted = Json::array();
  for (const auto& id : args.positionals()) {
    entries.push_back(findEntry(app, id));
    deleted.push_back(entries.back()->identifier().value_or(""));
  }
  app.run(app.provider().deleteTimeEntries(entries));
  if (ctx.json()) {
    ctx.print(Json{{"deleted", deleted}});
  } else {
    for (const auto& id : deleted) ctx.out() << "deleted " << id.get<std::string>() << '\n';
  }
}

void duplicateEntry(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {{}, {"with-notes"}, {}});
  args.expectPositionals(1, 1, "chronelle entry duplicate ID [--with-notes]");
  AppServices& app = ctx.app();
  const auto entry = findEntry(app, args.positionals().front());
  const auto copy = app.run(app.provider().duplicateTimeEntry(entry, args.has("with-notes")));
  printEntry(ctx, *copy);
}

void mergeEntries(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {{"into"}, {"push", "fill"}, {}});
  args.expectPositionals(1, 1000000, "chronelle entry merge ID… --into TASK (--push|--fill)");
  if (!args.has("into")) throw CliError::usage("entry merge needs --into TASK");
  if (args.has("push") == args.has("fill")) throw CliError::usage("give one of --push or --fill");
  AppServices& app = ctx.app();
  const auto task = NodeDirectory::resolveTask(app.provider(), *args.value("into"));
  std::vector<std::string> ids;
  bool anyFinished = false;
  for (const auto& id : args.positionals()) {
    const auto entry = findEntry(app, id);
    anyFinished = anyFinished || entry->end().has_value();
    ids.push_back(entry->identifier().value_or(""));
  }
  if (!anyFinished) throw CliError::usage("only finished entries can be merged");
  // The merge returns nothing; the new entry is the one on the task that was not there before.
  std::set<std::string> before;
  for (const auto& entry : task->sessions()) before.insert(entry->identifier().value_or(""));
  app.run(app.provider().mergeSessions(ids, task->identifier().value_or(""),
                                       args.has("push")
                                           ? MainDataProvider::SessionMergeType::byPushingSessionsTogether
                                           : MainDataProvider::SessionMergeType::byFillingTimeBetweenSessions));
  for (const auto& entry : task->sessions()) {
    if (!before.count(entry->identifier().value_or(""))) return printEntry(ctx, *entry);
  }
  throw CliError::failure("the merged entry was not found");
}

}  // namespace

void entryCommand(CommandContext& ctx, const Args& args) {
  const std::string sub = args.empty() ? "" : args.front();
  const Args rest = args.empty() ? Args() : Args(args.begin() + 1, args.end());
  if (sub == "add") return addEntry(ctx, rest);
  if (sub == "edit") return editEntry(ctx, rest);
  if (sub == "delete") return deleteEntries(ctx, rest);
  if (sub == "duplicate") return duplicateEntry(ctx, rest);
  if (sub == "merge") return mergeEntries(ctx, rest);
  throw CliError::usage("unknown entry command " + quoteInput(sub) + " (add, edit, delete, duplicate, merge)");
}

}  // namespace chronelle::cli
