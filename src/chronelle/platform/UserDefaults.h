#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

namespace chronelle {

// The user-defaults store: a JSON file at a path the application gives, shared by every
// process that opens it (two CLI calls, the application beside the CLI). Values are strings,
// integers, doubles, booleans, data, and arrays or dictionaries of them (as JSON).
// Reads are served from memory, reread first when another process replaced the file, so a
// getter sees another process's newer value (this instance's unwritten changes still win).
// `synchronize()` writes only the keys this instance set or removed, onto the file as it is
// at that moment, under an exclusive lock shared by all writers, and atomically (temp file +
// rename): keys others wrote meanwhile are kept, and a crash never leaves it half-written.
// A corrupt or unreadable file is logged and treated as empty. Thread-safe.
class UserDefaults {
 public:
  using Data = std::vector<std::uint8_t>;

  // Reads `file` when it exists. Does not throw for a missing, unreadable or corrupt file.
  // File format: {"format": 1, "values": {key: {"type": t, "value": v}}} with t one of
  // "string", "integer", "double", "bool", "data" (v is base64 text) or "json".
  explicit UserDefaults(std::filesystem::path file);
  // Writes unsynchronised changes (best effort; a failure is logged).
  ~UserDefaults();

  // `$CHRONELLE_HOME/defaults.json`, else `~/.local/share/chronelle/defaults.json`.
  static std::filesystem::path defaultPath();
  // The process-wide instance (created on `defaultPath()` on first use unless one was set).
  static std::shared_ptr<UserDefaults> standard();
  static void setStandard(std::shared_ptr<UserDefaults> defaults);

  const std::filesystem::path& path() const { return path_; }

  void setString(const std::string& key, const std::string& value);
  void setInteger(const std::string& key, std::int64_t value);
  void setDouble(const std::string& key, double value);
  void setBool(const std::string& key, bool value);
  void setData(const std::string& key, const Data& value);
  void setValue(const std::string& key, const nlohmann::json& value);
  void removeObject(const std::string& key);

  // Absent when missing or of another type.
  std::optional<std::string> string(const std::string& key) const;
  std::optional<Data> data(const std::string& key) const;
  std::optional<nlohmann::json> value(const std::string& key) const;
  // 0 / 0.0 / false when missing (numbers convert between integer and double; a double
  // beyond the integer range saturates). Never throw, whatever the file held.
  std::int64_t integer(const std::string& key) const;
  double doubleValue(const std::string& key) const;
  bool boolValue(const std::string& key) const;
  bool contains(const std::string& key) const;

  // Writes this instance's changes to the file (creating its directory when missing),
  // keeping every other key the file holds then; waits for another process's write to end.
  // With no change to write it returns true at once.
  // Returns false (and logs) when the write fails, keeping the changes in memory for the
  // next call. Setters only change memory: call this to persist (the destructor also does).
  bool synchronize();

 private:
  struct Impl;
  std::filesystem::path path_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace chronelle
