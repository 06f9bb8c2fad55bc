#include "chronelle/model/ApplicationBundle.h"

#include <fstream>
#include <iterator>
#include <string_view>

namespace chronelle {
namespace {

// Resolves the five predefined XML entities and numeric character references below 128;
// anything else is kept as written.
std::string unescapeXml(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    const auto semicolon = text.find(';', i);
    if (semicolon == std::string_view::npos) {
      out += text.substr(i);
      break;
    }
    const std::string_view entity = text.substr(i + 1, semicolon - i - 1);
    if (entity == "amp")
      out += '&';
    else if (entity == "lt")
      out += '<';
    else if (entity == "gt")
      out += '>';
    else if (entity == "quot")
      out += '"';
    else if (entity == "apos")
      out += '\'';
    else if (entity.size() > 1 && entity[0] == '#') {
      int code = 0;
      const bool hex = entity[1] == 'x';
      for (char c : entity.substr(hex ? 2 : 1)) {
        int digit = c >= '0' && c <= '9'          ? c - '0'
                    : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                  : -1;
        if (digit < 0 || code > 127) {
          code = -1;
          break;
        }
        code = code * (hex ? 16 : 10) + digit;
      }
      if (code >= 0 && code < 128)
        out += static_cast<char>(code);
      else
        out += text.substr(i, semicolon - i + 1);
    } else {
      out += text.substr(i, semicolon - i + 1);
    }
    i = semicolon;
  }
  return out;
}

// Skips whitespace and XML comments from `pos`.
std::size_t skipBlanks(std::string_view xml, std::size_t pos) {
  while (pos < xml.size()) {
    if (xml[pos] == ' ' || xml[pos] == '\t' || xml[pos] == '\n' || xml[pos] == '\r') {
      ++pos;
    } else if (xml.substr(pos, 4) == "<!--") {
      const auto end = xml.find("-->", pos + 4);
      if (end == std::string_view::npos) return xml.size();
      pos = end + 3;
    } else {
      break;
    }
  }
  return pos;
}

}  // namespace

std::optional<std::string> ApplicationBundle::bundleIdentifier(
    const std::filesystem::path& bundlePath) {
  std::ifstream file(bundlePath / "Contents" / "Info.plist", std::ios::binary);
  if (!file) return std::nullopt;
  const std::string content((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
  const std::string_view xml(content);
  if (xml.find("<plist") == std::string_view::npos) return std::nullopt;

  // The top-level dictionary's key; nested dictionaries rarely repeat it, and the first one
  // in document order is the bundle's own.
  constexpr std::string_view kKey = "<key>CFBundleIdentifier</key>";
  const auto key = xml.find(kKey);
  if (key == std::string_view::npos) return std::nullopt;
  auto pos = skipBlanks(xml, key + kKey.size());
  constexpr std::string_view kOpen = "<string>";
  if (xml.substr(pos, kOpen.size()) != kOpen) return std::nullopt;
  pos += kOpen.size();
  const auto close = xml.find("</string>", pos);
  if (close == std::string_view::npos) return std::nullopt;
  std::string identifier = unescapeXml(xml.substr(pos, close - pos));
  if (identifier.empty()) return std::nullopt;
  return identifier;
}

}  // namespace chronelle
