// A writer process killed at random moments loses nothing it acknowledged, shows no half
// write, and leaves a store whose totals are right once it has been opened again.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <random>
#include <sstream>

#include "chronelle/data/CoreDataStack.h"
#include "chronelle/model/ChronelleModel.h"
#include "chronelle/model/NSDictionaryValueTransformer.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/store/StoreFile.h"
#include "testsupport/CapturedLogs.h"
#include "testsupport/TempDirectory.h"

namespace chronelle::testing {
namespace {

// A time entry as the store's rows hold it: task identifier, begin and end in whole seconds
// since 1970 (no end while running).
struct EntryRow {
  std::string task;
  long long begin = 0;
  std::optional<long long> end;
  friend bool operator==(const EntryRow&, const EntryRow&) = default;
  friend void PrintTo(const EntryRow& row, std::ostream* out) {
    *out << row.task << " " << row.begin << " " << (row.end ? std::to_string(*row.end) : "running");
  }
};
using Entries = std::map<std::string, EntryRow>;  // by identifier

// What a store file holds, read with plain SQL rather than through the library, so that the
// library's own bookkeeping is checked independently.
struct StoreSnapshot {
  std::string integrity;  // PRAGMA integrity_check: "ok" for a sound file
  Entries entries;
  // Stored totals that disagree with the entries: an entry's (whole seconds from begin to end,
  // 0 while running), a task's or a folder's (the sum over every task at or below it).
  std::vector<std::string> staleTotals;
};

// Instants are microseconds since 1970, all after it here: division floors them to seconds.
constexpr const char* kSecondsOfEntry =
    "(CAST(s.ZEND AS INTEGER) / 1000000 - CAST(s.ZBEGIN AS INTEGER) / 1000000)";

// Reads `file` read-only (throws when it cannot).
StoreSnapshot readSnapshot(const std::filesystem::path& file) {
  StoreSnapshot snapshot;
  const auto reader = StoreFileReader::openReadOnly(file);
  for (const auto& c : reader->rows("PRAGMA integrity_check")) snapshot.integrity += c[0];
  for (const auto& c : reader->rows("SELECT s.ZIDENTIFIER, n.ZIDENTIFIER, CAST(s.ZBEGIN AS INTEGER) / 1000000, "
                                    "CAST(s.ZEND AS INTEGER) / 1000000 FROM ZSESSION s "
                                    "LEFT JOIN ZNODE n ON n.Z_PK = s.ZTASK")) {
    const auto end = c[3].empty() ? std::nullopt : std::optional(std::stoll(c[3]));
    snapshot.entries[c[0]] = {c[1], std::stoll(c[2]), end};
  }
  const std::string stale =
      "SELECT 'entry ' || s.ZIDENTIFIER || ': stored ' || s.ZCONFIRMEDDURATION FROM ZSESSION s "
      "WHERE IFNULL(s.ZCONFIRMEDDURATION, 0) != IFNULL(" + std::string(kSecondsOfEntry) + ", 0) "
      "UNION ALL SELECT name || ': stored ' || stored || ', entries ' || summed FROM ("
      "  WITH RECURSIVE below(root, pk) AS (SELECT Z_PK, Z_PK FROM ZNODE"
      "    UNION SELECT below.root, n.Z_PK FROM ZNODE n JOIN below ON n.ZPARENT = below.pk)"
      "  SELECT r.ZNAME AS name, IFNULL(r.ZCONFIRMEDDURATION, 0) AS stored, (SELECT TOTAL(" +
      kSecondsOfEntry + ") FROM below b JOIN ZSESSION s ON s.ZTASK = b.pk"
      "    WHERE b.root = r.Z_PK) AS summed FROM ZNODE r) WHERE stored != summed";
  for (const auto& c : reader->rows(stale)) snapshot.staleTotals.push_back(c[0]);
  return snapshot;
}

// The writer process started by the shell, its standard output read line by line. Its first
// line gives its process id, so that it can be killed; killed and reaped on destruction.
class WriterProcess {
 public:
  explicit WriterProcess(const std::string& command) : pipe_(popen(("exec " + command).c_str(), "r")) {
    if (readLine() && lines_.back().rfind("pid ", 0) == 0) pid_ = std::stoi(lines_.back().substr(4));
    if (pid_ < 0) ADD_FAILURE() << "cannot start " << command;
  }
  WriterProcess(const WriterProcess&) = delete;
  ~WriterProcess() { reap(true); }

