#include "chronelle/platform/Container.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>

namespace chronelle {

void Container::removeAll() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

std::shared_ptr<void> Container::resolveErased(std::type_index type) {
  // The lock is held while a factory runs so that it runs once even when two threads
  // resolve the service at the same moment; it is recursive because a factory usually
  // resolves the services it depends on.
  std::lock_guard lock(mutex_);
  auto it = entries_.find(type);
  if (it == entries_.end()) return nullptr;
  if (!it->second.instance && it->second.factory) {
    auto factory = std::move(it->second.factory);
    it->second.factory = nullptr;
    std::shared_ptr<void> instance;
    try {
      instance = factory();
    } catch (...) {
      // Keep the registration so that a later resolution can try again.
      auto& entry = entries_[type];
      if (!entry.instance && !entry.factory) entry.factory = std::move(factory);
      throw;
    }
    // The factory may have re-registered the type; look the entry up again.
    auto& entry = entries_[type];
    if (!entry.instance) entry.instance = std::move(instance);
    return entry.instance;
  }
  return it->second.instance;
}

void Container::missingService(const char* mangledTypeName) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangledTypeName, nullptr, nullptr, &status);
  std::fprintf(stderr, "chronelle: unregistered service %s\n",
               status == 0 && demangled ? demangled : mangledTypeName);
  std::fflush(stderr);
  std::free(demangled);
  std::abort();
}

}  // namespace chronelle
