#!/usr/bin/env bash
# Runs a Windows program under wine with the settings the builds and tests rely on:
#   cmake/wine-run.sh program.exe [arguments...]
# The loader fits the program: the 32-bit one for i686 programs, the 64-bit one for x86_64
# programs (wine-env.sh); for a built-in program such as `cmd` it fits DIAG_WIN_ARCH, or the
# host. WINEPREFIX, when not set, is a prefix of this user's cache for that architecture, made
# once (see wine-prefix.sh); no mono/gecko prompts, no wine debug chatter on stderr.
# The exit code is wine's, which the Linux side only sees cut to 8 bits; tests that need the
# full 32-bit value run the program through tests/windows/launch.exe.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

arch="$(diag_pe_arch "${1:-}")"
if [ -z "$arch" ]; then
  diag_pick_win_arch
  arch="$DIAG_WIN_ARCH"
fi
diag_wine_loader "$arch"
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX="${XDG_CACHE_HOME:-$HOME/.cache}/diagmedia/wineprefix-$arch"
fi
if [ ! -f "$WINEPREFIX/.diag-ready" ]; then
  bash "$here/wine-prefix.sh" "$WINEPREFIX" "$arch" >&2
fi
# 32-bit programs need wine32's own DLLs; without them wine exits 0 and prints nothing,
# which would make every test pass silently.
if [ "$arch" = i686 ] && [ ! -e /usr/lib/wine/i386-windows/kernel32.dll ] \
   && [ ! -e /usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll ]; then
  echo "wine-run.sh: wine32 is not installed (apt-get install wine32:i386)" >&2
  exit 127
fi
# The first wine program of a prefix starts the wine server and its service processes,
# which inherit that program's output: a caller reading the output through a pipe (ctest,
# $(...)) would wait for them. Start them first, with all output discarded, when no server
# runs for the prefix yet.
server_id="$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")"
if ! compgen -G "${TMPDIR:-/tmp}/wine*/$server_id/socket" >/dev/null \
   && ! compgen -G "/tmp/.wine-$(id -u)/$server_id/socket" >/dev/null; then
  "$DIAG_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
fi
exec "$DIAG_WINE" "$@"
