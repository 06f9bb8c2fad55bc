#include "StoreGenerator.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "chronelle/data/CoreDataStack.h"
#include "chronelle/data/DataModifier.h"
#include "chronelle/data/TimeEntryChangeKey.h"
#include "chronelle/model/BillingStatus.h"
#include "chronelle/model/ChronelleModel.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"

namespace chronelle::bench {
namespace {

// SplitMix64: the same sequence on every platform and standard library, unlike the
// distributions of <random>.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in [low, high]; the modulo bias is far below anything the benchmarks notice.
  std::int64_t between(std::int64_t low, std::int64_t high) {
    return low + static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(high - low + 1));
  }
  // True with probability `percent` / 100.
  bool percent(int percent) { return between(0, 99) < percent; }

 private:
  std::uint64_t state_;
};

constexpr std::int64_t kDay = 86'400;
constexpr int kBatch = 25'000;

struct TaskInfo {
  ObjectID id;
  bool archived = false;
};

std::string twoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

// Clients with their own billing settings, projects overriding some of them, tasks
// inheriting except a few non-billable ones; every tenth task of the last project of a
// client archived. Saved so that the tasks have permanent IDs.
std::vector<TaskInfo> makeTree(ObjectContext& context) {
  std::vector<std::shared_ptr<Task>> tasks;
  std::vector<bool> archived;
  for (int c = 0; c < StoreShape::kClients; ++c) {
    auto client = context.insert<Folder>(Folder::kEntityName);
    client->setName("Client " + twoDigits(c + 1));
    client->setOrder(static_cast<std::int16_t>(c));
    client->setColorId(static_cast<std::int16_t>(c % 8));
    client->setIsBillableSet(true);
    client->setIsBillable(c % 5 != 4);  // two clients are never billed
    client->setHourlyRateIsSet(true);
    client->setHourlyRate(60.0 + 10.0 * c);
    for (int p = 0; p < StoreShape::kProjectsPerClient; ++p) {
      auto project = context.insert<Folder>(Folder::kEntityName);
      project->setName("Project " + twoDigits(c + 1) + "." + std::to_string(p + 1));
      project->setOrder(static_cast<std::int16_t>(p));
      project->setParent(client);
      if (p == 2) {  // a project at a special rate
        project->setHourlyRateIsSet(true);
        project->setHourlyRate(125.5 + c);
      }
      if (p == 3 && c % 3 == 0) {  // internal work of a billable client
        project->setIsBillableSet(true);
        project->setIsBillable(false);
      }
      for (int t = 0; t < StoreShape::kTasksPerProject; ++t) {
        auto task = context.insert<Task>(Task::kEntityName);
        task->setName("Task " + twoDigits(c + 1) + "." + std::to_string(p + 1) + "." + std::to_string(t + 1));
        task->setOrder(static_cast<std::int16_t>(t));
        task->setParent(project);
        if (t == 4 && p == 1) {
          task->setIsBillableSet(true);
          task->setIsBillable(false);
        }
        const bool isArchived = p == 3 && t == 4;
        task->setArchived(isArchived);
        tasks.push_back(task);
        archived.push_back(isArchived);
      }
    }
  }
  context.save();
  std::vector<TaskInfo> infos;
  for (std::size_t i = 0; i < tasks.size(); ++i) infos.push_back({tasks[i]->objectID(), archived[i]});
  return infos;
}

// The billing state of an entry that ended `age` seconds before the end of the range:
// old work is mostly paid, recent work mostly unbilled.
BillingStatus statusForAge(std::int64_t age, Random& random) {
  const std::int64_t roll = random.between(0, 99);
  if (age > 365 * kDay) return roll < 75 ? BillingStatus::paid : roll < 90 ? BillingStatus::billed : BillingStatus::unbilled;
  if (age > 90 * kDay) return roll < 40 ? BillingStatus::paid : roll < 80 ? BillingStatus::billed : BillingStatus::unbilled;
  return roll < 20 ? BillingStatus::billed : BillingStatus::unbilled;
}

