#pragma once

namespace chronelle {

/// The application's activity-log manager. Its operations are the application's own; the
/// library declares the interface so that both sides name the same type, and never calls it.
class ALManagerProtocol {
 public:
  virtual ~ALManagerProtocol() = default;
};

}  // namespace chronelle
