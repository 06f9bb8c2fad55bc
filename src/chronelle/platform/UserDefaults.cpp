#include "chronelle/platform/UserDefaults.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>

#include "chronelle/platform/Base64.h"
#include "chronelle/platform/Logger.h"
#include "chronelle/platform/UserDefaultsFile.h"

namespace chronelle {

// File format: `{"format": 1, "values": {"<key>": {"type": "<type>", "value": <json>}}}`,
// with type one of "string", "integer", "double", "bool", "data" (value: base64 text) or
// "json" (arrays, dictionaries and anything `setValue` stored). Tagging every entry keeps
// data apart from strings and integers apart from doubles, whatever the values hold.
namespace {

const Logger& logger() {
  static const Logger log("UserDefaults");
  return log;
}

nlohmann::json entry(const char* type, nlohmann::json value) {
  return nlohmann::json{{"type", type}, {"value", std::move(value)}};
}

}  // namespace

struct UserDefaults::Impl {
  explicit Impl(std::filesystem::path file) : path(std::move(file)) {}

  const std::filesystem::path path;
  // Guards every field below.
  mutable std::mutex mutex;
  // What the getters answer: the file as last read, with `changes` laid over it.
  nlohmann::json values = nlohmann::json::object();
  // The keys this instance set or removed since its last successful write, with their new
  // entries (null: removed). A write applies only these to the file as it is then, so keys
  // another process wrote meanwhile are kept.
  std::map<std::string, nlohmann::json> changes;
  // The version of the file `values` was read from; absent when there was none.
  std::optional<UserDefaultsFileStamp> stamp;
  // Serialises `synchronize()` within the process (the file lock does it across processes).
  std::mutex writeMutex;

  // Rereads the file when another writer replaced it since it was last read, so a getter
  // sees another process's newer value. Caller holds `mutex`.
  void refresh() {
    const auto now = stampOfDefaultsFile(path);
    if (now == stamp) return;
    load();
  }

  // Reads the file and lays this instance's unwritten changes over it. An unreadable file
  // is logged and leaves the values as they were. Caller holds `mutex`.
  void load() {
    nlohmann::json fileValues = nlohmann::json::object();
    const auto contents = readDefaultsFile(path, fileValues);
    stamp = contents.stamp;
    if (contents.state == UserDefaultsFileContents::State::unreadable) {
      // Losing the preferences is better than failing to start; the next synchronize()
      // replaces the unreadable file.
      logger().log(LogLevel::error, "Unreadable user defaults file; starting empty",
                   {{"path", MetadataValue::string(path.string())},
                    {"error", MetadataValue::stringConvertible(contents.error)}},
                   "platform", __FILE__, __func__, __LINE__);
      return;
    }
    values = std::move(fileValues);
    apply(values, changes);
  }

  static void apply(nlohmann::json& target, const std::map<std::string, nlohmann::json>& changes) {
    for (const auto& [key, entry] : changes) {
      if (entry.is_null()) {
        target.erase(key);
      } else {
        target[key] = entry;
      }
    }
  }

  // The entry under `key` when present and tagged `type`, else null. The file may hold
  // anything, so a tag that is not a string is no tag (json::value() would throw on it).
  // Caller holds `mutex`.
  const nlohmann::json* find(const std::string& key, const char* type) {
    refresh();
    auto it = values.find(key);
    if (it == values.end() || !it->is_object()) return nullptr;
    if (type) {
      const auto tag = it->find("type");
      if (tag == it->end() || !tag->is_string() || tag->get_ref<const std::string&>() != type)
        return nullptr;
    }
    auto v = it->find("value");
    return v == it->end() ? nullptr : &*v;
  }

  void set(const std::string& key, nlohmann::json entry) {
    std::lock_guard lock(mutex);
    // Setting what the file already holds leaves nothing to write: the timer stores the
    // running entry's address each time it wakes, and rewriting the file costs two syncs.
    // The file is looked at first, so a value another process changed since is still set.
    refresh();
    if (!changes.contains(key)) {
      const auto it = values.find(key);
      if (it != values.end() && *it == entry) return;
    }
    values[key] = entry;
    changes[key] = std::move(entry);
  }
};

UserDefaults::UserDefaults(std::filesystem::path file)
    : path_(std::move(file)), impl_(std::make_unique<Impl>(path_)) {
  std::lock_guard lock(impl_->mutex);
  impl_->load();
}

UserDefaults::~UserDefaults() {
  bool dirty;
  {
    std::lock_guard lock(impl_->mutex);
    dirty = !impl_->changes.empty();
  }
  if (dirty) synchronize();
}

std::filesystem::path UserDefaults::defaultPath() {
  if (const char* home = std::getenv("CHRONELLE_HOME"); home && *home)
    return std::filesystem::path(home) / "defaults.json";
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home && *home ? home : ".") / ".local" / "share" / "chronelle" /
         "defaults.json";
}

namespace {

struct StandardSlot {
  std::mutex mutex;  // guards `defaults`
  std::shared_ptr<UserDefaults> defaults;
};

StandardSlot& standardSlot() {
  static auto* s = new StandardSlot;
  return *s;
}

}  // namespace

std::shared_ptr<UserDefaults> UserDefaults::standard() {
  std::lock_guard lock(standardSlot().mutex);
  if (!standardSlot().defaults)
    standardSlot().defaults = std::make_shared<UserDefaults>(defaultPath());
  return standardSlot().defaults;
}

void UserDefaults::setStandard(std::shared_ptr<UserDefaults> defaults) {
  std::lock_guard lock(standardSlot().mutex);
  standardSlot().defaults = std::move(defaults);
}

