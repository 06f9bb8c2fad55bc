#include "TimerFixture.h"

#include <sstream>

#include "chronelle/platform/Localizer.h"
#include "chronelle/platform/UserDefaults.h"
#include "chronelle/support/ColorSetManager.h"
#include "chronelle/support/Injector.h"

namespace chronelle::testing {

namespace {

constexpr const char* kTimerNotifications[] = {
    CHTimer::NotificationName::willSetCurrentSession,
    CHTimer::NotificationName::didSetCurrentSession,
    CHTimer::NotificationName::durationChanged,
    CHTimer::NotificationName::stateChanged,
    CHTimer::NotificationName::started,
    CHTimer::NotificationName::paused,
    CHTimer::NotificationName::cleared,
    CHTimer::NotificationName::willDropSession,
    CHTimer::NotificationName::willRoundSession,
};

}  // namespace

Date at(int hour, int minute, double seconds) {
  return Date::fromSecondsSince1970(1'773'100'800.0 + hour * 3600.0 + minute * 60.0 + seconds);
}

TimerFixture::TimerFixture() : StackFixture(at(9)) {
  Localizer::reset();
  for (const char* name : kTimerNotifications) {
    recorders_.push_back(NotificationCenter::defaultCenter().addObserver(
        name, nullptr, [this](const Notification& n) {
          if (n.name == CHTimer::NotificationName::durationChanged) ++durationChanges_;
          events_.push_back(n);
          lastByName_[n.name] = n;
        }));
  }
  startServices();
}

TimerFixture::~TimerFixture() {
  tearDownApplication();
  recorders_.clear();
  Localizer::reset();
}

void TimerFixture::startApplication() {
  openStack();
  startServices();
}

void TimerFixture::startServices() {
  auto& container = Injector::sharedSyncedContainer();
  provider = std::make_shared<MainDataProvider>();
  container.registerInstance<MainDataProvider>(provider);
  container.registerInstance<ColorSetManager>(std::make_shared<ColorSetManager>(UserDefaults::standard()));
  prefs = std::make_shared<CHTimerPreferences>();
  timer = std::make_shared<CHTimer>();
  timer->setDataProvider(provider);
  timer->setPrefs(prefs);
  // As the start-up order lists it: the timer under its own type only.
  container.registerInstance<CHTimer>(timer);
}

void TimerFixture::tearDownApplication() {
  drain();
  Injector::sharedSyncedContainer().removeAll();
  timer.reset();
  prefs.reset();
  provider.reset();
  closeStack();
}

std::shared_ptr<Task> TimerFixture::makeTask(const std::string& name,
                                             const std::shared_ptr<Folder>& parent) {
  NodeChanges data{{NodeChangeKey::name, name}};
  if (parent) data[NodeChangeKey::parentId] = parent->objectID();
  return run(provider->createTask(std::move(data)));
}

std::shared_ptr<Folder> TimerFixture::makeFolder(const std::string& name,
                                                 const std::shared_ptr<Folder>& parent) {
  NodeChanges data{{NodeChangeKey::name, name}};
  if (parent) data[NodeChangeKey::parentId] = parent->objectID();
  return run(provider->createFolder(std::move(data)));
}

std::shared_ptr<Task> TimerFixture::taskNamed(const std::string& name) {
  for (const auto& task : provider->getAllTasks(true))
    if (task->name() == name) return task;
  ADD_FAILURE() << "no task " << name;
  return nullptr;
}

void TimerFixture::runScript(const std::string& script) {
  std::istringstream steps(script);
  std::string step;
  while (std::getline(steps, step, ';')) {
    std::istringstream in(step);
    std::string command, arg, extra;
    in >> command >> arg;
    const auto number = [](const std::string& text) {
      return text.empty() ? 0.0 : std::stod(text);
    };
    if (command == "task") {
      std::string folderName;
      in >> extra >> folderName;
      std::shared_ptr<Folder> folder;
      if (!folderName.empty()) {
        for (const auto& node : provider->getChildren(nullptr, NodeFilter::allNodes))
          if (node->name() == folderName) folder = std::dynamic_pointer_cast<Folder>(node);
        if (!folder) folder = makeFolder(folderName);
      }
      makeTask(arg, folder);
    } else if (command == "start") {
      std::string offset;
      in >> offset >> extra;
      if (offset == "auto") std::swap(offset, extra);
      auto task = arg == "-" ? nullptr : taskNamed(arg);
      run(timer->start(task, time.now() + number(offset), extra == "auto"));
    } else if (command == "pause") {
      run(timer->pause(time.now() + number(arg), false));
    } else if (command == "advance") {
      time.advance(number(arg));
    } else if (command == "prefs") {
      std::string step, minimum;
      in >> step >> minimum;
      const auto method = arg == "up"     ? RoundingMethodOption::up
                          : arg == "down" ? RoundingMethodOption::down
                                          : RoundingMethodOption::nearest;
      setPrefs(arg != "off", number(step) > 0 ? number(step) : 300, method, number(minimum));
    } else if (command == "toggle") {
      run(timer->toggle());
    } else if (command == "clear") {
      timer->clear();
    } else if (command == "clearTask") {
      timer->clearCurrentTask();
    } else if (command == "wakeup") {
      timer->wakeup();
    } else if (command == "relaunch") {
      tearDownApplication();
      startApplication();
    } else if (command == "setTask") {
      timer->setCurrentTask(taskNamed(arg));
    } else if (command == "archive") {
      run(provider->archiveNodes({taskNamed(arg)->objectID()}, false));
    } else if (command == "delete") {
      run(provider->deleteNodes({taskNamed(arg)->objectID()}));
    } else if (command == "deleteEntry") {
      run(provider->deleteTimeEntries({timer->currentSession()}));
    } else if (command == "deleteAll") {
      run(provider->executeWriteOperation(
          [](ObjectContext&, DataModifier& modifier, const ManagedObjectFetcher&) {
            modifier.deleteAllNodes();
          }));
    } else if (command == "endOutside") {
      const auto session = timer->currentSession();
      run(provider->updateTimeEntry(session->objectID(),
                                    {{TimeEntryChangeKey::end, *session->begin() + number(arg)}}));
    } else if (command == "moveEntry") {
      run(provider->updateTimeEntry(timer->currentSession()->objectID(),
                                    {{TimeEntryChangeKey::taskId, taskNamed(arg)->objectID()}}));
    } else if (command == "mark") {
      takeEvents();
    } else if (!command.empty()) {
      ADD_FAILURE() << "unknown step " << step;
    }
    drain();
  }
}

void TimerFixture::setPrefs(bool rounding, double step, RoundingMethodOption method,
                            double minimum) {
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
