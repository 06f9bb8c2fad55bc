// folder add, task add, node edit|move|archive|unarchive|delete|sort, tree.

#include <cstdio>

#include "Arguments.h"
#include "CliError.h"
#include "TextInput.h"
#include "Commands.h"
#include "NodeDirectory.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Task.h"
#include "chronelle/support/ColorSet.h"
#include "chronelle/support/ColorSetManager.h"

namespace chronelle::cli {
namespace {

Json nodeJson(const FlatNodeStuctureItem& item) {
  const Node& node = *item.node;
  Json json;
  json["level"] = item.level;
  json["kind"] = NodeDirectory::kindName(node);
  json["name"] = node.name();
  json["path"] = NodeDirectory::pathOf(node);
  json["id"] = node.identifier().value_or("");
  json["archived"] = node.archived();
  json["billable"] = node.effectiveIsBillable();
  json["rate"] = node.effectiveHourlyRate();
  json["duration"] = node.effectiveDuration();
  json["hasChildren"] = item.hasChildren;
  return json;
}

std::string nodeLine(const FlatNodeStuctureItem& item) {
  const Node& node = *item.node;
  std::string name = std::string(static_cast<std::size_t>(item.level) * 2, ' ') + node.name();
  if (dynamic_cast<const Folder*>(&node)) name += "/";
  char line[512];
  std::snprintf(line, sizeof line, "%-40s %10s  %-14s %s", name.c_str(), formatDuration(node.effectiveDuration()).c_str(),
                node.effectiveIsBillable() ? (formatMoney(node.effectiveHourlyRate()) + "/h").c_str() : "non-billable",
                node.archived() ? "[archived]" : "");
  std::string text = line;
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// The node as the tree lists it.
FlatNodeStuctureItem flatItem(const std::shared_ptr<Node>& node) {
  const int level = static_cast<int>(node->allParents().size());
  return FlatNodeStuctureItem{level, node, !node->children().empty()};
}

// Prints the node as the tree shows it.
void printNode(CommandContext& ctx, const std::shared_ptr<Node>& node) {
  const FlatNodeStuctureItem item = flatItem(node);
  if (ctx.json()) {
    ctx.print(nodeJson(item));
  } else {
    ctx.out() << nodeLine(item) << "  (@" << node->identifier().value_or("") << ")\n";
  }
}

std::int16_t colorIdNamed(const std::string& name) {
  for (const auto id : ColorSet::allIDs()) {
    if (ColorSet::idName(id) == name) return ColorSet::rawValue(id);
  }
  std::string known;
  for (const auto id : ColorSet::allIDs()) known += (known.empty() ? "" : ", ") + ColorSet::idName(id);
  throw CliError::usage("unknown colour " + quoteInput(name) + " (one of " + known + ")");
}

// The parent folder of a new node at `path` (null at the top) and the new node's name; refuses
// a name that is already taken there.
std::pair<std::shared_ptr<Folder>, std::string> placeNewNode(const NodeDirectory& nodes, const std::string& path) {
  const auto slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  checkName(name);
  std::shared_ptr<Folder> parent;
  if (slash != std::string::npos) parent = nodes.resolveFolder(path.substr(0, slash));
  if (nodes.find(path)) throw CliError::usage(quoteInput(path) + " already exists");
  return {parent, name};
}

// The billing and rate keys of `args` into `changes`.
void readBilling(const Arguments& args, NodeChanges& changes) {
  const int billingChoices = args.has("billable") + args.has("non-billable") + args.has("inherit-billable");
  if (billingChoices > 1) throw CliError::usage("choose one of --billable, --non-billable, --inherit-billable");
  if (args.has("billable") || args.has("non-billable")) {
    changes[NodeChangeKey::isBillableSet] = true;
    changes[NodeChangeKey::isBillable] = args.has("billable");
  } else if (args.has("inherit-billable")) {
    changes[NodeChangeKey::isBillableSet] = false;
  }
  if (args.has("rate") && args.has("inherit-rate")) throw CliError::usage("choose one of --rate, --inherit-rate");
  if (const auto rate = args.value("rate")) {
    changes[NodeChangeKey::hourlyRateIsSet] = true;
    changes[NodeChangeKey::hourlyRate] = TimeParser::parseAmount(*rate);
  } else if (args.has("inherit-rate")) {
    changes[NodeChangeKey::hourlyRateIsSet] = false;
    changes[NodeChangeKey::hourlyRate] = 0.0;
  }
}

void addNode(CommandContext& ctx, const Args& rawArgs, bool task) {
  if (rawArgs.empty() || rawArgs.front() != "add") {
    throw CliError::usage(std::string("expected '") + (task ? "task" : "folder") + " add PATH'");
  }
  const Arguments args(Args(rawArgs.begin() + 1, rawArgs.end()),
                       task ? Arguments::Spec{{"rate", "color", "notes"}, {"billable", "non-billable"}, {}}
                            : Arguments::Spec{{"rate", "color"}, {"billable", "non-billable"}, {}});
  args.expectPositionals(1, 1, task ? "chronelle task add PATH [options]" : "chronelle folder add PATH");
  AppServices& app = ctx.app();
  const NodeDirectory nodes(app.provider());
  const auto [parent, name] = placeNewNode(nodes, args.positionals().front());
  NodeChanges changes;
  changes[NodeChangeKey::name] = name;
  readBilling(args, changes);
  if (const auto notes = args.value("notes")) {
    checkNotes(*notes);
    changes[NodeChangeKey::notes] = *notes;
  }
  const auto color = args.value("color");
  const std::int16_t colorId = color ? colorIdNamed(*color) : ColorSet::rawValue(app.colors().nextColorSet().id());
  changes[NodeChangeKey::colorId] = colorId;
  if (parent) {
    changes[NodeChangeKey::parentId] = parent->objectID();
  } else {
    changes[NodeChangeKey::order] = OrderOption::last;
  }
  std::shared_ptr<Node> created;
  if (task) {
    created = app.run(app.provider().createTask(changes));
  } else {
    created = app.run(app.provider().createFolder(changes));
  }
  printNode(ctx, created);
}

void editNode(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {{"name", "rate", "color", "notes"},
                                 {"inherit-rate", "billable", "non-billable", "inherit-billable", "no-notes"},
                                 {}});
  args.expectPositionals(1, 1, "chronelle node edit PATH [options]");
  AppServices& app = ctx.app();
  const NodeDirectory nodes(app.provider());
  const auto node = nodes.resolve(args.positionals().front());
  NodeChanges changes;
  if (const auto name = args.value("name")) {
    checkName(*name);
    changes[NodeChangeKey::name] = *name;
  }
  readBilling(args, changes);
  if (const auto color = args.value("color")) changes[NodeChangeKey::colorId] = colorIdNamed(*color);
  if (args.has("notes") || args.has("no-notes")) {
    if (!dynamic_cast<Task*>(node.get())) throw CliError::usage("only tasks have notes");
    if (args.has("notes") && args.has("no-notes")) throw CliError::usage("choose one of --notes, --no-notes");
    if (args.has("notes")) checkNotes(*args.value("notes"));
    changes[NodeChangeKey::notes] = args.has("notes") ? std::any(*args.value("notes")) : std::any();
  }
  app.run(app.provider().updateNode(node->objectID(), changes));
  printNode(ctx, node);
}

void moveNode(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {{"to", "at"}, {"top", "last"}, {}});
  args.expectPositionals(1, 1, "chronelle node move PATH (--to FOLDER|--top) [--at N|--last]");
  if (args.has("to") == args.has("top")) throw CliError::usage("give one of --to FOLDER or --top");
  if (args.has("at") && args.has("last")) throw CliError::usage("choose one of --at, --last");
  AppServices& app = ctx.app();
  const NodeDirectory nodes(app.provider());
  const auto node = nodes.resolve(args.positionals().front());
  std::optional<ObjectID> destination;
  if (const auto to = args.value("to")) {
    const auto folder = nodes.resolveFolder(*to);
    if (folder->objectID() == node->objectID() || folder->isChild(*node)) {
      throw CliError::usage("cannot move " + quoteInput(args.positionals().front()) + " into itself");
    }
    destination = folder->objectID();
  }
  OrderOption order = OrderOption::last;
  if (const auto at = args.value("at")) {
    char* end = nullptr;
    const long index = std::strtol(at->c_str(), &end, 10);
    if (at->empty() || *end != '\0' || index < 0 || index > 30000) throw CliError::usage("bad position " + quoteInput(*at));
    order = OrderOption::order(static_cast<int>(index));
  }
  app.run(app.provider().moveNodes({MoveNodeOption(node->objectID(), destination, order)}));
  printNode(ctx, node);
}

std::vector<std::shared_ptr<Node>> resolveAll(const NodeDirectory& nodes, const Arguments& args) {
  std::vector<std::shared_ptr<Node>> result;
  for (const auto& path : args.positionals()) result.push_back(nodes.resolve(path));
  return result;
}

std::vector<ObjectID> idsOf(const std::vector<std::shared_ptr<Node>>& nodes) {
  std::vector<ObjectID> ids;
  for (const auto& node : nodes) ids.push_back(node->objectID());
  return ids;
}

void archiveNodes(CommandContext& ctx, const Args& rawArgs, bool archive) {
  const Arguments args(rawArgs, {{}, {"to-top"}, {}});
  args.expectPositionals(1, 1000000, archive ? "chronelle node archive PATH… [--to-top]"
                                             : "chronelle node unarchive PATH… [--to-top]");
  AppServices& app = ctx.app();
  const NodeDirectory nodes(app.provider());
  const auto targets = resolveAll(nodes, args);
  if (archive) {
    app.run(app.provider().archiveNodes(idsOf(targets), args.has("to-top")));
  } else {
    app.run(app.provider().unarchiveNodes(idsOf(targets), args.has("to-top")));
  }
  if (ctx.json()) {
    // One document for the command, however many nodes it changed.
    Json list = Json::array();
    for (const auto& node : targets) list.push_back(nodeJson(flatItem(node)));
    ctx.print(Json{{"nodes", list}});
  } else {
    for (const auto& node : targets) printNode(ctx, node);
  }
}

void deleteNodes(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {});
  args.expectPositionals(1, 1000000, "chronelle node delete PATH…");
  AppServices& app = ctx.app();
  const NodeDirectory nodes(app.provider());
  const auto targets = resolveAll(nodes, args);
  Json deleted = Json::array();
  for (const auto& node : targets) deleted.push_back(NodeDirectory::pathOf(*node));
  app.run(app.provider().deleteNodes(idsOf(targets)));
  if (ctx.json()) {
    ctx.print(Json{{"deleted", deleted}});
  } else {
    for (const auto& path : deleted) ctx.out() << "deleted " << path.get<std::string>() << '\n';
  }
}