void UserDefaults::setString(const std::string& key, const std::string& value) {
  impl_->set(key, entry("string", value));
}
void UserDefaults::setInteger(const std::string& key, std::int64_t value) {
  impl_->set(key, entry("integer", value));
}
void UserDefaults::setDouble(const std::string& key, double value) {
  impl_->set(key, entry("double", value));
}
void UserDefaults::setBool(const std::string& key, bool value) {
  impl_->set(key, entry("bool", value));
}
void UserDefaults::setData(const std::string& key, const Data& value) {
  impl_->set(key, entry("data", base64Encode(value)));
}
void UserDefaults::setValue(const std::string& key, const nlohmann::json& value) {
  impl_->set(key, entry("json", value));
}

void UserDefaults::removeObject(const std::string& key) {
  std::lock_guard lock(impl_->mutex);
  impl_->values.erase(key);
  impl_->changes[key] = nullptr;
}

std::optional<std::string> UserDefaults::string(const std::string& key) const {
  std::lock_guard lock(impl_->mutex);
  auto v = impl_->find(key, "string");
  if (!v || !v->is_string()) return std::nullopt;
  return v->get<std::string>();
}

std::optional<UserDefaults::Data> UserDefaults::data(const std::string& key) const {
  std::lock_guard lock(impl_->mutex);
  auto v = impl_->find(key, "data");
  if (!v || !v->is_string()) return std::nullopt;
  return base64Decode(v->get<std::string>());
}

std::optional<nlohmann::json> UserDefaults::value(const std::string& key) const {
  std::lock_guard lock(impl_->mutex);
  auto v = impl_->find(key, nullptr);
  if (!v) return std::nullopt;
  return *v;
}

namespace {

// Numbers convert between integer and double; booleans read as 0/1; strings that hold a
// number read as that number.
std::optional<double> numberOf(const nlohmann::json& v) {
  if (v.is_number()) return v.get<double>();
  if (v.is_boolean()) return v.get<bool>() ? 1.0 : 0.0;
  if (v.is_string()) {
    const auto& s = v.get_ref<const std::string&>();
    char* end = nullptr;
    const double d = std::strtod(s.c_str(), &end);
    if (end != s.c_str() && *end == '\0') return d;
  }
  return std::nullopt;
}

}  // namespace

std::int64_t UserDefaults::integer(const std::string& key) const {
  std::lock_guard lock(impl_->mutex);
  auto v = impl_->find(key, nullptr);
  if (!v) return 0;
  if (v->is_number_integer()) return v->get<std::int64_t>();
  auto d = numberOf(*v);
  if (!d || !std::isfinite(*d)) return 0;
  // Saturate: converting a double beyond the integer range is undefined behaviour.
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (*d >= kLimit) return std::numeric_limits<std::int64_t>::max();
  if (*d <= -kLimit) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(*d);
}

double UserDefaults::doubleValue(const std::string& key) const {
  std::lock_guard lock(impl_->mutex);
  auto v = impl_->find(key, nullptr);
  return v ? numberOf(*v).value_or(0.0) : 0.0;
}

bool UserDefaults::boolValue(const std::string& key) const {
  std::lock_guard lock(impl_->mutex);
  auto v = impl_->find(key, nullptr);
  if (!v) return false;
  if (v->is_string()) {
    auto s = v->get<std::string>();
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (s == "yes" || s == "true") return true;
  }
  auto d = numberOf(*v);
  return d && *d != 0;
}

bool UserDefaults::contains(const std::string& key) const {
  std::lock_guard lock(impl_->mutex);
  impl_->refresh();
  return impl_->values.contains(key);
}

bool UserDefaults::synchronize() {
  std::lock_guard writeLock(impl_->writeMutex);
  {
    // Nothing of this instance's to write: the file stays as it is, and a process that only
    // read its preferences neither waits for the lock nor rewrites the file.
    std::lock_guard lock(impl_->mutex);
    if (impl_->changes.empty()) return true;
  }
  // Between reading the file and renaming the new one over it no other writer may write,
  // or its keys would be lost: the file lock makes read-merge-write one step across
  // processes.
  const DefaultsFileLock fileLock(path_);
  std::map<std::string, nlohmann::json> written;
  nlohmann::json merged;
  {
    std::lock_guard lock(impl_->mutex);
    // The file as another process may have left it, then this instance's own changes.
    impl_->refresh();
    merged = impl_->values;
    written = impl_->changes;
  }
  const std::string text = nlohmann::json{{"format", 1}, {"values", merged}}.dump(2) + '\n';

  if (const auto failure = replaceDefaultsFile(path_, text)) {
    logger().log(LogLevel::error, "Could not write user defaults",
                 {{"path", MetadataValue::string(path_.string())},
                  {"step", MetadataValue::string(failure->step)},
                  {"error", MetadataValue::stringConvertible(std::strerror(failure->error))}},
                 "platform", __FILE__, __func__, __LINE__);
    return false;
  }
  if (!fileLock.locked()) {
    // Written anyway (a file system without locks): better than keeping the values off the
    // disk, but a concurrent writer may have been overwritten.
    logger().log(LogLevel::warning, "Wrote user defaults without the file lock",
                 {{"path", MetadataValue::string(path_.string())},
                  {"error", MetadataValue::stringConvertible(std::strerror(fileLock.error()))}},
                 "platform", __FILE__, __func__, __LINE__);
  }

  std::lock_guard lock(impl_->mutex);
  // A setter that ran during the write changed a key again: that change is still to write.
  for (const auto& [key, entry] : written) {
    const auto it = impl_->changes.find(key);
    if (it != impl_->changes.end() && it->second == entry) impl_->changes.erase(it);
  }
  impl_->values = std::move(merged);
  Impl::apply(impl_->values, impl_->changes);
  impl_->stamp = stampOfDefaultsFile(path_);
  return true;
}

}  // namespace chronelle
