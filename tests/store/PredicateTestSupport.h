#pragma once

// Subjects and mappers for predicate tests: a subject over a map of key paths, and a
// mapper onto the columns of one SQLite table whose column names are the key paths.

#include <map>
#include <span>
#include <string>

#include "chronelle/store/Predicate.h"
#include "chronelle/store/StoreError.h"

namespace chronelle::testing {

inline std::string joinKeyPath(std::span<const std::string> path) {
  std::string text;
  for (const auto& component : path) text += (text.empty() ? "" : ".") + component;
  return text;
}

// Values by key path ("count", "task.archived"). Keys listed in `known` but not in
// `values` are absent; any other key is an error, as for a real entity.
class MapSubject : public PredicateSubject {
 public:
  MapSubject(std::vector<std::string> known, std::map<std::string, Value> values)
      : known_(std::move(known)), values_(std::move(values)) {}

  Value valueForKeyPath(std::span<const std::string> path) const override {
    const std::string key = joinKeyPath(path);
    if (const auto it = values_.find(key); it != values_.end()) return it->second;
    for (const auto& k : known_) {
      if (k == key) return Value();
    }
    throw StoreError(StoreError::kInvalidPredicate, "unknown key path " + key);
  }

 private:
  std::vector<std::string> known_;
  std::map<std::string, Value> values_;
};

// Maps a key path to the quoted column of the same name in table `table`.
class QuotedColumnMapper : public PredicateSqlMapper {
 public:
  QuotedColumnMapper(std::string table, std::vector<std::string> known)
      : table_(std::move(table)), known_(std::move(known)) {}

  std::string columnForKeyPath(std::span<const std::string> path) override {
    const std::string key = joinKeyPath(path);
    for (const auto& k : known_) {
      if (k == key) return table_ + ".\"" + key + "\"";
    }
    throw StoreError(StoreError::kInvalidPredicate, "unknown key path " + key);
  }

 private:
  std::string table_;
  std::vector<std::string> known_;
};

}  // namespace chronelle::testing
