#pragma once

#include <string>

namespace chronelle {

/// A new random (version 4) UUID in canonical upper-case form: 36 characters with hyphens.
/// Each thread draws from its own generator, seeded once from the kernel's entropy source,
/// so identifiers made on different threads never share a stream. Thread-safe.
std::string randomUUIDString();

}  // namespace chronelle
