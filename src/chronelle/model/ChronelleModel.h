#pragma once

#include <memory>

#include "chronelle/store/ObjectModel.h"

namespace chronelle {

/// The application's object model: folders and tasks (one "Node" table), time entries, rule
/// sets, rules (one "RuleBase" table) and activity-log entries (one "ALEntry" table), each
/// entity with its C++ class as factory. Delete rules: deleting a node deletes its children,
/// recursively, and a task's time entries and rule set; deleting a rule set deletes its
/// rules, and deleting a combination the rules inside it. Every to-one side nullifies.
class ChronelleModel {
 public:
  ChronelleModel() = delete;

  /// The name the model is registered under, which the application passes to its stack.
  static constexpr const char* kName = "ChronelleData";
  /// The current version; older versions are migrated by the store on opening.
  /// Version 2 indexes the length of time entries; version 3 indexes each task's entries
  /// with their confirmed durations, so recounting a task's total reads no entry rows;
  /// version 4 has the store keep each task's sum of its entries' confirmed durations.
  static constexpr int kVersion = 4;

  /// A new, finalised model of the current version (not registered). Throws std::logic_error
  /// only if the model were inconsistent, which tests rule out.
  static std::shared_ptr<const ObjectModel> build();
  /// The same for an older `version` (1 ... kVersion), as its stores were written. Throws
  /// std::invalid_argument for another number.
  static std::shared_ptr<const ObjectModel> build(int version);

  /// Builds and registers the model with the ModelRegistry the first time it is called, and
  /// returns the registered model on every call. Thread-safe; idempotent.
  static std::shared_ptr<const ObjectModel> registerModel();
};

}  // namespace chronelle
