#include "LibraryFixture.h"

#include <cstdlib>
#include <ctime>

#include "StoreGenerator.h"
#include "chronelle/model/ChronelleModel.h"
#include "chronelle/model/NSDictionaryValueTransformer.h"
#include "chronelle/platform/Container.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/platform/UserDefaults.h"
#include "chronelle/support/ColorSetManager.h"
#include "chronelle/support/Injector.h"

namespace chronelle::bench {

void prepareLibrary(const std::filesystem::path& scratchDirectory) {
  setenv("TZ", "UTC", 1);
  tzset();
  ChronelleModel::registerModel();
  // Rules keep their user info through it; the store refuses to open without it.
  NSDictionaryValueTransformer::registerTransformer();
  std::filesystem::create_directories(scratchDirectory);
  UserDefaults::setStandard(std::make_shared<UserDefaults>(scratchDirectory / "defaults.json"));
  MainQueue::shared();  // created on this thread: it is the main thread
}

LibraryFixture::LibraryFixture(const std::filesystem::path& storeDirectory) {
  stack = std::make_shared<CoreDataStack>(ChronelleModel::kName, storeDirectory, kStoreFileName);
  Injector::sharedSyncedContainer().registerInstance<CoreDataStack>(stack);
  Injector::sharedSyncedContainer().registerInstance<ColorSetManager>(std::make_shared<ColorSetManager>());
  provider = std::make_shared<BaseDataProvider>(stack->viewContext());
}

LibraryFixture::~LibraryFixture() {
  while (MainQueue::shared().runPending() > 0) {
  }
  provider.reset();
  Injector::sharedSyncedContainer().removeAll();
  stack.reset();
}

}  // namespace chronelle::bench
