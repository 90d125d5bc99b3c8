# Which Windows build the tests run under wine, and with which loader (sourced by the wine
# scripts and the test scripts).
#
# The shipped programs are 32-bit (build-win/). Some hosts run no 32-bit user code at all:
# there wine's 32-bit loader cannot start, and the tests run the x86_64 test build
# (build-win64/) under the 64-bit loader, in a 64-bit prefix. The choice is made by running a
# 32-bit program, never by guessing from names:
#   DIAG_WIN_TEST_ARCH=x86_64   forces the x86_64 path (to try it on a host that runs both)
#   DIAG_WIN_TEST_ARCH=i686     forces the i686 path
#   unset or auto               probe the host

# True when the host executes 32-bit x86 code. The probe is a 93-byte static i386 ELF
# program that only calls exit(0); it needs no 32-bit library, so it answers for the kernel
# alone (a kernel without IA-32 emulation refuses it with "Exec format error").
diag_host_runs_ia32() {
  local probe status
  probe="$(mktemp "${TMPDIR:-/tmp}/ia32-probe.XXXXXX")" || return 1
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'`
        `'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'`
        `'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'`
        `'\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'`
        `'\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00'`
        `'\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  return $status
}

# Sets DIAG_WIN_ARCH (i686 or x86_64) and DIAG_WIN_ARCH_REASON, once per process tree.
diag_pick_win_arch() {
  [ -n "${DIAG_WIN_ARCH:-}" ] && return 0
  case "${DIAG_WIN_TEST_ARCH:-auto}" in
    x86_64)
      DIAG_WIN_ARCH=x86_64
      DIAG_WIN_ARCH_REASON="forced by DIAG_WIN_TEST_ARCH=x86_64" ;;
    i686)
      DIAG_WIN_ARCH=i686
      DIAG_WIN_ARCH_REASON="forced by DIAG_WIN_TEST_ARCH=i686" ;;
    auto|"")
      if diag_host_runs_ia32; then
        DIAG_WIN_ARCH=i686
        DIAG_WIN_ARCH_REASON="this host runs 32-bit programs"
      else
        DIAG_WIN_ARCH=x86_64
        DIAG_WIN_ARCH_REASON="this host runs no 32-bit user code (a 32-bit program fails to start)"
      fi ;;
    *)
      echo "DIAG_WIN_TEST_ARCH must be x86_64, i686 or auto, not '$DIAG_WIN_TEST_ARCH'" >&2
      return 2 ;;
  esac
  export DIAG_WIN_ARCH DIAG_WIN_ARCH_REASON
}

# The build folder of an architecture's Windows programs.
diag_win_build_dir() {
  case "$1" in
    x86_64) echo build-win64 ;;
    *) echo build-win ;;
  esac
}

# The architecture of a PE program ("i686", "x86_64" or nothing), from its COFF machine field.
diag_pe_arch() {
  local offset machine
  [ -f "$1" ] || return 0
  offset="$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')"
  [ -n "$offset" ] || return 0
  machine="$(od -An -tx2 -j$((offset + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')"
  case "$machine" in
    014c) echo i686 ;;
    8664) echo x86_64 ;;
  esac
}

# Sets DIAG_WINE, the loader for programs of architecture $1. Debian's `wine` script takes the
# 32-bit loader whenever wine32 is installed, so the 64-bit one is named directly.
diag_wine_loader() {
  case "$1" in
    x86_64) DIAG_WINE=/usr/lib/wine/wine64 ;;
    *) DIAG_WINE=/usr/lib/wine/wine ;;
  esac
  if [ ! -x "$DIAG_WINE" ]; then
    if [ "$1" = x86_64 ]; then
      echo "wine: $DIAG_WINE is missing (apt-get install wine64)" >&2
    else
      echo "wine: $DIAG_WINE is missing (apt-get install wine32:i386, on a host that runs 32-bit code)" >&2
    fi
    return 127
  fi
  # As Debian's script does for the 64-bit loader: the programs it starts (wineboot, the
  # services) find it through WINELOADER.
  [ "$1" = x86_64 ] && export WINELOADER="$DIAG_WINE"
  return 0
}

# Runs a command with DISPLAY set to a virtual X server of its own. Xvfb picks a display
# number that is really free (-displayfd binds it first), so runs beside another X server,
# in this or another mount namespace, do not collide as they can with xvfb-run -a.
diag_xvfb_run() {
  local numfile display pid status=0
  numfile="$(mktemp "${TMPDIR:-/tmp}/xvfb-display.XXXXXX")"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$numfile" </dev/null >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 100); do
    display="$(tr -dc 0-9 <"$numfile")"
    [ -n "$display" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$numfile"
  if [ -z "$display" ]; then
    echo "Xvfb did not start" >&2
    kill "$pid" 2>/dev/null
    return 1
  fi
  DISPLAY=":$display" "$@" || status=$?
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  return "$status"
}
