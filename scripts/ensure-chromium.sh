#!/usr/bin/env bash
# Makes sure Debian's headless-capable `chromium` is installed for the HTML report test:
# installs it with apt-get when it is missing and this user may install packages. Prints
# the path of the browser on success; otherwise prints why it cannot and exits 1.
set -uo pipefail

if command -v chromium >/dev/null 2>&1; then
  command -v chromium
  exit 0
fi
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    sudo_cmd=(sudo -n)
  else
    echo "chromium is not installed and installing it needs root (apt-get install chromium)"
    exit 1
  fi
fi
if ! command -v apt-get >/dev/null 2>&1; then
  echo "chromium is not installed and there is no apt-get to install it"
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# One installer at a time when several tests ask at once.
exec 9>/tmp/chronelle-ensure-chromium.lock
flock 9
if ! command -v chromium >/dev/null 2>&1; then
  if ! "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends chromium >/tmp/chronelle-chromium-install.log 2>&1; then
    "${sudo_cmd[@]}" apt-get update -qq >/dev/null 2>&1
    if ! "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends chromium >/tmp/chronelle-chromium-install.log 2>&1; then
      echo "apt-get could not install chromium (see /tmp/chronelle-chromium-install.log)"
      exit 1
    fi
  fi
fi
command -v chromium
