// The program the crash test kills: it opens a store through the library the way the
// application does and writes in a seeded loop, printing one line before each write
// ("intent …") and one after the write has returned ("ack …"), flushed at once, so the test
// knows which writes were acknowledged when it killed the process.
//
//   reliability_writer STORE_DIR SEED OPERATIONS [die-after-entry-save]
//
// Its first line is "pid <process id>". With no tasks in the store it first creates a small tree (folders F/G, tasks). Then it
// performs OPERATIONS writes (create, re-time, move or delete an entry; start or pause the
// timer) and exits normally. Instants are printed as whole seconds since 1970.
//
// die-after-entry-save makes it create one finished entry and kill itself
// as soon as the save of that entry has been committed, before the recount of its task's
// total is saved: the moment at which a real crash leaves stale totals behind. The write is
// announced but never acknowledged.

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "chronelle/data/CoreDataStack.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/ChronelleModel.h"
#include "chronelle/model/CurrentTimeEntrySource.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/NSDictionaryValueTransformer.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/platform/TimerScheduler.h"
#include "chronelle/platform/UserDefaults.h"
#include "chronelle/support/ColorSetManager.h"
#include "chronelle/support/Injector.h"
#include "chronelle/timer/CHTimer.h"
#include "chronelle/timer/CHTimerPreferences.h"

using namespace chronelle;

