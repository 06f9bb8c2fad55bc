// The program the crash test kills: on a store opened as the command line opens it, it writes
// in a seeded loop, printing "intent <entry> <task> <begin> <end>|running" (the entry as the
// write leaves it, "new" for one it creates) or "intent <entry> deleted" before each write and
// "ack <entry>" once it has returned, flushed at once. Its first line is "pid <id>".
//   reliability_writer STORE_DIR SEED OPERATIONS [die-after-entry-save|die-after-plain-save]
// An empty store first gets folders F and F/G and tasks A, B (in G), C (in F) and D. With a
// die mode it creates one entry and is killed when its save is announced: by a write of
// entries (its recount saved in the same transaction), or by a plain write, whose recount of
// the task's total follows in a further write: where a real crash leaves stale totals behind.

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "AppServices.h"
#include "chronelle/data/CoreDataStack.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/platform/TimerScheduler.h"
#include "chronelle/timer/CHTimer.h"

using namespace chronelle;

namespace {

void say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}
std::string at(Date date) { return std::to_string(static_cast<long long>(date.timeIntervalSince1970())); }
std::string id(const NSManagedObjectWithIdentifier& object) { return object.identifier().value_or("?"); }
// An entry as the test reads it back: "<task> <begin> <end>|running", in whole seconds since 1970.
std::string row(const Task& task, Date begin, std::optional<Date> end) {
  return id(task) + " " + at(begin) + " " + (end ? at(*end) : "running");
}

template <class T>
T run(asio::awaitable<T> op) {
  return MainQueue::shared().runUntilComplete(std::move(op));
}
// Lets the main queue do what follows a write (the recount of totals, notifications), as the
// application's run loop would: after the write's "ack", so that kills land between the two.
void settle() {
  while (MainQueue::shared().runPending() > 0) continue;
}

class Writer {
 public:
  // The services the command line starts, on a manual clock that this writer moves.
  Writer(const std::string& directory, unsigned seed)
      : random_(seed),
        clock_(std::make_shared<ManualClock>(Date::fromSecondsSince1970(1'767'225'600.0 + seed % 1000 * 86400.0))),
        services_((Clock::install(clock_), TimerScheduler::install(std::make_shared<ManualTimerScheduler>(clock_)),
                   std::filesystem::path(directory))),
        provider_(services_.sharedProvider()),
        timer_(services_.timer()) {
    settle();
    if (!(tasks_ = provider_->getAllTasks(false)).empty()) return;
    const auto changes = [](const std::string& name, const std::shared_ptr<Folder>& parent) {
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
  }

  // One random write: create, re-time, move or delete an entry, or start or pause the timer.
  void write() {
    std::vector<std::shared_ptr<Session>> entries;
    for (const auto& entry : provider_->getSessions(std::nullopt)) {
      if (entry != timer_.currentSession()) entries.push_back(entry);
    }
    const int kind = pick(entries.empty() ? 3 : 10);
    if (kind <= 1) {
      create();
    } else if (kind == 2) {
      timer_.isRunning() ? pause() : start();
    } else {
      Session& entry = *entries[static_cast<std::size_t>(pick(static_cast<int>(entries.size())))];
      const std::string entryId = id(entry);  // unreadable once deleted
      if (kind <= 5) {
        const Date begin = randomInstant(), end = begin.addingTimeInterval(pick(7200));
        say("intent " + entryId + " " + row(*entry.task(), begin, end));
        run(provider_->updateTimeEntry(entry.objectID(), {{TimeEntryChangeKey::begin, begin}, {TimeEntryChangeKey::end, end}}));
      } else if (kind <= 7) {
        const auto& task = randomTask();
        say("intent " + entryId + " " + row(*task, *entry.begin(), entry.end()));
        run(provider_->updateTimeEntry(entry.objectID(), {{TimeEntryChangeKey::taskId, task->objectID()}}));
      } else {
        say("intent " + entryId + " deleted");
        run(provider_->deleteTimeEntries({std::static_pointer_cast<Session>(entry.shared_from_this())}));
      }
      say("ack " + entryId);
    }
    settle();
  }

  void create() {
    const auto& task = randomTask();
    const Date begin = randomInstant(), end = begin.addingTimeInterval(1 + pick(7200));
    say("intent new " + row(*task, begin, end));
    say("ack " + id(*run(provider_->createTimeEntry(begin, end, task->objectID(), false, std::nullopt))));
  }

  // Creates an entry, killing the process on the first committed save of the view context.
  void createAndDie(bool entryWrite) {
    dieOnSave_ = NotificationCenter::defaultCenter().addObserver(
        ObjectContext::kDidSaveNotification, services_.stack().viewContext().get(), [](const Notification&) { ::raise(SIGKILL); });
    if (entryWrite) return create();
    const auto& task = randomTask();
    const Date begin = randomInstant(), end = begin.addingTimeInterval(1 + pick(7200));
    say("intent new " + row(*task, begin, end));
    run(provider_->executeWriteOperation([&](ObjectContext&, DataModifier& modifier, const ManagedObjectFetcher&) {
      modifier.updateTimeEntry(*modifier.newTimeEntry(), {{TimeEntryChangeKey::begin, begin},
                                                          {TimeEntryChangeKey::end, end},
                                                          {TimeEntryChangeKey::taskId, task->objectID()}});
    }));
  }

 private:
  void start() {
    const auto& task = randomTask();
    clock_->advance(60 + pick(3600));
    say("intent new " + row(*task, clock_->now(), std::nullopt));
    const auto entry = run(timer_.start(task, clock_->now(), false));
    say(entry ? "ack " + id(*entry) : "failed start");
    if (!entry) std::exit(3);
  }

  void pause() {
    const auto entry = timer_.currentSession();
    if (clock_->now() < *entry->begin()) clock_->set(*entry->begin());
    clock_->advance(1 + pick(3600));
    say("intent " + id(*entry) + " " + row(*entry->task(), *entry->begin(), clock_->now()));
    run(timer_.pause(clock_->now(), false));
    say("ack " + id(*entry));
  }

  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  const std::shared_ptr<Task>& randomTask() { return tasks_[static_cast<std::size_t>(pick(static_cast<int>(tasks_.size())))]; }
  // A whole second in 2026.
  Date randomInstant() { return Date::fromSecondsSince1970(1'767'225'600.0 + pick(365 * 86400)); }

  std::mt19937 random_;
  std::shared_ptr<ManualClock> clock_;
  cli::AppServices services_;
  std::shared_ptr<MainDataProvider> provider_;
  CHTimer& timer_;
  std::vector<std::shared_ptr<Task>> tasks_;
  ObserverToken dieOnSave_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 5 ? argv[4] : "";
  const bool die = mode == "die-after-entry-save" || mode == "die-after-plain-save";
  if (argc != 4 && !die) {
    std::fprintf(stderr, "usage: reliability_writer STORE_DIR SEED OPERATIONS [die-after-entry-save|die-after-plain-save]\n");
    return 2;
  }
  say("pid " + std::to_string(::getpid()));
  {
    Writer writer(argv[1], static_cast<unsigned>(std::stoul(argv[2])));
    if (die) writer.createAndDie(mode == "die-after-entry-save");  // does not return
    for (long i = std::stol(argv[3]); i > 0; --i) writer.write();
  }
  return 0;  // a clean exit: the services close the store and mark it so
}
