#pragma once

#include <system_error>
#include <type_traits>

namespace chronelle {

/// Errors of ManagedObjectFetcher, thrown as std::system_error so callers compare codes:
///   catch (const std::system_error& e) {
///     if (e.code() == ManagedObjectFetcherError::wrongExpectedReturnObjectType) ...
/// Values start at 1 because an error_code of 0 means "no error".
enum class ManagedObjectFetcherError {
  /// A new object could not be given a permanent object ID.
  failedToObtainPermanentID = 1,
  /// The object found for an ID is not of the class the caller asked for.
  wrongExpectedReturnObjectType = 2,
};

/// The category named "ManagedObjectFetcherError". Thread-safe singleton.
const std::error_category& managedObjectFetcherErrorCategory();
std::error_code make_error_code(ManagedObjectFetcherError error);

}  // namespace chronelle

template <>
struct std::is_error_code_enum<chronelle::ManagedObjectFetcherError> : std::true_type {};
