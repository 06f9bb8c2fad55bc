#pragma once
// The library side of the benchmarks, set up as an application would: the stack on a
// store directory registered in the container with the palette, and a read provider on
// its view context.

#include <filesystem>
#include <memory>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/CoreDataStack.h"

namespace chronelle::bench {

// Opens the store in `storeDirectory` and registers the stack (and a palette) in the
// shared container for the lifetime of the fixture. One at a time; main thread.
class LibraryFixture {
 public:
  explicit LibraryFixture(const std::filesystem::path& storeDirectory);
  ~LibraryFixture();
  LibraryFixture(const LibraryFixture&) = delete;
  LibraryFixture& operator=(const LibraryFixture&) = delete;

  std::shared_ptr<CoreDataStack> stack;
  std::shared_ptr<BaseDataProvider> provider;
};

// Process-wide set-up for every library call: UTC as the process time zone (the chart's
// columns follow the current calendar; the baselines split days in UTC too), the model
// and its value transformer registered, user defaults in `scratchDirectory`. Call before
// anything else of the library, including store generation.
void prepareLibrary(const std::filesystem::path& scratchDirectory);

}  // namespace chronelle::bench
