#!/usr/bin/env bash
# Makes a wine prefix ready for the builds and tests:  cmake/wine-prefix.sh DIR
# A fresh prefix costs 12-18 s (wineboot); a copy of a ready one about 1.5 s, so the first
# prefix made becomes a template in this user's cache and later prefixes are copies of it.
# Settings for headless runs: no window-manager handshake on every dialog close, no crash
# dialog waiting for a click that never comes.
set -euo pipefail
dest="${1:?usage: wine-prefix.sh DIR}"
cache="${XDG_CACHE_HOME:-$HOME/.cache}/diagmedia"
template="$cache/wine-template"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$cache"

make_prefix() {  # DIR: wineboot, settings, then wait until the wine server has written all
  local dir="$1"
  rm -rf "$dir"
  WINEPREFIX="$dir" wineboot -i </dev/null >/dev/null 2>&1
  WINEPREFIX="$dir" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
    </dev/null >/dev/null 2>&1
  WINEPREFIX="$dir" wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    </dev/null >/dev/null 2>&1
  WINEPREFIX="$dir" wineserver -w
  touch "$dir/.diag-ready"
}

(
  flock 9
  [ -f "$dest/.diag-ready" ] && exit 0
  if [ ! -f "$template/.diag-ready" ]; then
    echo "wine-prefix.sh: making the wine prefix template (once, ~15 s)"
    make_prefix "$template.tmp"
    rm -rf "$template"
    mv "$template.tmp" "$template"
  fi
  if [ "$dest" != "$template" ]; then
    rm -rf "$dest"
    mkdir -p "$(dirname "$dest")"
    cp -a "$template" "$dest.tmp"
    mv "$dest.tmp" "$dest"
  fi
) 9>"$cache/.lock"
