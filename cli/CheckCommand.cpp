// check [--repair]: the stored totals of tasks and folders against their saved entries.

#include <string>

#include "Arguments.h"
#include "CliError.h"
#include "Commands.h"
#include "NodeDirectory.h"
#include "chronelle/data/CoreDataStack.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Node.h"
#include "chronelle/store/PersistentStoreCoordinator.h"

namespace chronelle::cli {
namespace {

Json staleJson(const StaleConfirmedDuration& stale) {
  Json json;
  json["kind"] = NodeDirectory::kindName(*stale.node);
  json["path"] = NodeDirectory::pathOf(*stale.node);
  json["id"] = stale.node->identifier().value_or("");
  json["stored"] = stale.stored;
  json["expected"] = stale.expected;
  return json;
}

}  // namespace

void checkCommand(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {{}, {"repair"}, {}});
  args.expectPositionals(0, 0, "chronelle check [--repair]");
  const bool repair = args.has("repair");
  AppServices& app = ctx.app();
  const auto stale = repair ? app.run(app.provider().repairConfirmedDurations())
                            : app.provider().verifyConfirmedDurations();

  if (ctx.json()) {
    Json list = Json::array();
    for (const auto& s : stale) list.push_back(staleJson(s));
    ctx.print(Json{{"stale", list}, {"repaired", repair && !stale.empty()}});
  } else {
    for (const auto& s : stale) {
      ctx.out() << NodeDirectory::pathOf(*s.node) << ": stored " << formatDuration(s.stored) << ", entries "
                << formatDuration(s.expected) << (repair ? " (repaired)" : "") << '\n';
    }
    if (stale.empty()) ctx.out() << "all totals match their entries\n";
  }
  // The store file is left complete in itself, without the newest commits only in the log
  // beside it: a user who checks a store is about to rely on, copy or inspect the file.
  app.stack().persistentStoreCoordinator()->checkpointStoreFile();
  // Like a failed comparison: found problems that are left in place are a failure.
  if (!repair && !stale.empty()) {
    throw CliError::failure(std::to_string(stale.size()) + (stale.size() == 1 ? " total differs" : " totals differ") +
                            " from the entries; run 'chronelle check --repair'");
  }
}

}  // namespace chronelle::cli
