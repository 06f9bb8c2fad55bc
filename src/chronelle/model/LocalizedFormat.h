#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace chronelle {

/// The Localizer's text for `key` with every "%i" (and "%d") replaced by `number` written as a
/// whole number, as the labels with counts ("for %i seconds") need. "%%" stands for "%". Never
/// throws except on allocation failure.
std::string localizedFormat(std::string_view key, std::int64_t number);

}  // namespace chronelle
