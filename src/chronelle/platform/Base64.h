#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace chronelle {

// Standard base64 (RFC 4648 alphabet, with '=' padding). Pure functions; thread-safe.

/// The base64 text of `bytes`.
std::string base64Encode(std::span<const std::uint8_t> bytes);
/// The bytes of base64 `text`, or nothing when it is not valid padded base64.
std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text);

}  // namespace chronelle
