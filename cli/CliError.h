#pragma once

#include <stdexcept>
#include <string>

namespace chronelle::cli {

// A failure of a command, with the exit status it maps to: 2 for a usage error (unknown
// command or option, bad time or duration, unknown or ambiguous path, an entry ending before
// it begins), 1 for anything else. The message is printed after "chronelle: ". Thrown before
// anything is written, so a failing command leaves the store as it was.
class CliError : public std::runtime_error {
 public:
  enum class Kind { usage, failure };

  CliError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}

  static CliError usage(const std::string& message) { return CliError(Kind::usage, message); }
  static CliError failure(const std::string& message) { return CliError(Kind::failure, message); }

  Kind kind() const { return kind_; }
  // 2 for usage errors, 1 otherwise.
  int exitStatus() const { return kind_ == Kind::usage ? 2 : 1; }

 private:
  Kind kind_;
};

}  // namespace chronelle::cli
