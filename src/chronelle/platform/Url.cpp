#include "chronelle/platform/Url.h"

#include <cctype>

namespace chronelle {

namespace {

bool isUnreserved(unsigned char c) {
  return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

bool isSubDelim(unsigned char c) {
  return c == '!' || c == '$' || c == '&' || c == '\'' || c == '(' || c == ')' || c == '*' ||
         c == '+' || c == ',' || c == ';' || c == '=';
}

bool isUrlCharacter(unsigned char c) {
  return isUnreserved(c) || isSubDelim(c) || c == ':' || c == '/' || c == '?' || c == '#' ||
         c == '[' || c == ']' || c == '@' || c == '%';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isValidScheme(std::string_view s) {
  if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
  for (unsigned char c : s)
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  return true;
}

std::string percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() + 0 && hexValue(text[i + 1]) >= 0 &&
        hexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Encodes what a path may not hold literally; '/' is kept as the segment separator.
std::string percentEncodePath(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (isUnreserved(c) || isSubDelim(c) || c == ':' || c == '@' || c == '/') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace

std::optional<Url> Url::parse(std::string_view text) {
  if (text.empty()) return std::nullopt;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!isUrlCharacter(c)) return std::nullopt;
    if (c == '%' && (i + 2 >= text.size() || hexValue(text[i + 1]) < 0 ||
                     hexValue(text[i + 2]) < 0))
      return std::nullopt;
  }

  Url url;
  std::string_view rest = text;
  if (auto colon = rest.find(':'); colon != std::string_view::npos &&
                                   colon < rest.find_first_of("/?#") &&
                                   isValidScheme(rest.substr(0, colon))) {
    url.scheme_ = std::string(rest.substr(0, colon));
    rest.remove_prefix(colon + 1);
  }
  if (auto hash = rest.find('#'); hash != std::string_view::npos) {
    url.fragment_ = std::string(rest.substr(hash + 1));
    rest = rest.substr(0, hash);
  }
  if (auto question = rest.find('?'); question != std::string_view::npos) {
    url.query_ = std::string(rest.substr(question + 1));
    rest = rest.substr(0, question);
  }
  if (rest.starts_with("//")) {
    url.hasAuthority_ = true;
    rest.remove_prefix(2);
    const auto slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    if (auto at = authority.rfind('@'); at != std::string_view::npos) {
      url.userInfo_ = std::string(authority.substr(0, at));
      authority.remove_prefix(at + 1);
    }
    // A port follows the last ':' unless that colon is inside an IPv6 literal.
    const auto closing = authority.rfind(']');
    if (auto colon = authority.rfind(':');
        colon != std::string_view::npos &&
        (closing == std::string_view::npos || colon > closing)) {
      const auto digits = authority.substr(colon + 1);
      if (!digits.empty()) {
        int port = 0;
        for (char c : digits) {
          if (!std::isdigit(static_cast<unsigned char>(c)) || port > 65535) return std::nullopt;
          port = port * 10 + (c - '0');
        }
        url.port_ = port;
      }
      authority = authority.substr(0, colon);
    }
    url.host_ = std::string(authority);
  }
  url.path_ = std::string(rest);
  return url;
}

Url Url::fileUrl(const std::filesystem::path& path) {
  std::error_code ec;
  auto absolute = std::filesystem::absolute(path, ec);
  if (ec) absolute = path;
  Url url;
  url.scheme_ = "file";
  url.hasAuthority_ = true;
  url.path_ = percentEncodePath(absolute.lexically_normal().string());
  return url;
}

std::optional<std::string> Url::host() const {
  if (!hasAuthority_ || host_.empty()) return std::nullopt;
  return percentDecode(host_);
}

std::string Url::path() const { return percentDecode(path_); }

std::string Url::lastPathComponent() const {
  const std::string decoded = path();
  if (decoded.empty()) return "";
  auto end = decoded.find_last_not_of('/');
  if (end == std::string::npos) return "/";
  const auto start = decoded.rfind('/', end);
  return decoded.substr(start == std::string::npos ? 0 : start + 1,
                        end - (start == std::string::npos ? 0 : start + 1) + 1);
}

Url Url::appendingPathComponent(std::string_view component) const {
  Url url = *this;
  if (url.path_.empty() ? hasAuthority_ : url.path_.back() != '/') url.path_ += '/';
  url.path_ += percentEncodePath(component);
  return url;
}

std::string Url::absoluteString() const {
  std::string out;
  if (!scheme_.empty()) out += scheme_ + ":";
  if (hasAuthority_) {
    out += "//";
    if (!userInfo_.empty()) out += userInfo_ + "@";
    out += host_;
    if (port_) out += ":" + std::to_string(*port_);
  }
  out += path_;
  if (query_) out += "?" + *query_;
  if (fragment_) out += "#" + *fragment_;
  return out;
}

bool Url::isFileUrl() const {
  if (scheme_.size() != 4) return false;
  for (std::size_t i = 0; i < 4; ++i)
    if (std::tolower(static_cast<unsigned char>(scheme_[i])) != "file"[i]) return false;
  return true;
}

std::optional<std::filesystem::path> Url::filePath() const {
  if (!isFileUrl()) return std::nullopt;
  return std::filesystem::path(path());
}

}  // namespace chronelle
