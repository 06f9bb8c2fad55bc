#include "chronelle/store/Value.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace chronelle {

namespace {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace

std::optional<double> Value::asDouble() const {
  if (const auto* b = getIf<bool>()) return *b ? 1.0 : 0.0;
  if (const auto* i = getIf<std::int64_t>()) return static_cast<double>(*i);
  if (const auto* d = getIf<double>()) return *d;
  return std::nullopt;
}

std::optional<std::int64_t> Value::asInteger() const {
  if (const auto* b = getIf<bool>()) return *b ? 1 : 0;
  if (const auto* i = getIf<std::int64_t>()) return *i;
  if (const auto* d = getIf<double>()) {
    // Only whole numbers inside the 64-bit range have an exact integer view; 2^63 itself
    // is the first double beyond it.
    constexpr double kLimit = 9223372036854775808.0;
    if (std::isfinite(*d) && std::trunc(*d) == *d && *d >= -kLimit && *d < kLimit) {
      return static_cast<std::int64_t>(*d);
    }
  }
  return std::nullopt;
}

std::optional<bool> Value::asBool() const {
  if (const auto* b = getIf<bool>()) return *b;
  if (const auto* i = getIf<std::int64_t>()) return *i != 0;
  if (const auto* d = getIf<double>()) return *d != 0.0;
  return std::nullopt;
}

std::optional<std::string> Value::asString() const {
  if (const auto* s = getIf<std::string>()) return *s;
  return std::nullopt;
}

std::optional<Date> Value::asDate() const {
  if (const auto* d = getIf<Date>()) return *d;
  return std::nullopt;
}

std::optional<ObjectID> Value::asObjectID() const {
  if (const auto* id = getIf<ObjectID>()) return *id;
  return std::nullopt;
}

std::string Value::description() const {
  return std::visit(Overloaded{
                        [](std::monostate) -> std::string { return "nil"; },
                        [](bool b) -> std::string { return b ? "YES" : "NO"; },
                        [](std::int64_t i) -> std::string { return std::to_string(i); },
                        [](double d) -> std::string {
                          char buffer[64];
                          const auto result = std::to_chars(buffer, buffer + sizeof buffer, d);
                          return std::string(buffer, result.ptr);
                        },
                        [](const std::string& s) -> std::string {
                          std::string text = "\"";
                          for (const char c : s) {
                            if (c == '"' || c == '\\') text += '\\';
                            text += c;
                          }
                          return text + "\"";
                        },
                        [](const Date& d) -> std::string { return d.isoString(); },
                        [](const Blob& b) -> std::string {
                          static constexpr char kHex[] = "0123456789abcdef";
                          std::string text = "<";
                          for (const auto byte : b) {
                            text += kHex[byte >> 4];
                            text += kHex[byte & 0xF];
                          }
                          return text + ">";
                        },
                        [](const ObjectID& id) -> std::string {
                          return id.isValid() ? id.uriRepresentation() : "<invalid ID>";
                        },
                        [](const List& list) -> std::string {
                          std::string text = "(";
                          for (std::size_t i = 0; i < list.size(); ++i) {
                            if (i > 0) text += ", ";
                            text += list[i].description();
                          }
                          return text + ")";
                        },
                    },
                    v_);
}

}  // namespace chronelle
