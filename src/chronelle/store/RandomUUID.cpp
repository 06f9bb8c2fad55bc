#include "chronelle/store/RandomUUID.h"

#include <sys/random.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>

namespace chronelle {

namespace {

// The seed comes from getrandom(2), one system call. std::random_device would first ask the
// processor whether it has a random-number instruction, and in a virtual machine each such
// question traps to the host for several microseconds: a short command that adds one entry
// paid for six of them. The device stays as the fallback for a kernel without the call.
std::mt19937_64 seededEngine() {
  std::array<std::uint32_t, 8> words{};
  std::size_t filled = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(words.data());
  while (filled < sizeof words) {
    const ssize_t got = ::getrandom(bytes + filled, sizeof words - filled, 0);
    if (got <= 0) break;  // EINTR is retried; ENOSYS and the like fall back below
    filled += static_cast<std::size_t>(got);
  }
  if (filled < sizeof words) {
    std::random_device device;
    for (auto& word : words) word = device();
  }
  std::seed_seq seed(words.begin(), words.end());
  return std::mt19937_64(seed);
}

}  // namespace

std::string randomUUIDString() {
  thread_local std::mt19937_64 engine = seededEngine();
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t half = 0; half < 2; ++half) {
    const std::uint64_t bits = engine();
    for (std::size_t i = 0; i < 8; ++i) bytes[half * 8 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
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
