#pragma once

// Tokenizer of the predicate format language. Private to the store.

#include <cstddef>
#include <string>
#include <string_view>

#include "chronelle/store/PredicateNode.h"

namespace chronelle {

struct PredicateToken {
  enum class Kind {
    end,
    keyPath,   ///< text: the path with its dots
    number,    ///< value: integer or double
    string,    ///< value: the unescaped text
    argument,  ///< %@
    leftParen,
    rightParen,
    leftBrace,
    rightBrace,
    comma,
    comparison,      ///< op
    andKeyword,      ///< AND, &&
    orKeyword,       ///< OR, ||
    notKeyword,      ///< NOT, !
    inKeyword,       ///< IN
    literal,         ///< YES NO TRUE FALSE nil NULL; value
    truePredicate,   ///< TRUEPREDICATE
    falsePredicate,  ///< FALSEPREDICATE
    castKeyword,     ///< CAST
    unsupported,     ///< a keyword of the full language this subset leaves out; text
  };
  Kind kind = Kind::end;
  std::size_t position = 0;  ///< byte offset in the format
  std::string text;          ///< the token as written
  Value value;
  PredicateOperator op = PredicateOperator::equal;
};

/// Splits a format into tokens on demand. Throws StoreError(kInvalidPredicate) naming the
/// position for an unknown character, an unterminated string or a bad escape.
class PredicateLexer {
 public:
  explicit PredicateLexer(std::string_view format) : format_(format) {}

  /// The next token; Kind::end (repeatedly) once the format is consumed.
  PredicateToken next();

 private:
  [[noreturn]] void fail(std::size_t position, const std::string& what) const;
  PredicateToken lexNumber(std::size_t start);
  PredicateToken lexString(std::size_t start);
  PredicateToken lexWord(std::size_t start);

  std::string_view format_;
  std::size_t pos_ = 0;
};

/// The error every parse failure throws: the format, the position and what went wrong.
[[noreturn]] void throwPredicateSyntaxError(std::string_view format, std::size_t position,
                                            const std::string& what);

}  // namespace chronelle
