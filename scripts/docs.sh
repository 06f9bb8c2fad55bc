#!/usr/bin/env bash
# `make docs`: the API reference of the installed headers. Installs the headers alone (the
# `headers` install component, so nothing needs building) into build/docs/include, runs
# Doxygen over them with scripts/Doxyfile, writes build/docs/html/ and prints the number of
# warnings (undocumented public declarations and broken doc comments). Fails when there are
# any. The warnings are kept in build/docs/warnings.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --with-docs
cmake --preset dev >/dev/null
rm -rf build/docs
cmake --install build/dev --component headers --prefix build/docs >/dev/null

{
  cat scripts/Doxyfile
  echo "INPUT = build/docs/include scripts/doxygen-mainpage.md"
  echo "USE_MDFILE_AS_MAINPAGE = scripts/doxygen-mainpage.md"
  echo "STRIP_FROM_PATH = build/docs/include"
  echo "STRIP_FROM_INC_PATH = build/docs/include"
  echo "OUTPUT_DIRECTORY = build/docs"
  echo "WARN_LOGFILE = build/docs/warnings.txt"
} | doxygen - >/dev/null

count=$(grep -c 'warning:' build/docs/warnings.txt || true)
echo "docs: build/docs/html/index.html, ${count} warnings"
if [ "$count" -ne 0 ]; then
  head -20 build/docs/warnings.txt
  exit 1
fi
