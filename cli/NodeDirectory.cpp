#include "NodeDirectory.h"

#include <algorithm>

#include "CliError.h"
#include "TextInput.h"
#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Task.h"
#include "chronelle/store/FetchRequest.h"
#include "chronelle/store/ObjectContext.h"
#include "chronelle/store/Predicate.h"

namespace chronelle::cli {
namespace {

bool isKind(const Node& node, NodeDirectory::Kind kind) {
  switch (kind) {
    case NodeDirectory::Kind::task:
      return dynamic_cast<const Task*>(&node) != nullptr;
    case NodeDirectory::Kind::folder:
      return dynamic_cast<const Folder*>(&node) != nullptr;
    case NodeDirectory::Kind::any:
      break;
  }
  return true;
}

const char* wanted(NodeDirectory::Kind kind) {
  switch (kind) {
    case NodeDirectory::Kind::task:
      return "task";
    case NodeDirectory::Kind::folder:
      return "folder";
    case NodeDirectory::Kind::any:
      break;
  }
  return "node";
}

std::string joinCandidates(const std::vector<std::string>& names) {
  std::string text;
  const std::size_t shown = std::min<std::size_t>(names.size(), 12);
  for (std::size_t i = 0; i < shown; ++i) text += (i ? ", " : "") + names[i];
  if (names.size() > shown) text += ", …";
  return text;
}

}  // namespace

NodeDirectory::NodeDirectory(const BaseDataProvider& provider)
    : items_(provider.getFlatNodeStructure(nullptr, true, true)) {
  paths_.reserve(items_.size());
  for (const auto& item : items_) paths_.push_back(pathOf(*item.node));
}

std::string NodeDirectory::pathOf(const Node& node) {
  std::string path = node.name();
  for (const auto& parent : node.allParents()) path = parent->name() + "/" + path;
  return path;
}

const char* NodeDirectory::kindName(const Node& node) {
  return dynamic_cast<const Folder*>(&node) != nullptr ? "folder" : "task";
}

std::shared_ptr<Node> NodeDirectory::find(const std::string& path, Kind kind) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (paths_[i] == path && isKind(*items_[i].node, kind)) return items_[i].node;
  }
  return nullptr;
}

std::shared_ptr<Node> NodeDirectory::resolve(const std::string& text, Kind kind) const {
  if (text.empty()) throw CliError::usage(std::string("empty ") + wanted(kind) + " path");
  std::vector<std::size_t> matches;
  if (text.front() == '@') {
    const std::string id = text.substr(1);
    for (std::size_t i = 0; i < items_.size(); ++i) {
      const auto identifier = items_[i].node->identifier().value_or("");
      if (!id.empty() && identifier.rfind(id, 0) == 0 && isKind(*items_[i].node, kind)) {
        if (identifier == id) {
          matches = {i};
          break;
        }
        matches.push_back(i);
      }
    }
  } else {
    for (std::size_t i = 0; i < items_.size(); ++i) {
      if (paths_[i] == text && isKind(*items_[i].node, kind)) matches.push_back(i);
    }
  }
  if (matches.size() == 1) return items_[matches.front()].node;

  std::vector<std::string> candidates;
  if (matches.size() > 1) {
    for (auto i : matches) candidates.push_back(paths_[i] + " (@" + items_[i].node->identifier().value_or("") + ")");
    throw CliError::usage(std::string("ambiguous ") + wanted(kind) + " " + quoteInput(text) + ": " + joinCandidates(candidates));
  }
  if (text.front() != '@') {
    // Nodes of that name elsewhere, else what the deepest existing folder on the path holds.
    const std::string name = text.substr(text.rfind('/') == std::string::npos ? 0 : text.rfind('/') + 1);
    for (std::size_t i = 0; i < items_.size(); ++i) {
      if (items_[i].node->name() == name && isKind(*items_[i].node, kind)) candidates.push_back(paths_[i]);
    }
    if (candidates.empty()) {
      std::string prefix = text;
      while (candidates.empty()) {
        const auto slash = prefix.rfind('/');
        prefix = slash == std::string::npos ? "" : prefix.substr(0, slash);
        for (std::size_t i = 0; i < items_.size(); ++i) {
          const auto parent = items_[i].node->parent();
          const bool inside = prefix.empty() ? !parent : parent && pathOf(*parent) == prefix;
          if (inside) candidates.push_back(paths_[i]);
        }
        if (prefix.empty()) break;
      }
    }
  }
  throw CliError::usage(std::string("no ") + wanted(kind) + " " + quoteInput(text) +
                        (candidates.empty() ? "" : "; candidates: " + joinCandidates(candidates)));
}

std::shared_ptr<Task> NodeDirectory::resolveTask(const std::string& text) const {
  return std::dynamic_pointer_cast<Task>(resolve(text, Kind::task));
}

std::shared_ptr<Task> NodeDirectory::resolveTask(const BaseDataProvider& provider, const std::string& text) {
  if (!text.empty() && text.front() != '@') {
    const auto slash = text.rfind('/');
    FetchRequest request(Node::kEntityName);
    request.predicate = Predicate::parse("name == %@", {Value(slash == std::string::npos ? text : text.substr(slash + 1))});
    std::vector<std::shared_ptr<Task>> matches;
    try {
      for (const auto& object : provider.context()->fetch(request)) {
        auto task = std::dynamic_pointer_cast<Task>(object);
        if (!task) continue;
        // The listing holds the nodes under folders only, from the top.
        const auto parents = task->allParents();
        const bool listed = std::all_of(parents.begin(), parents.end(),
                                        [](const auto& parent) { return dynamic_cast<const Folder*>(parent.get()); });
        if (listed && pathOf(*task) == text) matches.push_back(std::move(task));
      }
    } catch (const std::exception&) {
      matches.clear();  // the listing below reports what is wrong
    }
    if (matches.size() == 1) return matches.front();
  }
  return NodeDirectory(provider).resolveTask(text);
}

std::shared_ptr<Folder> NodeDirectory::resolveFolder(const std::string& text) const {
  return std::dynamic_pointer_cast<Folder>(resolve(text, Kind::folder));
}

}  // namespace chronelle::cli
