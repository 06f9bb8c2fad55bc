#pragma once

#include <cstddef>

namespace chronelle {

class PersistentStoreCoordinator;

/// When the store behind `coordinator` was opened after its previous user died without
/// closing it (PersistentStoreCoordinator::openedAfterUncleanShutdown), recomputes every
/// stored confirmed duration and saves once when anything was stale: that user may have
/// saved entries and died before the recount of their tasks was saved. Works in a context of
/// its own without an undo manager, so the repair is never an undo step. Logs what it did
/// under the label "Data" ("Repaired confirmed durations after an unclean shutdown"); a
/// failure is logged ("Error on repairing confirmed durations") and leaves the store as it
/// was, usable. Returns the number of nodes repaired. Never throws. Call right after the
/// store is added, on the thread opening it.
std::size_t repairConfirmedDurationsAfterUncleanShutdown(PersistentStoreCoordinator& coordinator);

}  // namespace chronelle
