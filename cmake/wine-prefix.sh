#!/usr/bin/env bash
# Makes a wine prefix ready for the builds and tests:  cmake/wine-prefix.sh DIR [i686|x86_64]
# The architecture is that of the programs the prefix will run (default: the one the host's
# tests use, see wine-env.sh): a 64-bit prefix under the 64-bit loader for x86_64.
# A fresh prefix costs 8-18 s (wineboot); a copy of a ready one about 1.5 s, so the first
# prefix made becomes a template in this user's cache and later prefixes are copies of it.
# Settings for headless runs: no window-manager handshake on every dialog close, no crash
# dialog waiting for a click that never comes.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
dest="${1:?usage: wine-prefix.sh DIR [i686|x86_64]}"
arch="${2:-}"
if [ -z "$arch" ]; then
  diag_pick_win_arch
  arch="$DIAG_WIN_ARCH"
fi
diag_wine_loader "$arch"
cache="${XDG_CACHE_HOME:-$HOME/.cache}/diagmedia"
template="$cache/wine-template-$arch"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$cache"

quiet() { "$@" </dev/null >/dev/null 2>&1; }

make_prefix() {  # DIR: wineboot, settings, then wait until the wine server has written all
  local dir="$1" status=0
  rm -rf "$dir"
  if [ "$arch" = x86_64 ]; then
    WINEARCH=win64 WINEPREFIX="$dir" quiet "$DIAG_WINE" wineboot -i || status=$?
  else
    WINEPREFIX="$dir" quiet "$DIAG_WINE" wineboot -i || status=$?
  fi
  if [ "$status" != 0 ]; then
    echo "wine-prefix.sh: wineboot with $DIAG_WINE failed (exit $status) for a $arch prefix" >&2
    return "$status"
  fi
  WINEPREFIX="$dir" quiet "$DIAG_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
  WINEPREFIX="$dir" quiet "$DIAG_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
  WINEPREFIX="$dir" wineserver -w
  touch "$dir/.diag-ready"
}

(
  flock 9
  [ -f "$dest/.diag-ready" ] && exit 0
  if [ ! -f "$template/.diag-ready" ]; then
    echo "wine-prefix.sh: making the $arch wine prefix template (once, ~15 s)"
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