  // Reads until `count` more lines starting with `prefix` have arrived.
  void readUntil(const std::string& prefix, int count) {
    while (count > 0 && readLine()) count -= lines_.back().rfind(prefix, 0) == 0;
  }
  // Sends SIGKILL if asked, reads the rest of the output and reaps the process; the wait status.
  int reap(bool kill = false) {
    if (kill && pipe_ && pid_ > 0) ::kill(pid_, SIGKILL);
    while (readLine()) continue;
    const int status = pipe_ ? pclose(pipe_) : -1;
    pipe_ = nullptr;
    return status;
  }
  // Every complete line read so far, without the newline.
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  // Appends the next complete line; false at end of output (a cut last line is dropped).
  bool readLine() {
    std::string line;
    for (char buffer[4096]; pipe_ && std::fgets(buffer, sizeof buffer, pipe_);) {
      if ((line += buffer).back() == '\n') return lines_.push_back(line.substr(0, line.size() - 1)), true;
    }
    return false;
  }

  FILE* pipe_;
  pid_t pid_ = -1;
  std::vector<std::string> lines_;
};

// One write announced by the writer: "intent <entry> <task> <begin> <end>|running", the entry
// as the write leaves it ("new" for one it creates), or "intent <entry> deleted".
struct Write {
  std::string entry;
  std::optional<EntryRow> row;  // none for a delete

  // Applies the write to `entries` as entry `id` (the one it created, for "new").
  void applyTo(Entries& entries, const std::string& id) const {
    if (row) entries[id] = *row;
    if (!row) entries.erase(id);
  }
};

Write parse(const std::string& line) {
  std::istringstream in(line);
  std::string intent, task, begin, end;
  Write write;
  in >> intent >> write.entry >> task >> begin >> end;
  if (task != "deleted") {
    write.row = {task, std::stoll(begin), end == "running" ? std::nullopt : std::optional(std::stoll(end))};
  }
  return write;
}

// Applies the acknowledged writes among the writer's lines ("ack <entry>") to `entries`; their
// number, and the write announced last if it was not acknowledged.
std::pair<int, std::optional<Write>> replay(const std::vector<std::string>& lines, Entries& entries) {
  int acknowledged = 0;
  std::optional<Write> inFlight;
  for (const auto& line : lines) {
    if (line.rfind("intent ", 0) == 0) inFlight = parse(line);
    if (line.rfind("ack ", 0) != 0) continue;
    const std::string id = line.substr(4);
    EXPECT_TRUE(inFlight && (inFlight->entry == "new" || inFlight->entry == id)) << line;
    if (inFlight) inFlight->applyTo(entries, id), ++acknowledged;
    inFlight.reset();
  }
  return {acknowledged, inFlight};
}

// The store after the write in flight must be unchanged or changed by exactly that whole
// write. Whether the write is in the store; fails the test when the store is neither.
bool expectAcknowledgedOrWhole(const Entries& acknowledged, const Write& inFlight, const Entries& stored) {
  std::string id = inFlight.entry;
  for (const auto& [storedId, row] : stored) id = acknowledged.count(storedId) ? id : storedId;
  Entries whole = acknowledged;
  inFlight.applyTo(whole, id);
  EXPECT_TRUE(stored == acknowledged || stored == whole)
      << "the store holds neither the acknowledged writes nor them and the write of " << inFlight.entry
      << "\nacknowledged: " << ::testing::PrintToString(acknowledged)
      << "\nstored: " << ::testing::PrintToString(stored);
  return stored == whole && stored != acknowledged;
}

class CrashRecovery : public ::testing::Test {
 protected:
  CrashRecovery() {
    NSDictionaryValueTransformer::registerTransformer();
    ChronelleModel::registerModel();
    // The tree of tasks, created by a writer that ends normally.
    const int status = startWriter(0, 0).reap();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the writer failed (its errors are above)";
  }

  // The writer on this store, its errors going to the test's; `mode` "die-after-entry-save"
  // makes it die at that moment.
  WriterProcess startWriter(unsigned seed, long operations, const std::string& mode = "") {
    return WriterProcess("'" + std::string(CHRONELLE_CRASH_WRITER) + "' '" + directory.path().string() + "' " +
                         std::to_string(seed) + " " + std::to_string(operations) + " " + mode);
  }

