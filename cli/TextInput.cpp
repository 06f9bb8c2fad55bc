#include "TextInput.h"

#include <cstdint>
#include <cstdio>

#include "CliError.h"

namespace chronelle::cli {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0 when it is not
// one (stray continuation byte, overlong form, surrogate, beyond U+10FFFF, cut short).
std::size_t utf8Length(std::string_view text, char32_t& codePoint) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length;
  char32_t min;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, min = 0x80, codePoint = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, min = 0x800, codePoint = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, min = 0x10000, codePoint = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (byte(i) & 0x3F);
  }
  if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
  return length;
}

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

void appendEscape(std::string& out, unsigned char byte) {
  switch (byte) {
    case '\n': out += "\\n"; return;
    case '\t': out += "\\t"; return;
    case '\r': out += "\\r"; return;
    default: {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02x", byte);
      out += buffer;
    }
  }
}

// Appends `text` escaped, stopping after `maxCharacters` characters or before `maxBytes`
// bytes of output; returns whether all of it fit.
bool appendPrintable(std::string& out, std::string_view text, std::size_t maxCharacters, std::size_t maxBytes) {
  std::size_t characters = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (characters == maxCharacters || out.size() >= maxBytes) return false;
    char32_t c = 0;
    const std::size_t length = utf8Length(text.substr(i), c);
    if (length == 0) {
      appendEscape(out, static_cast<unsigned char>(text[i]));
      i += 1;
    } else if (isControl(c)) {
      if (c < 0x80) {
        appendEscape(out, static_cast<unsigned char>(c));
      } else {
        char buffer[12];
        std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
        out += buffer;
      }
      i += length;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
    ++characters;
  }
  return true;
}

// Why `text` is not acceptable text, or null: bytes that are not UTF-8, or a control
// character that `allowed` does not let through.
const char* textProblem(std::string_view text, std::string_view allowed) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    const std::size_t length = utf8Length(text.substr(i), c);
    if (length == 0) return "it is not UTF-8 text";
    if (isControl(c) && (c >= 0x80 || allowed.find(static_cast<char>(c)) == std::string_view::npos))
      return "it holds a control character";
    i += length;
  }
  return nullptr;
}

[[noreturn]] void refuse(std::string_view what, std::string_view text, const std::string& why) {
  throw CliError::usage("bad " + std::string(what) + " " + quoteInput(text) + ": " + why);
}

}  // namespace

std::string quoteInput(std::string_view text, std::size_t maxCharacters) {
  std::string out = "'";
  if (!appendPrintable(out, text, maxCharacters, std::string::npos)) out += "…";
  return out + "'";
}

std::string oneLine(std::string_view message, std::size_t maxBytes) {
  std::string out;
  if (!appendPrintable(out, message, std::string::npos, maxBytes)) out += "…";
  return out;
}

void checkName(std::string_view name, std::string_view what) {
  if (name.size() > kMaxNameBytes) {
    refuse(what, name, "longer than " + std::to_string(kMaxNameBytes) + " bytes");
  }
  if (const char* problem = textProblem(name, "")) refuse(what, name, problem);
  if (name.find_first_not_of(' ') == std::string_view::npos) refuse(what, name, "it is blank");
  if (name.find('/') != std::string_view::npos) refuse(what, name, "it contains '/'");
}

void checkNotes(std::string_view notes, std::string_view what) {
  if (notes.size() > kMaxNotesBytes) {
    refuse(what, notes, "longer than " + std::to_string(kMaxNotesBytes) + " bytes");
  }
  if (const char* problem = textProblem(notes, "\n\t")) refuse(what, notes, problem);
}

}  // namespace chronelle::cli