void generate(const std::filesystem::path& directory, const StoreKey& key) {
  ChronelleModel::registerModel();
  auto stack = std::make_shared<CoreDataStack>(ChronelleModel::kName, directory, kStoreFileName);
  // A private context: no undo manager, so nothing is kept per change, and it can be reset
  // between batches to keep memory flat.
  auto context = stack->privateContext();
  Random random(key.seed);

  context->performAndWait([&] {
    const std::vector<TaskInfo> tasks = makeTree(*context);
    std::vector<std::size_t> active;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
      if (!tasks[i].archived) active.push_back(i);
    }

    // 3 to 8 entries per weekday, scaled so that the five years hold exactly N entries.
    std::vector<std::int64_t> days;
    std::vector<std::int64_t> weights;
    std::int64_t totalWeight = 0;
    for (std::int64_t day = StoreShape::kFirstDay; day < StoreShape::kEndDay; day += kDay) {
      const std::int64_t weekday = (day / kDay + 4) % 7;  // 0 = Sunday; 1970-01-01 was a Thursday
      if (weekday == 0 || weekday == 6) continue;
      days.push_back(day);
      weights.push_back(random.between(3, 8));
      totalWeight += weights.back();
    }

    DataModifier modifier(*context);
    std::int64_t written = 0;
    std::int64_t cumulative = 0;
    int inBatch = 0;
    const auto started = std::chrono::steady_clock::now();
    for (std::size_t d = 0; d < days.size(); ++d) {
      cumulative += weights[d];
      const std::int64_t upTo = key.entries * cumulative / totalWeight;
      for (; written < upTo; ++written) {
        const std::int64_t length = random.between(3600, 3 * 3600);
        std::int64_t begin;
        if (random.percent(2)) {  // working past midnight
          begin = days[d] + kDay - random.between(60, length - 60);
        } else {
          begin = days[d] + random.between(6 * 3600, 21 * 3600 - length);
        }
        std::size_t task = static_cast<std::size_t>(random.between(0, static_cast<std::int64_t>(tasks.size()) - 1));
        // Archived tasks saw their work in the first two years only.
        if (tasks[task].archived && days[d] >= StoreShape::kFirstDay + 2 * 365 * kDay) {
          task = active[task % active.size()];
        }
        const std::int64_t end = begin + length;

        auto entry = modifier.newTimeEntry();
        TimeEntryChanges changes;
        changes[TimeEntryChangeKey::begin] = Date::fromSecondsSince1970(static_cast<double>(begin));
        changes[TimeEntryChangeKey::end] = Date::fromSecondsSince1970(static_cast<double>(end));
        changes[TimeEntryChangeKey::taskId] = tasks[task].id;
        changes[TimeEntryChangeKey::billingStatus] = statusForAge(StoreShape::kEndDay - end, random);
        if (random.percent(20)) changes[TimeEntryChangeKey::notes] = std::string("Notes of entry ") + std::to_string(written);
        modifier.updateTimeEntry(*entry, changes);

        if (++inBatch == kBatch) {
          context->save();
          // The tasks are recounted once at the end; objects are dropped to keep memory flat.
          modifier.nodesWantUpdateConfirmedDuration().clear();
          context->reset();
          inBatch = 0;
          const double elapsed =
              std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
          std::fprintf(stderr, "\r  %lld / %lld entries, %.0f s", static_cast<long long>(written + 1),
                       static_cast<long long>(key.entries), elapsed);
        }
      }
    }
    context->save();
    modifier.nodesWantUpdateConfirmedDuration().clear();
    context->reset();

    // The confirmed durations of every task and folder, as the write side keeps them.
    for (const auto& object : context->fetch(FetchRequest(Task::kEntityName))) {
      if (auto node = std::dynamic_pointer_cast<Node>(object)) modifier.nodesWantUpdateConfirmedDuration().insert(node);
    }
    if (modifier.updateNodesConfirmedDurationsIfNeeded()) context->save();
    context->reset();
  });
}

}  // namespace

std::filesystem::path ensureStore(const std::filesystem::path& cacheRoot, const StoreKey& key) {
  // The version in the name changes whenever the generator produces different data.
  const std::filesystem::path directory =
      cacheRoot / ("v1-n" + std::to_string(key.entries) + "-s" + std::to_string(key.seed));
  if (std::filesystem::exists(directory / kStoreFileName)) return directory;

  const std::filesystem::path partial = directory.string() + ".partial";
  std::filesystem::remove_all(partial);
  std::filesystem::create_directories(partial);
  std::fprintf(stderr, "generating %lld entries (seed %llu) in %s\n", static_cast<long long>(key.entries),
               static_cast<unsigned long long>(key.seed), directory.c_str());
  const auto started = std::chrono::steady_clock::now();
  generate(partial, key);
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::fprintf(stderr, "\n  generated in %.1f s\n", elapsed);
  std::filesystem::rename(partial, directory);
  return directory;
}

}  // namespace chronelle::bench