  // Opens the store as the application does (repairing it after a crash), closes and reads it.
  StoreSnapshot openWithLibrary() {
    { CoreDataStack stack(ChronelleModel::kName, directory.path(), "chronelle.sqlite"); }
    MainQueue::shared().runPending();
    return readSnapshot(directory.file("chronelle.sqlite"));
  }

  TempDirectory directory;
  CapturedLogs logs;
};

TEST_F(CrashRecovery, RandomKillsLoseNoAcknowledgedWriteAndLeaveTotalsRight) {
  constexpr int kKills = 120;
  Entries entries;
  std::mt19937 random(20261205);
  int acknowledged = 0, inFlightKept = 0, inFlightLost = 0;
  for (int kill = 1; kill <= kKills && !HasFailure(); ++kill) {
    SCOPED_TRACE("kill " + std::to_string(kill));
    auto writer = startWriter(static_cast<unsigned>(kill), 1'000'000);
    // Killed after 0 to 6 acknowledged writes: during start-up (and its repair), inside a
    // save, or between a save and the recount that follows it.
    writer.readUntil("ack ", std::uniform_int_distribution<int>(0, 6)(random));
    const int status = writer.reap(true);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the writer ended by itself";

    const auto [acked, inFlight] = replay(writer.lines(), entries);
    acknowledged += acked;
    const StoreSnapshot snapshot = openWithLibrary();
    ASSERT_EQ(snapshot.integrity, "ok");
    if (inFlight) {
      (expectAcknowledgedOrWhole(entries, *inFlight, snapshot.entries) ? inFlightKept : inFlightLost)++;
    } else {
      EXPECT_EQ(snapshot.entries, entries);
    }
    EXPECT_TRUE(snapshot.staleTotals.empty()) << ::testing::PrintToString(snapshot.staleTotals);
    entries = snapshot.entries;  // the next writer goes on from what is stored
  }
  std::printf("[ figures  ] %d kills, %d acknowledged writes kept, in-flight writes kept whole %d / absent %d, "
              "%zu entries at the end\n", kKills, acknowledged, inFlightKept, inFlightLost, entries.size());
  EXPECT_GT(acknowledged, kKills) << "the kills should come after writes, not only during start-up";
}

// Killed when an entry's save is announced: a write of entries committed the entry with its
// task's total; a plain write committed it alone, and the next open repairs the total.
TEST_F(CrashRecovery, KillAfterAnEntrysSaveLeavesTotalsRightOrRepairedOnNextOpen) {
  const struct {
    const char* mode;
    bool staleWhenKilled;
    const char* transcript;
  } cases[] = {
      {"die-after-entry-save", false, ""},
      {"die-after-plain-save", true, "Data: Repaired confirmed durations after an unclean shutdown"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    Entries entries = readSnapshot(directory.file("chronelle.sqlite")).entries;
    auto writer = startWriter(7, 0, c.mode);
    const int status = writer.reap();
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the writer ended by itself";
    const auto [acked, inFlight] = replay(writer.lines(), entries);
    ASSERT_TRUE(acked == 0 && inFlight && inFlight->entry == "new" && inFlight->row->end)
        << ::testing::PrintToString(writer.lines());

    const StoreSnapshot killed = readSnapshot(directory.file("chronelle.sqlite"));
    EXPECT_EQ(killed.integrity, "ok");
    EXPECT_TRUE(expectAcknowledgedOrWhole(entries, *inFlight, killed.entries)) << "the entry's save committed";
    EXPECT_EQ(!killed.staleTotals.empty(), c.staleWhenKilled) << ::testing::PrintToString(killed.staleTotals);

    logs.clear();
    const StoreSnapshot repaired = openWithLibrary();
    EXPECT_EQ(logs.transcript(), c.transcript);
    EXPECT_EQ(repaired.entries, killed.entries);
    EXPECT_TRUE(repaired.staleTotals.empty()) << ::testing::PrintToString(repaired.staleTotals);
    // A second open after a clean close finds nothing to do and changes nothing.
    EXPECT_EQ(openWithLibrary().entries, killed.entries);
  }
}

}  // namespace
}  // namespace chronelle::testing
