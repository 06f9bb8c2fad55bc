#include "chronelle/store/ObjectID.h"

#include "chronelle/store/RandomUUID.h"

#include <array>
#include <atomic>
#include <charconv>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <unordered_set>

namespace chronelle {

namespace {

constexpr std::string_view kScheme = "x-chronelle://";

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// 8-4-4-4-12 hex digits with hyphens, either case.
bool isUUID(std::string_view text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
    if (hyphen ? text[i] != '-' : !isHexDigit(text[i])) return false;
  }
  return true;
}

// Entity names are identifiers: a letter or underscore, then letters, digits, underscores.
bool isEntityName(std::string_view text) {
  if (text.empty()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

// A positive decimal without sign or leading zero that fits 64 bits.
std::optional<std::int64_t> parsePrimaryKey(std::string_view text) {
  if (text.empty() || text[0] == '0') return std::nullopt;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  std::int64_t value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

// The one copy of `text` kept for the rest of the process. Only entity names and store
// UUIDs come here, of which a process sees a handful, so nothing is ever given back. Each
// thread remembers the texts it asked for last and finds them again without the lock: a
// listing makes thousands of IDs of the same two or three texts.
const std::string* shared(std::string_view text) {
  struct Recent {
    std::array<const std::string*, 8> texts{};
    std::size_t next = 0;
  };
  thread_local Recent recent;
  for (const std::string* known : recent.texts) {
    if (known != nullptr && known->size() == text.size() &&
        std::memcmp(known->data(), text.data(), text.size()) == 0) {
      return known;
    }
  }
  static std::mutex mutex;
  // Guarded by mutex; its elements never move or go away.
  static auto* texts = new std::unordered_set<std::string>();
  const std::string* found;
  {
    std::lock_guard lock(mutex);
    found = &*texts->emplace(text).first;
  }
  recent.texts[recent.next] = found;
  recent.next = (recent.next + 1) % recent.texts.size();
  return found;
}

// A temporary ID's UUID and the number of IDs that hold it.
struct TemporaryText : std::string {
  explicit TemporaryText(std::string_view text) : std::string(text) {}
  mutable std::atomic<std::uint32_t> references{1};
};

std::size_t combine(std::size_t seed, std::size_t value) {
  return seed ^ (value + 0x9E3779B97F4A7C15ULL + (seed << 6) + (seed >> 2));
}

}  // namespace

const std::string& ObjectID::none() {
  static const std::string empty;
  return empty;
}

void ObjectID::retain() const noexcept {
  static_cast<const TemporaryText*>(text_)->references.fetch_add(1, std::memory_order_relaxed);
}

void ObjectID::release() const noexcept {
  const auto* text = static_cast<const TemporaryText*>(text_);
  if (text->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete text;
}

std::size_t ObjectID::hash() const noexcept {
  const std::size_t text = isTemporaryID() ? std::hash<std::string>()(*text_) : std::hash<const void*>()(text_);
  return combine(combine(std::hash<const void*>()(entityName_), std::hash<std::int64_t>()(primaryKey_)), text);
}

ObjectID ObjectID::temporary(std::string_view entityName) {
  if (entityName.empty()) throw std::invalid_argument("ObjectID: empty entity name");
  ObjectID id;
  id.entityName_ = shared(entityName);
  id.text_ = new TemporaryText(randomUUIDString());
  return id;
}

ObjectID ObjectID::permanent(std::string_view entityName, std::int64_t primaryKey,
                             std::string_view storeIdentifier) {
  if (entityName.empty()) throw std::invalid_argument("ObjectID: empty entity name");
  if (primaryKey <= 0) throw std::invalid_argument("ObjectID: primary keys start at 1");
  ObjectID id;
  id.entityName_ = shared(entityName);
  id.primaryKey_ = primaryKey;
  id.text_ = shared(storeIdentifier);
  return id;
}

const std::string& ObjectID::entityName() const { return entityName_ != nullptr ? *entityName_ : none(); }

std::strong_ordering operator<=>(const ObjectID& a, const ObjectID& b) {
  if (a.entityName_ != b.entityName_) {
    if (auto order = a.entityName().compare(b.entityName()) <=> 0; order != 0) return order;
  }
  if (auto order = a.primaryKey_ <=> b.primaryKey_; order != 0) return order;
  if (a.text_ == b.text_) return std::strong_ordering::equal;
  if (auto order = a.storeIdentifier().compare(b.storeIdentifier()) <=> 0; order != 0) return order;
  // Equal texts: two copies of one temporary UUID (equal), or a permanent ID with an empty
  // store UUID beside an invalid ID (ordered after it).
  return (a.text_ != nullptr) <=> (b.text_ != nullptr);
}

std::string ObjectID::uriRepresentation() const {
  if (!isValid()) return "";
  std::string uri(kScheme);
  if (isTemporaryID()) return uri + "/" + *entityName_ + "/t" + *text_;
  return uri + *text_ + "/" + *entityName_ + "/p" + std::to_string(primaryKey_);
}

std::optional<ObjectID> ObjectID::fromURI(std::string_view uri) {
  if (!uri.starts_with(kScheme)) return std::nullopt;
  uri.remove_prefix(kScheme.size());
  // Exactly three segments: host (store UUID, empty for a temporary ID), entity, key.
  const auto firstSlash = uri.find('/');
  if (firstSlash == std::string_view::npos) return std::nullopt;
  const auto secondSlash = uri.find('/', firstSlash + 1);
  if (secondSlash == std::string_view::npos) return std::nullopt;
  const std::string_view host = uri.substr(0, firstSlash);
  const std::string_view entity = uri.substr(firstSlash + 1, secondSlash - firstSlash - 1);
  const std::string_view key = uri.substr(secondSlash + 1);
  if (!isEntityName(entity) || key.size() < 2) return std::nullopt;

  if (host.empty()) {
    if (key[0] != 't' || !isUUID(key.substr(1))) return std::nullopt;
    ObjectID id;
    id.entityName_ = shared(entity);
    id.text_ = new TemporaryText(key.substr(1));
    return id;
  }
  if (!isUUID(host) || key[0] != 'p') return std::nullopt;
  const auto primaryKey = parsePrimaryKey(key.substr(1));
  if (!primaryKey) return std::nullopt;
  return permanent(entity, *primaryKey, host);
}

}  // namespace chronelle
