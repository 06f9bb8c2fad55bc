#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace chronelle::cli {

// Text that comes from outside (arguments, imported files) on its way into the store or into
// a message. Free functions; thread-safe.

// `text` in single quotes for an error message: at most `maxCharacters` characters of it
// (then "…"), with control characters and bytes that are not UTF-8 written as escapes
// (\n, \t, \x1b), so a message stays one short line whatever the input held.
std::string quoteInput(std::string_view text, std::size_t maxCharacters = 40);

// `message` made printable on one line: control characters and bytes that are not UTF-8
// escaped as in `quoteInput`, and cut to `maxBytes` (then "…"). The last guard before stderr.
std::string oneLine(std::string_view message, std::size_t maxBytes = 400);

// The longest name of a folder or task, in bytes.
inline constexpr std::size_t kMaxNameBytes = 256;
// The longest notes of an entry or task, in bytes.
inline constexpr std::size_t kMaxNotesBytes = 64 * 1024;

// Refuses (CliError, usage) a folder or task name that is blank, holds '/', a control
// character or bytes that are not UTF-8, or is longer than kMaxNameBytes. `what` names
// the value in the message ("name", "the first tag").
void checkName(std::string_view name, std::string_view what = "name");
// Refuses (CliError, usage) notes that hold bytes that are not UTF-8, control characters
// other than line feed and tab, or more than kMaxNotesBytes.
void checkNotes(std::string_view notes, std::string_view what = "notes");

}  // namespace chronelle::cli
