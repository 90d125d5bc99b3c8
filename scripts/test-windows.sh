#!/usr/bin/env bash
# Builds the Windows programs (build-win/, 32-bit, static, mingw-w64) and runs their tests
# under wine. Called by scripts/test.sh after the Linux build; the images of vellix.exe are
# compared with those of the Linux vellix in build/, which is built here when missing.
#   bash scripts/test-windows.sh            build and test
#   bash scripts/test-windows.sh --build    build only
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
export WINEPREFIX="$root/build-win/wineprefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

run_tests() {
  # One wine server for the whole run: start-up drops from ~0.6 s to ~0.05 s a program.
  # Its first start gets no pipes to inherit, or ctest waits ~2.5 s after every test for
  # wine's service processes to let go of the test's output pipe.
  wineserver -p
  trap 'wineserver -k 2>/dev/null || true' EXIT
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  ctest --test-dir build-win --output-on-failure -j"$jobs"
}

if [ "${1:-}" = "--tests-only" ]; then  # second half, run under the X server below
  run_tests
  exit
fi

for tool in i686-w64-mingw32-g++-posix i686-w64-mingw32-windres wine wineserver; do
  command -v "$tool" >/dev/null || {
    echo "test-windows.sh: $tool is missing (bash scripts/install-deps.sh --windows)" >&2
    exit 1
  }
done

# The Linux programs are the reference the Windows ones are compared with.
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
linux_targets="$(cmake --build build --target help 2>/dev/null || true)"
for tool in vellix torbel; do
  if grep -q "^\.\.\. $tool\$" <<<"$linux_targets"; then
    cmake --build build -j"$jobs" --target "$tool"
  fi
done

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DDIAG_LINUX_BUILD_DIR="$root/build" >/dev/null
# The console programs and the test helpers first; then the rest of the tree (the front
# end): a failure there is reported at the end, after the console programs' tests ran.
win_targets="$(cmake --build build-win --target help 2>/dev/null || true)"
targets=()
for target in vellix torbel launch probe; do
  grep -q "^\.\.\. $target\$" <<<"$win_targets" && targets+=("$target")
done
cmake --build build-win -j"$jobs" --target "${targets[@]}"
build_status=0
cmake --build build-win -j"$jobs" || build_status=$?
for exe in imagebuilder/vellix.exe partshell/torbel.exe frontend/app/ZOLP.exe; do
  [ -f "build-win/$exe" ] && echo "Windows program: build-win/$exe"
done
[ "${1:-}" = "--build" ] && exit "$build_status"

# A prefix of our own for this run: a copy of the cached template (about 1.5 s).
rm -rf "$WINEPREFIX"
bash cmake/wine-prefix.sh "$WINEPREFIX"

# Dialog programs need a display; one X server for the run (a wine server started without
# a display spoils later dialog programs).
test_status=0
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --tests-only || test_status=$?
else
  (run_tests) || test_status=$?
fi
if [ "$build_status" != 0 ]; then
  echo "test-windows.sh: part of the Windows build failed (see above)" >&2
  exit 1
fi
exit "$test_status"
