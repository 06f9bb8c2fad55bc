#!/usr/bin/env bash
# Regenerates the screenshots of an HTML report in docs/: the demo store's November, light and
# dark. Usage: docs/make-report-screenshots.sh [path to the chronelle binary]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
chronelle="${1:-$here/../build/dev/cli/chronelle}"
browser="$(bash "$here/../scripts/ensure-chromium.sh")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
args=(--store "$work/store" --tz Europe/Berlin --now 2026-12-05T12:00)
"$chronelle" "${args[@]}" demo >/dev/null
"$chronelle" "${args[@]}" report --month 2026-11-15 --format html -o "$work/report.html"
for scheme in light dark; do
  flags=()
  [ "$scheme" = dark ] && flags=(--force-dark-mode)
  "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile-$scheme" --hide-scrollbars --window-size=1040,1250 "${flags[@]}" \
    --screenshot="$here/report-$scheme.png" "file://$work/report.html" 2>/dev/null
done
echo "wrote $here/report-light.png and $here/report-dark.png"
