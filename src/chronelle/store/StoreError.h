#pragma once

#include <any>
#include <map>
#include <stdexcept>
#include <string>

namespace chronelle {

/// An error of the object store, modelled on the platform's Cocoa errors: a domain, a
/// code and a user-info dictionary. Thrown by fetches, saves, lookups and set-up.
class StoreError : public std::runtime_error {
 public:
  /// Codes the library relies on.
  ///@{
  static constexpr int kObjectNotFound = 133000;           ///< existing-object lookup failed
  static constexpr int kMultipleValidationErrors = 1560;   ///< user info "NSDetailedErrors"
  static constexpr int kValidationMissingMandatoryProperty = 1570;
  static constexpr int kValidationValueType = 1550;        ///< wrong type for an attribute
  static constexpr int kValidationDeleteDeny = 1600;
  static constexpr int kOptimisticLockingFailure = 133020;
  static constexpr int kPersistentStoreOpen = 134000;      ///< cannot open / not a store
  static constexpr int kPersistentStoreIncompatibleVersion = 134100;
  static constexpr int kMigration = 134110;
  static constexpr int kSQLite = 134180;                   ///< any other SQLite failure
  static constexpr int kInvalidPredicate = 2048;           ///< a predicate that cannot run
  ///@}
  /// User-info keys.
  ///@{
  static constexpr const char* kValidationObjectKey = "NSValidationErrorObject";  ///< shared_ptr<ManagedObject>
  static constexpr const char* kValidationKeyKey = "NSValidationErrorKey";        ///< std::string
  static constexpr const char* kDetailedErrorsKey = "NSDetailedErrors";  ///< std::vector<StoreError>
  ///@}

  /// An error with `code` (one of the constants above), a message and user info.
  StoreError(int code, std::string message, std::map<std::string, std::any> userInfo = {});

  /// Always "NSCocoaErrorDomain".
  const std::string& domain() const { return domain_; }
  /// The error code.
  int code() const { return code_; }
  /// Values under the keys above.
  const std::map<std::string, std::any>& userInfo() const { return userInfo_; }
  /// "Error Domain=NSCocoaErrorDomain Code=<code> \"<message>\" UserInfo={...}".
  std::string description() const;

 private:
  std::string domain_ = "NSCocoaErrorDomain";
  int code_;
  std::map<std::string, std::any> userInfo_;
};

}  // namespace chronelle
