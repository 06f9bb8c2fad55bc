#pragma once

#include <memory>
#include <string>
#include <vector>

#include "chronelle/model/FlatNodeStuctureItem.h"

namespace chronelle {
class BaseDataProvider;
class Folder;
class Node;
class Task;
}  // namespace chronelle

namespace chronelle::cli {

// Finds folders and tasks by the names typed on the command line: a path of exact names
// from the top ("Clients/Acme/Website") or "@" and an identifier (or a unique prefix of
// one). Built from one listing of the whole tree, archived nodes included, so it reflects the
// store at the moment it was made. Main thread (the nodes live in the view context).
class NodeDirectory {
 public:
  enum class Kind { any, task, folder };

  explicit NodeDirectory(const BaseDataProvider& provider);

  // The node `text` names. Throws CliError (usage) when no node or several nodes of `kind`
  // match, naming the candidates.
  std::shared_ptr<Node> resolve(const std::string& text, Kind kind = Kind::any) const;
  std::shared_ptr<Task> resolveTask(const std::string& text) const;
  // The same as NodeDirectory(provider).resolveTask(text), without listing the tree when a
  // path names exactly one task: the nodes of its last name are looked up and their paths
  // checked (a command that names one task needs no more). Throws as resolveTask.
  static std::shared_ptr<Task> resolveTask(const BaseDataProvider& provider, const std::string& text);
  std::shared_ptr<Folder> resolveFolder(const std::string& text) const;
  // The node at exactly `path`, of `kind`, or null when there is none (no error).
  std::shared_ptr<Node> find(const std::string& path, Kind kind = Kind::any) const;

  // The names from the top down to `node`, joined by "/".
  static std::string pathOf(const Node& node);
  // "folder" or "task".
  static const char* kindName(const Node& node);

  // The whole tree in listing order, archived nodes included.
  const std::vector<FlatNodeStuctureItem>& items() const { return items_; }

 private:
  std::vector<FlatNodeStuctureItem> items_;
  std::vector<std::string> paths_;
};

}  // namespace chronelle::cli
