# Shared helpers of the wine test scripts (sourced). Each script defines case_<name>()
# functions and ends with: run_case "$@".
# Environment (set by ctest, see CMakeLists.txt): WINE_RUN, LAUNCH_EXE, PROBE_EXE,
# LINUX_BUILD, SOURCE_DIR, and the program under test (VELLIX_EXE, TORBEL_EXE).
set -uo pipefail
# diag_pe_arch: which build (i686 or the x86_64 test build) a program comes from.
. "$(dirname "${BASH_SOURCE[0]}")/../../cmake/wine-env.sh"

SKIP=77
export MTOOLS_SKIP_CHECK=1

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

skip() {
  echo "SKIP: $*" >&2
  exit $SKIP
}

# A fresh directory per case, removed when the case ends.
make_workdir() {
  WORK="$(mktemp -d "${TMPDIR:-/tmp}/wine-test.XXXXXX")"
  trap 'rm -rf "$WORK"' EXIT
}

# launch PROGRAM ARGS...: runs PROGRAM through launch.exe under wine in the current
# directory. Sets OUT (the program's output, stdout and stderr) and CODE (its full
# 32-bit exit code as Windows reports it).
launch() {
  local raw last
  raw="$("$WINE_RUN" "$LAUNCH_EXE" "$@" 2>&1)"
  # The launcher's report ends the output; a program whose last line has no line end
  # leaves it at the end of that line.
  last="$(printf '%s\n' "$raw" | tail -n1 | tr -d '\r')"
  CODE="$(printf '%s\n' "$last" | sed -n 's/^\(.*\)exit code: \([0-9][0-9]*\)$/\2/p')"
  [ -n "$CODE" ] || fail "launch.exe reported no exit code; output was:
$raw"
  OUT="$(printf '%s\n' "$raw" | sed '$d'; printf '%s\n' "$last" | sed 's/exit code: [0-9]*$//')"
}

# expect_code WANT: the last launch ended with exit code WANT.
expect_code() {
  [ "$CODE" = "$1" ] || fail "exit code $CODE, expected $1; output was:
$OUT"
}

expect_output() {  # expect_output TEXT: the last launch printed TEXT (fixed string)
  printf '%s\n' "$OUT" | tr -d '\r' | grep -qF -- "$1" || fail "output lacks \"$1\"; output was:
$OUT"
}

run_case() {
  local name="${1:?usage: $0 CASE}"
  declare -F "case_$name" >/dev/null || fail "no case $name"
  "case_$name"
}
