#!/usr/bin/env bash
# Builds the Windows programs and runs their tests under wine. Called by scripts/test.sh
# after the Linux build; the images of vellix.exe are compared with those of the Linux
# vellix in build/, which is built here when missing.
#
# build-win/ holds the shipped programs (i686, static, mingw-w64); it is built and checked
# on every host (tests/windows/pe_check.py). Its tests run under wine's 32-bit loader where
# the host runs 32-bit code; on a host that runs none, the x86_64 test build (build-win64/)
# is made as well and the same tests run on it under the 64-bit loader (cmake/wine-env.sh,
# which DIAG_WIN_TEST_ARCH=x86_64 forces).
#   bash scripts/test-windows.sh            build and test
#   bash scripts/test-windows.sh --build    build only (both builds where the tests need both)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
. cmake/wine-env.sh
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
diag_pick_win_arch
test_dir="$(diag_win_build_dir "$DIAG_WIN_ARCH")"
export WINEPREFIX="$root/$test_dir/wineprefix"

run_tests() {
  diag_wine_loader "$DIAG_WIN_ARCH"
  # One wine server for the whole run: start-up drops from ~0.6 s to ~0.05 s a program.
  # Its first start gets no pipes to inherit, or ctest waits ~2.5 s after every test for
  # wine's service processes to let go of the test's output pipe.
  wineserver -p
  trap 'wineserver -k 2>/dev/null || true' EXIT
  "$DIAG_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
  local log status=0
  log="$(mktemp)"
  ctest --test-dir "$test_dir" --output-on-failure --no-tests=error -j"$jobs" 2>&1 \
    | tee "$log" || status=$?
  # A skipped case would read as a pass: every case must have run.
  if grep -q 'tests did not run' "$log"; then
    echo "test-windows.sh: some wine cases were skipped (see above); every case must run" >&2
    status=1
  fi
  rm -f "$log"
  return "$status"
}

if [ "${1:-}" = "--tests-only" ]; then  # second half, run under the X server below
  run_tests
  exit
fi

need=(i686-w64-mingw32-g++-posix i686-w64-mingw32-windres wineserver)
[ "$DIAG_WIN_ARCH" = x86_64 ] && need+=(x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres)
for tool in "${need[@]}"; do
  command -v "$tool" >/dev/null || {
    echo "test-windows.sh: $tool is missing (bash scripts/install-deps.sh --windows)" >&2
    exit 1
  }
done

# The Linux programs are the reference the Windows ones are compared with.
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build -j"$jobs" --target vellix torbel sample_package

# Configures and builds one Windows build folder: the console programs and the test helpers
# first, then the rest of the tree (the front end). Sets build_status on a failure there.
build_status=0
build_windows() {  # FOLDER TOOLCHAIN
  cmake -S . -B "$1" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2" \
    -DCMAKE_BUILD_TYPE=Release -DDIAG_LINUX_BUILD_DIR="$root/build" >/dev/null
  cmake --build "$1" -j"$jobs" --target vellix torbel launch probe
  cmake --build "$1" -j"$jobs" || build_status=$?
  for exe in imagebuilder/vellix.exe partshell/torbel.exe frontend/app/ZOLP.exe frontend/cli/zolpcli.exe; do
    [ -f "$1/$exe" ] && echo "Windows program: $1/$exe"
  done
  return 0
}

build_windows build-win mingw-i686.cmake
[ "$DIAG_WIN_ARCH" = x86_64 ] && build_windows build-win64 mingw-x86_64.cmake
[ "${1:-}" = "--build" ] && exit "$build_status"

# The shipped programs, checked without running them: PE32 for i386, system DLLs only,
# version resources, the i686 tools embedded. The checker first proves it finds such faults.
check_status=0
python3 tests/windows/pe_check.py --self-test build-win || check_status=1
python3 tests/windows/pe_check.py build-win || check_status=1
# The x86_64 test build's ZOLP.exe names its own architecture in its manifest.
if [ "$DIAG_WIN_ARCH" = x86_64 ]; then
  python3 tests/windows/pe_check.py --manifest build-win64/frontend/app/ZOLP.exe || check_status=1
fi

echo "test-windows.sh: wine tests on $test_dir ($DIAG_WIN_ARCH): $DIAG_WIN_ARCH_REASON"
# A prefix of our own for this run: a copy of the cached template (about 1.5 s).
rm -rf "$WINEPREFIX"
bash cmake/wine-prefix.sh "$WINEPREFIX" "$DIAG_WIN_ARCH"

# Dialog programs need a display; one X server for the run (a wine server started without
# a display spoils later dialog programs).
test_status=0
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
  diag_xvfb_run bash "$0" --tests-only || test_status=$?
else
  (run_tests) || test_status=$?
fi
if [ "$build_status" != 0 ]; then
  echo "test-windows.sh: part of the Windows build failed (see above)" >&2
  exit 1
fi
[ "$check_status" = 0 ] || exit 1
exit "$test_status"
