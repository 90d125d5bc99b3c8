#!/usr/bin/env bash
# Builds ZOLP.exe with its test driver and gallery (reused when scripts/test-windows.sh
# made them) and drives its dialogs under wine and Xvfb: the shipped i686 build (build-win/)
# where the host runs 32-bit code, the x86_64 test build (build-win64/) where it runs none
# (cmake/wine-env.sh). Screenshots of the main dialog templates and the shared windows are
# kept as PNG files in <build>/zolp-shots/.
#   bash scripts/test-zolp.sh [case...]     all cases, or only those named
# ZOLP_PROGRAMS=DIR puts DIR/ZOLP.exe under test in place of this build's, with DIR/torbel.exe
# and DIR/vellix.exe as the tools it must carry (an unpacked release archive).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
. cmake/wine-env.sh
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
diag_pick_win_arch
build="$(diag_win_build_dir "$DIAG_WIN_ARCH")"
export WINEPREFIX="$root/$build/wineprefix-zolp"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
shots="$root/$build/zolp-shots"

winpath() { printf 'Z:%s' "${1//\//\\}"; }

if [ "${ZOLP_UNDER_X:-}" = 1 ]; then  # second half, run under the X server below
  diag_wine_loader "$DIAG_WIN_ARCH"
  wineserver -p
  trap 'wineserver -k 2>/dev/null || true' EXIT
  "$DIAG_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
  app="$root/$build/frontend/app"
  zolp="$app/ZOLP.exe" torbel="$root/$build/partshell/torbel.exe" vellix="$root/$build/imagebuilder/vellix.exe"
  if [ -n "${ZOLP_PROGRAMS:-}" ]; then
    zolp="$ZOLP_PROGRAMS/ZOLP.exe" torbel="$ZOLP_PROGRAMS/torbel.exe" vellix="$ZOLP_PROGRAMS/vellix.exe"
  fi
  # The driver compares the embedded tools with these programs.
  [ -f "$torbel" ] && export ZOLP_TORBEL="$(winpath "$torbel")"
  [ -f "$vellix" ] && export ZOLP_VELLIX="$(winpath "$vellix")"
  status=0
  "$DIAG_WINE" "$app/zolp_driver.exe" "$(winpath "$zolp")" "$(winpath "$app/zolp_gallery.exe")" \
    "$(winpath "$shots")" "$@" </dev/null 2>/dev/null || status=$?
  exit $status
fi

prefix=i686-w64-mingw32
toolchain=mingw-i686.cmake
if [ "$DIAG_WIN_ARCH" = x86_64 ]; then
  prefix=x86_64-w64-mingw32
  toolchain=mingw-x86_64.cmake
fi
for tool in $prefix-g++-posix $prefix-windres wineserver Xvfb; do
  command -v "$tool" >/dev/null || {
    echo "test-zolp.sh: $tool is missing (bash scripts/install-deps.sh --windows)" >&2
    exit 1
  }
done

if [ ! -f $build/CMakeCache.txt ]; then
  cmake -S . -B $build -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DDIAG_LINUX_BUILD_DIR="$root/build" >/dev/null
fi
cmake --build $build -j"$jobs" --target ZOLP zolp_gallery zolp_driver

echo "test-zolp.sh: dialogs of $build ($DIAG_WIN_ARCH): $DIAG_WIN_ARCH_REASON"
bash cmake/wine-prefix.sh "$WINEPREFIX" "$DIAG_WIN_ARCH"
rm -rf "$shots"
mkdir -p "$shots"
status=0
ZOLP_UNDER_X=1 diag_xvfb_run bash "$0" "$@" || status=$?

if command -v convert >/dev/null; then
  for bmp in "$shots"/*.bmp; do
    [ -f "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
fi
echo "ZOLP screenshots: $(ls "$shots" | tr '\n' ' ')"
[ $status -eq 0 ] && echo "ZOLP dialog tests passed" || echo "ZOLP dialog tests: $status case(s) failed"
exit $status
