#!/bin/bash
# Prints how much test code there is for each line of library code. We keep it between a
# quarter and about a third: a test earns its lines by failing when the code is wrong, and
# beyond that more lines only slow every change down. A line of information, never a failure.
cd "$(dirname "$0")/.." || exit 0
count() { find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 2>/dev/null | xargs -0 cat | wc -l; }
tests=$(count tests)
library=$(count src cli)
[ "$library" -gt 0 ] || exit 0
awk -v t="$tests" -v l="$library" 'BEGIN {
  printf "test code: %d lines under tests/ for %d lines of library under src/ and cli/: %.2f (kept within 0.25-0.36)\n", t, l, t / l }'
