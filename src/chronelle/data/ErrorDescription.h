#pragma once

#include <exception>
#include <string>

namespace chronelle {

/// The text under which the data layer logs an error: a StoreError's full description
/// (domain, code, message, user info), a system error as "<category>: <message>", any other
/// exception's what(). "unknown exception" for anything else; "nil" for a null pointer.
/// Never throws except on allocation failure.
///@{
std::string describeError(const std::exception_ptr& error);
std::string describeError(const std::exception& error);
///@}

}  // namespace chronelle
