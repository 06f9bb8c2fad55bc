#pragma once

#include <cstdint>
#include <filesystem>

namespace chronelle {

/// SQLite's file layer for the store's connections: the default layer, except that a
/// write-ahead log that already exists is opened without the create flag once its entry in the
/// directory is known to be on disk.
///
/// The log stays beside the store between processes. SQLite syncs the directory at the first
/// sync of every log it opened with the create flag, which it always passes, so each writing
/// process paid a directory sync on top of its commit's. A commit in the log survives a power
/// cut only if the log's directory entry does, so the directory is synced once per log file:
/// by SQLite when it creates the log and writes to it, or by this layer when a read-write
/// connection opens a log nobody is known to have synced (a reader may have created it). After
/// that sync the log file is marked (an extended attribute naming the file's device and inode
/// and its directory's inode, so that a copy or a log moved elsewhere does not carry a valid
/// mark), and later opens that find the mark skip the sync. Where a log cannot be marked (a
/// file system without extended attributes), every writing process syncs the directory at its
/// first write, as SQLite does.
///
/// SQLite deletes a log only under an exclusive lock of the database file, and opens it while
/// holding a shared one, so the log cannot be replaced between the check and the open.
///
/// A log emptied after a checkpoint keeps its size. SQLite empties a log (a truncation to 0
/// bytes) when a checkpoint left every frame of it in the database file and no connection reads
/// from it; the next commit would then append to the file again, and the sync of a commit that
/// grows a file also commits the file's new size to the file system's journal, shared with every
/// other writer of the disk. This layer writes a header that no frame matches over the old one
/// instead (the log then holds nothing, to SQLite and to `logHoldsFrames`), so later commits
/// overwrite the old frames in place and their syncs flush data only. A log is kept at most
/// kMostBytesKept long; a longer one is cut to that size. Every frame of an emptied log is in
/// the synced database file already, so a crash that loses the new header only has the old
/// frames copied again. Thread-safe.
class KeptLogVfs {
 public:
  /// The longest log kept between processes, in bytes; the store's journal size limit too.
  static constexpr std::int64_t kMostBytesKept = 1 << 20;

  /// The layer's name for `sqlite3_open_v2`, registered on the first call (not as the
  /// default). Its files are opened by the process's default layer at the time of the open.
  /// Never throws.
  static const char* name();

  /// Whether the log file at `logFile` carries a valid mark that its directory entry was
  /// synced. False when the file is missing or the file system keeps no marks.
  static bool directoryEntrySynced(const std::filesystem::path& logFile);

  /// Whether the log file at `logFile` may hold frames: it has a valid log header. False for a
  /// missing, empty or emptied log. Reads the file's first bytes; never throws.
  static bool logHoldsFrames(const std::filesystem::path& logFile);
};

}  // namespace chronelle
