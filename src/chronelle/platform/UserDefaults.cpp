#include "chronelle/platform/UserDefaults.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "chronelle/platform/Base64.h"
#include "chronelle/platform/Logger.h"

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

bool writeAll(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const auto n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

struct UserDefaults::Impl {
  // Guards `values` and `dirty`.
  mutable std::mutex mutex;
  nlohmann::json values = nlohmann::json::object();
  bool dirty = false;
  // Serialises `synchronize()` so an older snapshot never replaces a newer file.
  std::mutex writeMutex;

  // The entry under `key` when present and tagged `type`, else null. The file may hold
  // anything, so a tag that is not a string is no tag (json::value() would throw on it).
  const nlohmann::json* find(const std::string& key, const char* type) const {
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

  void set(const std::string& key, nlohmann::json value) {
    std::lock_guard lock(mutex);
    values[key] = std::move(value);
    dirty = true;
  }
};

UserDefaults::UserDefaults(std::filesystem::path file)
    : path_(std::move(file)), impl_(std::make_unique<Impl>()) {
  std::error_code ec;
  if (!std::filesystem::exists(path_, ec)) return;
  std::ifstream in(path_, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  try {
    auto document = nlohmann::json::parse(buffer.str());
    auto values = document.at("values");
    if (!values.is_object()) throw std::runtime_error("\"values\" is not an object");
    impl_->values = std::move(values);
  } catch (const std::exception& e) {
    // Losing the preferences is better than failing to start; the next synchronize()
    // replaces the unreadable file.
    logger().log(LogLevel::error, "Unreadable user defaults file; starting empty",
                 {{"path", MetadataValue::string(path_.string())},
                  {"error", MetadataValue::stringConvertible(e.what())}},
                 "platform", __FILE__, __func__, __LINE__);
  }
}

UserDefaults::~UserDefaults() {
  bool dirty;
  {
    std::lock_guard lock(impl_->mutex);
    dirty = impl_->dirty;
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
  if (impl_->values.erase(key) > 0) impl_->dirty = true;
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
  return impl_->values.contains(key);
}

bool UserDefaults::synchronize() {
  std::lock_guard writeLock(impl_->writeMutex);
  std::string text;
  {
    std::lock_guard lock(impl_->mutex);
    text = nlohmann::json{{"format", 1}, {"values", impl_->values}}.dump(2);
    impl_->dirty = false;
  }
  text += '\n';

  auto fail = [&](const char* step, int error) {
    logger().log(LogLevel::error, "Could not write user defaults",
                 {{"path", MetadataValue::string(path_.string())},
                  {"step", MetadataValue::string(step)},
                  {"error", MetadataValue::stringConvertible(std::strerror(error))}},
                 "platform", __FILE__, __func__, __LINE__);
    std::lock_guard lock(impl_->mutex);
    impl_->dirty = true;
    return false;
  };

  const auto directory = path_.has_parent_path() ? path_.parent_path()
                                                 : std::filesystem::path(".");
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  if (ec) return fail("create directory", ec.value());

  // Write a temporary file beside the target, flush it to disk, then rename it over the
  // target: readers (and a later launch after a crash) see the old file or the new one,
  // never a mix. The name is unique per process and call so concurrent writers do not
  // share a temporary file.
  static std::atomic<unsigned> counter{0};
  const auto temporary =
      directory / (path_.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                   std::to_string(counter.fetch_add(1)));
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return fail("create temporary file", errno);
  if (!writeAll(fd, text) || ::fsync(fd) != 0) {
    const int error = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    return fail("write temporary file", error);
  }
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return fail("close temporary file", error);
  }
  if (::rename(temporary.c_str(), path_.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return fail("rename", error);
  }
  // Make the rename itself durable.
  if (const int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

}  // namespace chronelle
