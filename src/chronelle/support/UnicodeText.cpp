#include "chronelle/support/UnicodeText.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <memory>

namespace chronelle {
namespace {

bool isWhitespaceOrNewline(UChar32 c) {
  if ((c >= 0x09 && c <= 0x0D) || c == 0x85) return true;
  const int8_t type = u_charType(c);
  return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR ||
         type == U_PARAGRAPH_SEPARATOR;
}

// Decodes the code point at `offset` and advances it; a malformed sequence yields a negative
// value and advances by at least one byte, so a loop over any input ends.
UChar32 nextCodePoint(std::string_view text, int32_t& offset) {
  UChar32 c = 0;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  U8_NEXT(bytes, offset, length, c);
  return c;
}

}  // namespace

std::string trimmingWhitespaceAndNewlines(std::string_view text) {
  // Find the first and last code points that are not whitespace, working on byte offsets so
  // the kept middle is copied unchanged (even when it holds malformed bytes).
  int32_t offset = 0;
  const auto length = static_cast<int32_t>(text.size());
  int32_t keepBegin = length;
  int32_t keepEnd = 0;
  while (offset < length) {
    const int32_t start = offset;
    const UChar32 c = nextCodePoint(text, offset);
    if (c >= 0 && isWhitespaceOrNewline(c)) continue;
    if (keepBegin == length) keepBegin = start;
    keepEnd = offset;
  }
  if (keepBegin >= keepEnd) return {};
  return std::string(text.substr(static_cast<std::size_t>(keepBegin),
                                 static_cast<std::size_t>(keepEnd - keepBegin)));
}

std::string lowercased(std::string_view text) {
  icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  unicode.toLower(icu::Locale::getRoot());
  std::string result;
  unicode.toUTF8String(result);
  return result;
}

std::size_t characterCount(std::string_view text) {
  if (text.empty()) return 0;
  // ASCII needs no segmentation data: every character is its own cluster except that a
  // carriage return joins the line feed after it. Colour strings, IDs and most names take
  // this path, which the charts hit once per task.
  if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    std::size_t count = text.size();
    for (std::size_t i = 1; i < text.size(); ++i) {
      if (text[i - 1] == '\r' && text[i] == '\n') --count;
    }
    return count;
  }
  const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  // Building a break iterator loads and compiles its rules, far dearer than a walk over a
  // name: one per thread is kept and pointed at each new text. It refers to `unicode` only
  // until the next call sets another text.
  thread_local const std::unique_ptr<icu::BreakIterator> iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> made(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    return U_FAILURE(status) ? nullptr : std::move(made);
  }();
  if (!iterator) {
    // Without break data, code points are the closest count ICU can still give.
    return static_cast<std::size_t>(unicode.countChar32());
  }
  iterator->setText(unicode);
  std::size_t count = 0;
  for (int32_t boundary = iterator->next(); boundary != icu::BreakIterator::DONE;
       boundary = iterator->next()) {
    ++count;
  }
  return count;
}

}  // namespace chronelle
