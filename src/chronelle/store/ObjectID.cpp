#include "chronelle/store/ObjectID.h"

#include <charconv>
#include <random>
#include <stdexcept>

namespace chronelle {

namespace {

constexpr std::string_view kScheme = "x-chronelle://";

// A version-4 UUID in canonical uppercase form. One generator per thread, seeded once
// from the system's entropy source, so IDs made on different threads never share a stream.
std::string randomUUID() {
  thread_local std::mt19937_64 engine = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(),
                       device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }();
  std::uint8_t bytes[16];
  for (int half = 0; half < 2; ++half) {
    std::uint64_t bits = engine();
    for (int i = 0; i < 8; ++i) {
      bytes[half * 8 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(36);
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0xF];
  }
  return text;
}

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

}  // namespace

ObjectID ObjectID::temporary(std::string entityName) {
  if (entityName.empty()) throw std::invalid_argument("ObjectID: empty entity name");
  ObjectID id;
  id.entityName_ = std::move(entityName);
  id.key_ = randomUUID();
  return id;
}

ObjectID ObjectID::permanent(std::string entityName, std::int64_t primaryKey,
                             std::string storeIdentifier) {
  if (entityName.empty()) throw std::invalid_argument("ObjectID: empty entity name");
  if (primaryKey <= 0) throw std::invalid_argument("ObjectID: primary keys start at 1");
  ObjectID id;
  id.entityName_ = std::move(entityName);
  id.primaryKey_ = primaryKey;
  id.key_ = std::move(storeIdentifier);
  return id;
}

std::string ObjectID::uriRepresentation() const {
  if (!isValid()) return "";
  std::string uri(kScheme);
  if (isTemporaryID()) return uri + "/" + entityName_ + "/t" + key_;
  return uri + key_ + "/" + entityName_ + "/p" + std::to_string(primaryKey_);
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

  ObjectID id;
  id.entityName_ = std::string(entity);
  if (host.empty()) {
    if (key[0] != 't' || !isUUID(key.substr(1))) return std::nullopt;
    id.key_ = std::string(key.substr(1));
    return id;
  }
  if (!isUUID(host) || key[0] != 'p') return std::nullopt;
  const auto primaryKey = parsePrimaryKey(key.substr(1));
  if (!primaryKey) return std::nullopt;
  id.primaryKey_ = *primaryKey;
  id.key_ = std::string(host);
  return id;
}

}  // namespace chronelle
