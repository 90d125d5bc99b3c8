#!/usr/bin/env bash
# Builds ZOLP.exe with its test driver and gallery (build-win/, reused when
# scripts/test-windows.sh made it) and drives its dialogs under wine and Xvfb.
# Screenshots of the main dialog templates and the shared windows are kept as
# PNG files in build-win/zolp-shots/.
#   bash scripts/test-zolp.sh [case...]     all cases, or only those named
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
export WINEPREFIX="$root/build-win/wineprefix-zolp"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
shots="$root/build-win/zolp-shots"

winpath() { printf 'Z:%s' "${1//\//\\}"; }

if [ "${ZOLP_UNDER_X:-}" = 1 ]; then  # second half, run under the X server below
  wineserver -p
  trap 'wineserver -k 2>/dev/null || true' EXIT
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  app="$root/build-win/frontend/app"
  # The driver compares the embedded tools with the programs of this build.
  [ -f build-win/partshell/torbel.exe ] && export ZOLP_TORBEL="$(winpath "$root/build-win/partshell/torbel.exe")"
  [ -f build-win/imagebuilder/vellix.exe ] && export ZOLP_VELLIX="$(winpath "$root/build-win/imagebuilder/vellix.exe")"
  status=0
  wine "$app/zolp_driver.exe" "$(winpath "$app/ZOLP.exe")" "$(winpath "$app/zolp_gallery.exe")" \
    "$(winpath "$shots")" "$@" </dev/null 2>/dev/null || status=$?
  exit $status
fi

for tool in i686-w64-mingw32-g++-posix i686-w64-mingw32-windres wine wineserver xvfb-run; do
  command -v "$tool" >/dev/null || {
    echo "test-zolp.sh: $tool is missing (bash scripts/install-deps.sh --windows)" >&2
    exit 1
  }
done

if [ ! -f build-win/CMakeCache.txt ]; then
  cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DDIAG_LINUX_BUILD_DIR="$root/build" >/dev/null
fi
cmake --build build-win -j"$jobs" --target ZOLP zolp_gallery zolp_driver

bash cmake/wine-prefix.sh "$WINEPREFIX"
rm -rf "$shots"
mkdir -p "$shots"
status=0
ZOLP_UNDER_X=1 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@" || status=$?

if command -v convert >/dev/null; then
  for bmp in "$shots"/*.bmp; do
    [ -f "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
fi
echo "ZOLP screenshots: $(ls "$shots" | tr '\n' ' ')"
[ $status -eq 0 ] && echo "ZOLP dialog tests passed" || echo "ZOLP dialog tests: $status case(s) failed"
exit $status
