#include "TimerFixture.h"

#include <cstdlib>
#include <ctime>

#include "chronelle/model/ChronelleModel.h"
#include "chronelle/model/NSDictionaryValueTransformer.h"
#include "chronelle/platform/Localizer.h"
#include "chronelle/support/Injector.h"

namespace chronelle::testing {

namespace {

constexpr const char* kTimerNotifications[] = {
    CHTimer::NotificationName::willSetCurrentSession, CHTimer::NotificationName::didSetCurrentSession,
    CHTimer::NotificationName::durationChanged,       CHTimer::NotificationName::stateChanged,
    CHTimer::NotificationName::started,               CHTimer::NotificationName::paused,
    CHTimer::NotificationName::cleared,               CHTimer::NotificationName::willDropSession,
    CHTimer::NotificationName::willRoundSession,
};

}  // namespace

Date at(int hour, int minute, double seconds) {
  return Date::fromSecondsSince1970(1'773'100'800.0 + hour * 3600.0 + minute * 60.0 + seconds);
}

TimerFixture::TimerFixture() : time(at(9)) {
  setenv("TZ", "UTC", 1);
  tzset();
  NSDictionaryValueTransformer::registerTransformer();
  ChronelleModel::registerModel();
  Localizer::reset();
  for (const char* name : kTimerNotifications) {
    recorders_.push_back(NotificationCenter::defaultCenter().addObserver(name, nullptr, [this](const Notification& n) {
      if (n.name == CHTimer::NotificationName::durationChanged) ++durationChanges_;
      events_.push_back(n);
      lastByName_[n.name] = n;
    }));
  }
  startApplication();
}

TimerFixture::~TimerFixture() {
  tearDownApplication();
  recorders_.clear();
  Localizer::reset();
}

void TimerFixture::startApplication() {
  auto& container = Injector::sharedSyncedContainer();
  auto defaults = std::make_shared<UserDefaults>(directory.file("defaults.json"));
  UserDefaults::setStandard(defaults);
  stack = std::make_shared<CoreDataStack>(ChronelleModel::kName, directory.path() / "store", "Chronelle.sqlite");
  container.registerInstance<CoreDataStack>(stack);
  provider = std::make_shared<MainDataProvider>();
  container.registerInstance<MainDataProvider>(provider);
  container.registerInstance<ColorSetManager>(std::make_shared<ColorSetManager>(defaults));
  prefs = std::make_shared<CHTimerPreferences>();
  timer = std::make_shared<CHTimer>();
  timer->setDataProvider(provider);
  timer->setPrefs(prefs);
  container.registerInstance<CHTimer>(timer);
  container.registerInstance<CurrentTimeEntrySource>(CHTimer::makeCurrentTimeEntrySource(timer));
}

void TimerFixture::tearDownApplication() {
  drain();
  Injector::sharedSyncedContainer().removeAll();
  timer.reset();
  prefs.reset();
  provider.reset();
  stack.reset();
  drain();
  UserDefaults::setStandard(nullptr);
}

std::shared_ptr<Task> TimerFixture::makeTask(const std::string& name, const std::shared_ptr<Folder>& parent) {
  NodeChanges data{{NodeChangeKey::name, name}};
  if (parent) data[NodeChangeKey::parentId] = parent->objectID();
  return run(provider->createTask(std::move(data)));
}

std::shared_ptr<Folder> TimerFixture::makeFolder(const std::string& name, const std::shared_ptr<Folder>& parent) {
  NodeChanges data{{NodeChangeKey::name, name}};
  if (parent) data[NodeChangeKey::parentId] = parent->objectID();
  return run(provider->createFolder(std::move(data)));
}

void TimerFixture::setPrefs(bool rounding, double step, RoundingMethodOption method, double minimum) {
  prefs->setValues({rounding, step, method, minimum});
}

std::string TimerFixture::takeEvents(bool withDuration) {
  std::string text;
  for (const auto& event : events_) {
    if (!withDuration && event.name == CHTimer::NotificationName::durationChanged) continue;
    text += (text.empty() ? "" : " ") + event.name;
  }
  events_.clear();
  return text;
}

Notification TimerFixture::last(const std::string& name) const {
  auto it = lastByName_.find(name);
  return it == lastByName_.end() ? Notification() : it->second;
}

}  // namespace chronelle::testing
