#pragma once
// Diagnostics for benchmarks and tests: which SQL the store runs, so its query plans can be
// checked.

#include <functional>
#include <string>

namespace chronelle {

/// Calls `observer` with the text of every statement (as prepared, `?` placeholders
/// unbound) that connections opened from now on run, on the thread running it; an empty
/// function stops it. Connections opened earlier are not observed. Costs nothing while unset.
void setStatementObserver(std::function<void(const std::string& sql)> observer);

}  // namespace chronelle
