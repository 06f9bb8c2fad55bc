// activity: the activity log — record an application, web page or document entry, list the
// entries of a period, delete the entries of a range (or all).

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "Arguments.h"
#include "CliError.h"
#include "Commands.h"
#include "Period.h"
#include "TextInput.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/ALEntry.h"
#include "chronelle/model/BrowserALEntry.h"
#include "chronelle/model/DocumentAppALEntry.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/platform/Url.h"

namespace chronelle::cli {
namespace {

const char* kindOf(const ALEntry& entry) {
  if (dynamic_cast<const BrowserALEntry*>(&entry)) return "browser";
  if (dynamic_cast<const DocumentAppALEntry*>(&entry)) return "document";
  return "app";
}

std::optional<std::string> pageOf(const ALEntry& entry) {
  if (const auto* browser = dynamic_cast<const BrowserALEntry*>(&entry)) {
    if (const auto url = browser->url()) return url->absoluteString();
  }
  if (const auto* document = dynamic_cast<const DocumentAppALEntry*>(&entry)) {
    if (const auto url = document->documentUrl()) return url->absoluteString();
  }
  return std::nullopt;
}

Json activityJson(const ALEntry& entry, const Calendar& calendar) {
  const auto text = [](const std::optional<std::string>& value) { return value ? Json(*value) : Json(nullptr); };
  return Json{{"kind", kindOf(entry)},
              {"begin", entry.begin() ? Json(isoTime(*entry.begin(), calendar)) : Json(nullptr)},
              {"end", entry.end() ? Json(isoTime(*entry.end(), calendar)) : Json(nullptr)},
              {"duration", entry.effectiveDuration()},
              {"app", text(entry.bundleId())},
              {"title", text(entry.title())},
              {"page", text(pageOf(entry))}};
}

// The period's entries (those that begin in it, end in it or span it), earliest first.
std::vector<std::shared_ptr<ALEntry>> entriesIn(AppServices& app, Date from, Date to) {
  auto entries = app.provider().getActivityLogs(from, to);
  std::stable_sort(entries.begin(), entries.end(),
                   [](const auto& a, const auto& b) { return a->effectiveBegin() < b->effectiveBegin(); });
  return entries;
}

void addEntry(CommandContext& ctx, AppServices& app, const Args& rawArgs) {
  const Arguments args(rawArgs, {{"from", "to", "app", "title", "url", "document"}, {}, {}});
  args.expectPositionals(0, 0, "chronelle activity add --from TIME [--to TIME] [--app ID] [--title T] "
                               "[--url URL | --document PATH]");
  if (!args.has("from")) throw CliError::usage("an activity needs --from TIME");
  if (args.has("url") && args.has("document")) throw CliError::usage("give --url or --document");
  for (const char* name : {"app", "title", "url", "document"}) {
    if (const auto value = args.value(name)) checkNotes(*value, std::string("--") + name);
  }
  const Date begin = ctx.time().parseTime(*args.value("from"));
  std::optional<Date> end;
  if (const auto to = args.value("to")) {
    end = ctx.time().parseTime(*to);
    if (*end < begin) throw CliError::usage("the activity ends before it begins");
  }
  std::optional<Url> page;
  if (const auto url = args.value("url")) {
    page = Url::parse(*url);
    if (!page || page->scheme().empty() || !page->host()) throw CliError::usage("not a web address: " + quoteInput(*url));
  }
  if (const auto document = args.value("document")) {
    page = Url::parse(*document);
    // A plain path names a file; anything with a scheme is taken as the address it is.
    if (!page || page->scheme().empty()) page = Url::fileUrl(std::filesystem::absolute(*document));
  }
  const char* entity = args.has("url") ? BrowserALEntry::kEntityName
                       : args.has("document") ? DocumentAppALEntry::kEntityName
                                              : ALEntry::kEntityName;
  const auto optional = [&](const char* name) { return args.value(name); };
  std::shared_ptr<ALEntry> entry;
  app.run(app.provider().executeWriteOperation([&](ObjectContext& context, DataModifier&, const ManagedObjectFetcher&) {
    entry = context.insert<ALEntry>(entity);
    entry->setBegin(begin);
    entry->setEnd(end);
    entry->setBundleId(optional("app"));
    entry->setTitle(optional("title"));
    if (auto* browser = dynamic_cast<BrowserALEntry*>(entry.get())) browser->setUrl(page);
    if (auto* document = dynamic_cast<DocumentAppALEntry*>(entry.get())) document->setDocumentUrl(page);
  }));
  if (ctx.json()) {
    ctx.print(activityJson(*entry, ctx.calendar()));
  } else {
    ctx.out() << "added " << kindOf(*entry) << " activity from " << localTime(begin, ctx.calendar()) << '\n';
  }
}

void listEntries(CommandContext& ctx, AppServices& app, const Args& rawArgs) {
  const Arguments args(rawArgs, {kPeriodRangeOptions, {}, kPeriodOptions});
  args.expectPositionals(0, 0, "chronelle activity list [PERIOD]");
  const ReportScope3 scope = parsePeriod(args, ctx.time());
  const auto entries = entriesIn(app, scope.fromDate(), scope.toDate());
  if (ctx.json()) {
    Json list = Json::array();
    for (const auto& entry : entries) list.push_back(activityJson(*entry, ctx.calendar()));
    ctx.print(Json{{"from", isoTime(scope.fromDate(), ctx.calendar())},
                   {"to", isoTime(scope.toDate(), ctx.calendar())},
                   {"entries", list}});
    return;
  }
  for (const auto& entry : entries) {
    char line[160];
    std::snprintf(line, sizeof line, "%s – %-8s %9s  %-8s ", localTime(entry->effectiveBegin(), ctx.calendar()).c_str(),
                  entry->end() ? ctx.calendar().format(*entry->end(), "HH:mm:ss").c_str() : "now",
                  formatDuration(entry->effectiveDuration()).c_str(), kindOf(*entry));
    ctx.out() << line << entry->bundleId().value_or("-");
    if (entry->hasTitle()) ctx.out() << "  \"" << *entry->title() << '"';
    if (const auto page = pageOf(*entry)) ctx.out() << "  " << *page;
    ctx.out() << '\n';
  }
  if (entries.empty()) ctx.out() << "no activity\n";
}

// Deletes the entries lying wholly inside the range; an entry that reaches outside it is kept
// whole rather than losing the part outside the range.
void deleteEntries(CommandContext& ctx, AppServices& app, const Args& rawArgs) {
  const Arguments args(rawArgs, {kPeriodRangeOptions, {"all"}, kPeriodOptions});
  args.expectPositionals(0, 0, "chronelle activity delete (PERIOD | --all)");
  std::size_t deleted = 0;
  std::size_t kept = 0;
  if (args.has("all")) {
    for (const auto& option : {"from", "to", "day", "week", "month", "year"}) {
      if (args.has(option)) throw CliError::usage("--all takes no period");
    }
    deleted = app.provider().getActivityLogs(std::nullopt, std::nullopt).size();
    app.run(app.provider().deleteAllActivityLogs());
  } else {
    bool periodGiven = false;
    for (const auto& option : {"from", "to", "day", "week", "month", "year"}) periodGiven |= args.has(option);
    if (!periodGiven) throw CliError::usage("give the range to delete (a PERIOD, or --all)");
    const ReportScope3 scope = parsePeriod(args, ctx.time());
    std::vector<ObjectID> ids;
    for (const auto& entry : entriesIn(app, scope.fromDate(), scope.toDate())) {
      if (entry->effectiveBegin() >= scope.fromDate() && entry->effectiveEnd() <= scope.toDate()) {
        ids.push_back(entry->objectID());
      } else {
        ++kept;
      }
    }
    deleted = ids.size();
    if (!ids.empty()) app.run(app.provider().deleteActivityLogs(ids));
  }
  if (ctx.json()) {
    ctx.print(Json{{"deleted", deleted}, {"kept", kept}});
  } else {
    ctx.out() << "deleted " << deleted << (deleted == 1 ? " activity" : " activities");
    if (kept) ctx.out() << "; kept " << kept << " reaching outside the range";
    ctx.out() << '\n';
  }
}

}  // namespace

void activityCommand(CommandContext& ctx, const Args& args) {
  if (args.empty()) throw CliError::usage("activity needs a subcommand (see 'chronelle activity --help')");
  const std::string sub = args.front();
  const Args rest(args.begin() + 1, args.end());
  if (sub != "add" && sub != "list" && sub != "delete") {
    throw CliError::usage("unknown activity subcommand '" + sub + "' (see 'chronelle activity --help')");
  }
  AppServices& app = ctx.app();
  if (sub == "add") addEntry(ctx, app, rest);
  if (sub == "list") listEntries(ctx, app, rest);
  if (sub == "delete") deleteEntries(ctx, app, rest);
}

}  // namespace chronelle::cli
