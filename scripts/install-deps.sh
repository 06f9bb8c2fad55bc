#!/usr/bin/env bash
# Installs, with apt-get, only the Debian packages the build needs that are missing.
# Quiet and idempotent when everything is present; runs `apt-get update` only when
# something has to be installed.
set -euo pipefail

packages=(
  libsqlite3-dev libicu-dev libasio-dev libspdlog-dev libfmt-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev cmake ninja-build pkg-config
)
if [ "${1:-}" = "--with-clang" ]; then
  packages+=(clang)
fi
# `make bench-peers` only: Debian's Timewarrior, the peer the CLI is timed beside.
if [ "${1:-}" = "--with-timewarrior" ]; then
  packages+=(timewarrior sqlite3)
fi
# `make fuzz` only: clang and its libFuzzer runtime (libclang_rt.fuzzer).
if [ "${1:-}" = "--with-fuzz" ]; then
  packages+=(clang libclang-rt-dev)
fi

# `make test` only: Debian's Chromium, in which the HTML report test renders a report. Installed
# here rather than from inside the test, whose time limit a slow download could exceed.
if [ "${1:-}" = "--with-browser" ]; then
  packages+=(chromium)
fi

# `make docs` only: Doxygen for the API reference.
if [ "${1:-}" = "--with-docs" ]; then
  packages+=(doxygen)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