void sortNodes(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {});
  args.expectPositionals(0, 1, "chronelle node sort [FOLDER]");
  AppServices& app = ctx.app();
  const NodeDirectory nodes(app.provider());
  std::optional<ObjectID> folder;
  if (!args.positionals().empty()) folder = nodes.resolveFolder(args.positionals().front())->objectID();
  app.run(app.provider().sortNodesByName(folder));
  treeCommand(ctx, {});
}

}  // namespace

void folderCommand(CommandContext& ctx, const Args& args) { addNode(ctx, args, false); }
void taskCommand(CommandContext& ctx, const Args& args) { addNode(ctx, args, true); }

void nodeCommand(CommandContext& ctx, const Args& args) {
  const std::string sub = args.empty() ? "" : args.front();
  const Args rest = args.empty() ? Args() : Args(args.begin() + 1, args.end());
  if (sub == "edit") return editNode(ctx, rest);
  if (sub == "move") return moveNode(ctx, rest);
  if (sub == "archive") return archiveNodes(ctx, rest, true);
  if (sub == "unarchive") return archiveNodes(ctx, rest, false);
  if (sub == "delete") return deleteNodes(ctx, rest);
  if (sub == "sort") return sortNodes(ctx, rest);
  throw CliError::usage("unknown node command " + quoteInput(sub) + " (edit, move, archive, unarchive, delete, sort)");
}

void treeCommand(CommandContext& ctx, const Args& rawArgs) {
  const Arguments args(rawArgs, {{}, {"all"}, {}});
  args.expectPositionals(0, 0, "chronelle tree [--all]");
  AppServices& app = ctx.app();
  const auto items = app.provider().getFlatNodeStructure(nullptr, true, args.has("all"));
  if (ctx.json()) {
    Json list = Json::array();
    for (const auto& item : items) list.push_back(nodeJson(item));
    ctx.print(Json{{"nodes", list}});
    return;
  }
  if (items.empty()) ctx.out() << "(no folders or tasks yet)\n";
  for (const auto& item : items) ctx.out() << nodeLine(item) << '\n';
}

}  // namespace chronelle::cli
