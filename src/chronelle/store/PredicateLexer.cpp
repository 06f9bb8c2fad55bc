#include "chronelle/store/PredicateLexer.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <utility>

#include "chronelle/store/StoreError.h"

namespace chronelle {

namespace {

using Kind = PredicateToken::Kind;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isWordStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool isWordChar(char c) { return isWordStart(c) || isDigit(c); }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Keywords of the full language that this subset does not implement: rejecting them by
// name gives a clearer error than reading them as key paths.
constexpr std::array<std::string_view, 13> kUnsupportedKeywords = {
    "BETWEEN", "CONTAINS", "BEGINSWITH", "ENDSWITH", "LIKE",     "MATCHES", "ANY",
    "ALL",     "SOME",     "NONE",       "SUBQUERY", "FUNCTION", "SELF"};

void appendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

void throwPredicateSyntaxError(std::string_view format, std::size_t position,
                               const std::string& what) {
  throw StoreError(StoreError::kInvalidPredicate, "Unable to parse the format string \"" +
                                                      std::string(format) + "\" at position " +
                                                      std::to_string(position) + ": " + what);
}

void PredicateLexer::fail(std::size_t position, const std::string& what) const {
  throwPredicateSyntaxError(format_, position, what);
}

PredicateToken PredicateLexer::next() {
  while (pos_ < format_.size() && (format_[pos_] == ' ' || format_[pos_] == '\t' ||
                                   format_[pos_] == '\n' || format_[pos_] == '\r')) {
    ++pos_;
  }
  PredicateToken token;
  token.position = pos_;
  if (pos_ >= format_.size()) return token;

  const char c = format_[pos_];
  const char following = pos_ + 1 < format_.size() ? format_[pos_ + 1] : '\0';
  const auto punctuation = [&](Kind kind, std::size_t length,
                               PredicateOperator op = PredicateOperator::equal) {
    token.kind = kind;
    token.op = op;
    token.text = std::string(format_.substr(pos_, length));
    pos_ += length;
    return token;
  };

  if (isDigit(c) || (c == '-' && isDigit(following))) return lexNumber(pos_);
  if (c == '"' || c == '\'') return lexString(pos_);
  if (isWordStart(c)) return lexWord(pos_);
  switch (c) {
    case '(':
      return punctuation(Kind::leftParen, 1);
    case ')':
      return punctuation(Kind::rightParen, 1);
    case '{':
      return punctuation(Kind::leftBrace, 1);
    case '}':
      return punctuation(Kind::rightBrace, 1);
    case ',':
      return punctuation(Kind::comma, 1);
    case '=':
      if (following == '=') return punctuation(Kind::comparison, 2, PredicateOperator::equal);
      if (following == '<') return punctuation(Kind::comparison, 2, PredicateOperator::lessOrEqual);
      if (following == '>')
        return punctuation(Kind::comparison, 2, PredicateOperator::greaterOrEqual);
      return punctuation(Kind::comparison, 1, PredicateOperator::equal);
    case '!':
      if (following == '=') return punctuation(Kind::comparison, 2, PredicateOperator::notEqual);
      return punctuation(Kind::notKeyword, 1);
    case '<':
      if (following == '=') return punctuation(Kind::comparison, 2, PredicateOperator::lessOrEqual);
      if (following == '>') return punctuation(Kind::comparison, 2, PredicateOperator::notEqual);
      return punctuation(Kind::comparison, 1, PredicateOperator::less);
    case '>':
      if (following == '=')
        return punctuation(Kind::comparison, 2, PredicateOperator::greaterOrEqual);
      return punctuation(Kind::comparison, 1, PredicateOperator::greater);
    case '&':
      if (following == '&') return punctuation(Kind::andKeyword, 2);
      fail(pos_, "expected \"&&\"");
    case '|':
      if (following == '|') return punctuation(Kind::orKeyword, 2);
      fail(pos_, "expected \"||\"");
    case '%':
      if (following == '@') return punctuation(Kind::argument, 2);
      fail(pos_, "unsupported format specifier (only %@ is supported)");
    default:
      fail(pos_, std::string("unexpected character '") + c + "'");
  }
}

PredicateToken PredicateLexer::lexNumber(std::size_t start) {
  std::size_t end = start;
  if (format_[end] == '-') ++end;
  bool isInteger = true;
  while (end < format_.size() && isDigit(format_[end])) ++end;
  if (end < format_.size() && format_[end] == '.') {
    isInteger = false;
    ++end;
    if (end >= format_.size() || !isDigit(format_[end]))
      fail(end, "expected a digit after the decimal point");
    while (end < format_.size() && isDigit(format_[end])) ++end;
  }
  if (end < format_.size() && (format_[end] == 'e' || format_[end] == 'E')) {
    isInteger = false;
    ++end;
    if (end < format_.size() && (format_[end] == '+' || format_[end] == '-')) ++end;
    if (end >= format_.size() || !isDigit(format_[end]))
      fail(end, "expected a digit in the exponent");
    while (end < format_.size() && isDigit(format_[end])) ++end;
  }
  if (end < format_.size() && isWordChar(format_[end]))
    fail(end, "unexpected character after a number");

  PredicateToken token;
  token.kind = Kind::number;
  token.position = start;
  token.text = std::string(format_.substr(start, end - start));
  const char* first = format_.data() + start;
  const char* last = format_.data() + end;
  std::int64_t integer = 0;
  if (isInteger && std::from_chars(first, last, integer).ec == std::errc()) {
    token.value = Value(integer);
  } else {
    // Fractions, exponents and integers beyond 64 bits are doubles.
    double number = 0;
    const auto result = std::from_chars(first, last, number);
    if (result.ec != std::errc()) fail(start, "number out of range");
    token.value = Value(number);
  }
  pos_ = end;
  return token;
}

PredicateToken PredicateLexer::lexString(std::size_t start) {
  const char quote = format_[start];
  std::string text;
  std::size_t i = start + 1;
  for (;;) {
    if (i >= format_.size()) fail(start, "unterminated string");
    const char c = format_[i];
    if (c == quote) break;
    if (c != '\\') {
      text += c;
      ++i;
      continue;
    }
    if (i + 1 >= format_.size()) fail(start, "unterminated string");
    const char escaped = format_[i + 1];
    switch (escaped) {
      case '\\':
      case '"':
      case '\'':
        text += escaped;
        break;
      case 'n':
        text += '\n';
        break;
      case 't':
        text += '\t';
        break;
      case 'r':
        text += '\r';
        break;
      case 'u': {
        std::uint32_t code = 0;
        const char* first = format_.data() + i + 2;
        const auto available = format_.size() - (i + 2);
        const auto result =
            std::from_chars(first, first + std::min<std::size_t>(4, available), code, 16);
        if (available < 4 || result.ptr != first + 4) fail(i, "expected four hex digits after \\u");
        appendUtf8(text, code);
        i += 4;
        break;
      }
      default:
        fail(i, std::string("unknown escape \\") + escaped);
    }
    i += 2;
  }
  PredicateToken token;
  token.kind = Kind::string;
  token.position = start;
  token.text = std::string(format_.substr(start, i + 1 - start));
  token.value = Value(std::move(text));
  pos_ = i + 1;
  return token;
}

PredicateToken PredicateLexer::lexWord(std::size_t start) {
  std::size_t end = start;
  for (;;) {
    while (end < format_.size() && isWordChar(format_[end])) ++end;
    if (end < format_.size() && format_[end] == '.') {
      if (end + 1 >= format_.size() || !isWordStart(format_[end + 1]))
        fail(end + 1, "expected a key after '.'");
      ++end;
      continue;
    }
    break;
  }
  PredicateToken token;
  token.position = start;
  token.text = std::string(format_.substr(start, end - start));
  pos_ = end;
  const std::string_view word = token.text;
  const auto keyword = [&](Kind kind, Value value = {}) {
    token.kind = kind;
    token.value = std::move(value);
    return token;
  };
  if (equalsIgnoringCase(word, "AND")) return keyword(Kind::andKeyword);
  if (equalsIgnoringCase(word, "OR")) return keyword(Kind::orKeyword);
  if (equalsIgnoringCase(word, "NOT")) return keyword(Kind::notKeyword);
  if (equalsIgnoringCase(word, "IN")) return keyword(Kind::inKeyword);
  if (equalsIgnoringCase(word, "YES") || equalsIgnoringCase(word, "TRUE"))
    return keyword(Kind::literal, true);
  if (equalsIgnoringCase(word, "NO") || equalsIgnoringCase(word, "FALSE"))
    return keyword(Kind::literal, false);
  if (equalsIgnoringCase(word, "NIL") || equalsIgnoringCase(word, "NULL"))
    return keyword(Kind::literal);
  if (equalsIgnoringCase(word, "TRUEPREDICATE")) return keyword(Kind::truePredicate);
  if (equalsIgnoringCase(word, "FALSEPREDICATE")) return keyword(Kind::falsePredicate);
  if (equalsIgnoringCase(word, "CAST")) return keyword(Kind::castKeyword);
  for (const auto unsupported : kUnsupportedKeywords) {
    if (equalsIgnoringCase(word, unsupported)) return keyword(Kind::unsupported);
  }
  token.kind = Kind::keyPath;
  return token;
}

}  // namespace chronelle