namespace {

void say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

long long seconds(Date date) { return static_cast<long long>(date.timeIntervalSince1970()); }
std::string id(const NSManagedObjectWithIdentifier& object) { return object.identifier().value_or("?"); }

template <class T>
T run(asio::awaitable<T> op) {
  return MainQueue::shared().runUntilComplete(std::move(op));
}

// Lets the main queue do what follows a write (the recount of totals, notifications), as the
// application's run loop would.
void settle() {
  while (MainQueue::shared().runPending() > 0) {
  }
}

class Writer {
 public:
  Writer(const std::string& directory, unsigned seed) : random_(seed) {
    clock_ = std::make_shared<ManualClock>(Date::fromSecondsSince1970(1'767'225'600.0 + seed % 1000 * 86400.0));
    Clock::install(clock_);
    TimerScheduler::install(std::make_shared<ManualTimerScheduler>(clock_));
    auto defaults = std::make_shared<UserDefaults>(directory + "/defaults.json");
    UserDefaults::setStandard(defaults);
    NSDictionaryValueTransformer::registerTransformer();
    ChronelleModel::registerModel();
    auto container = Injector::shared();
    stack_ = std::make_shared<CoreDataStack>(ChronelleModel::kName, directory, "chronelle.sqlite");
    container->registerInstance<CoreDataStack>(stack_);
    provider_ = std::make_shared<MainDataProvider>();
    container->registerInstance<MainDataProvider>(provider_);
    container->registerInstance<ColorSetManager>(std::make_shared<ColorSetManager>(defaults));
    timer_ = std::make_shared<CHTimer>();
    timer_->setDataProvider(provider_);
    timer_->setPrefs(std::make_shared<CHTimerPreferences>());
    container->registerInstance<CHTimer>(timer_);
    container->registerInstance<CurrentTimeEntrySource>(timer_);
    timer_->wakeup();
    settle();
  }

  void setUpTreeIfEmpty() {
    tasks_ = provider_->getAllTasks(false);
    if (!tasks_.empty()) return;
    auto changes = [](const std::string& name, const std::shared_ptr<Folder>& parent) {
      NodeChanges result{{NodeChangeKey::name, name}};
      if (parent) result[NodeChangeKey::parentId] = parent->objectID();
      return result;
    };
    const auto f = run(provider_->createFolder(changes("F", nullptr)));
    const auto g = run(provider_->createFolder(changes("G", f)));
    for (const auto& [name, parent] : std::vector<std::pair<std::string, std::shared_ptr<Folder>>>{
             {"A", g}, {"B", g}, {"C", f}, {"D", nullptr}}) {
      tasks_.push_back(run(provider_->createTask(changes(name, parent))));
      settle();
    }
    say("ready");
  }

  void write() {
    std::vector<std::shared_ptr<Session>> entries;
    for (const auto& entry : provider_->getSessions(std::nullopt)) {
      if (entry != timer_->currentSession()) entries.push_back(entry);
    }
    const int kind = pick(entries.empty() ? 3 : 10);
    if (kind <= 1) {
      create();
    } else if (kind == 2) {
      timer_->isRunning() ? pause() : start();
    } else {
      auto& entry = *entries[static_cast<std::size_t>(pick(static_cast<int>(entries.size())))];
      if (kind <= 5) {
        retime(entry);
      } else if (kind <= 7) {
        move(entry);
      } else {
        remove(entry);
      }
    }
    settle();
  }

  void create() {
    const auto& task = randomTask();
    const Date begin = randomInstant();
    const Date end = begin.addingTimeInterval(1 + pick(7200));
    say("intent create " + id(*task) + " " + std::to_string(seconds(begin)) + " " + std::to_string(seconds(end)));
    const auto entry = run(provider_->createTimeEntry(begin, end, task->objectID(), false, std::nullopt));
    say("ack create " + id(*entry));
  }

  // Kills the process on the first committed save of the view context.
  void dieAfterNextSave() {
    dieOnSave_ = NotificationCenter::defaultCenter().addObserver(
        ObjectContext::kDidSaveNotification, stack_->viewContext().get(),
        [](const Notification&) { ::raise(SIGKILL); });
  }

  void retime(Session& entry) {
    const Date begin = randomInstant();
    const Date end = begin.addingTimeInterval(pick(7200));
    say("intent retime " + id(entry) + " " + std::to_string(seconds(begin)) + " " + std::to_string(seconds(end)));
    run(provider_->updateTimeEntry(entry.objectID(), {{TimeEntryChangeKey::begin, begin},
                                                       {TimeEntryChangeKey::end, end}}));
    say("ack retime " + id(entry));
  }

  void move(Session& entry) {
    const auto& task = randomTask();
    say("intent move " + id(entry) + " " + id(*task));
    run(provider_->updateTimeEntry(entry.objectID(), {{TimeEntryChangeKey::taskId, task->objectID()}}));
    say("ack move " + id(entry));
  }

  void remove(Session& entry) {
    say("intent delete " + id(entry));
    const std::string identifier = id(entry);
    run(provider_->deleteTimeEntries({std::static_pointer_cast<Session>(entry.shared_from_this())}));
    say("ack delete " + identifier);
  }

  void start() {
    const auto& task = randomTask();
    clock_->advance(60 + pick(3600));
    const Date begin = clock_->now();
    say("intent start " + id(*task) + " " + std::to_string(seconds(begin)));
    const auto entry = run(timer_->start(task, begin, false));
    if (!entry) {
      say("failed start");
      std::exit(3);
    }
    say("ack start " + id(*entry));
  }

  void pause() {
    const auto entry = timer_->currentSession();
    if (clock_->now() < *entry->begin()) clock_->set(*entry->begin());
    clock_->advance(1 + pick(3600));
    const Date at = clock_->now();
    say("intent pause " + id(*entry) + " " + std::to_string(seconds(at)));
    run(timer_->pause(at, false));
    say("ack pause " + id(*entry));
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  const std::shared_ptr<Task>& randomTask() { return tasks_[static_cast<std::size_t>(pick(static_cast<int>(tasks_.size())))]; }
  // A whole second in 2026.
  Date randomInstant() { return Date::fromSecondsSince1970(1'767'225'600.0 + pick(365 * 86400)); }

  std::mt19937 random_;
  std::shared_ptr<ManualClock> clock_;
  std::shared_ptr<CoreDataStack> stack_;
  std::shared_ptr<MainDataProvider> provider_;
  std::shared_ptr<CHTimer> timer_;
  std::vector<std::shared_ptr<Task>> tasks_;
  ObserverToken dieOnSave_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && !(argc == 5 && std::string(argv[4]) == "die-after-entry-save")) {
    std::fprintf(stderr, "usage: reliability_writer STORE_DIR SEED OPERATIONS [die-after-entry-save]\n");
    return 2;
  }
  say("pid " + std::to_string(::getpid()));
  {
    Writer writer(argv[1], static_cast<unsigned>(std::stoul(argv[2])));
    writer.setUpTreeIfEmpty();
    if (argc == 5) {
      writer.dieAfterNextSave();
      writer.create();  // does not return
    }
    const long operations = std::stol(argv[3]);
    for (long i = 0; i < operations; ++i) writer.write();
    say("done");
  }
  // A clean exit: the store is closed and marked so.
  Injector::shared()->removeAll();
  settle();
  return 0;
}
