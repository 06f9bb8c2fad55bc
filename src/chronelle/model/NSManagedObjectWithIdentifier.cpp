#include "chronelle/model/NSManagedObjectWithIdentifier.h"

#include <array>
#include <cstdint>
#include <random>

namespace chronelle {

std::optional<std::string> NSManagedObjectWithIdentifier::identifier() const {
  return attributeValue(kIdentifierKey).asString();
}

void NSManagedObjectWithIdentifier::setIdentifier(std::optional<std::string> identifier) {
  setValue(kIdentifierKey, identifier ? Value(std::move(*identifier)) : Value());
}

void NSManagedObjectWithIdentifier::awakeFromInsert() {
  ManagedObject::awakeFromInsert();
  if (!identifier()) setIdentifier(makeUUIDString());
}

std::string NSManagedObjectWithIdentifier::makeUUIDString() {
  // One engine per thread, seeded from the system's entropy source.
  thread_local std::mt19937_64 engine{[] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }()};
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); i += 8) {
    std::uint64_t r = engine();
    for (std::size_t j = 0; j < 8; ++j) bytes[i + j] = static_cast<std::uint8_t>(r >> (8 * j));
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(36);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
    text.push_back(kHex[bytes[i] >> 4]);
    text.push_back(kHex[bytes[i] & 0x0F]);
  }
  return text;
}

}  // namespace chronelle
