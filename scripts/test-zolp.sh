#!/usr/bin/env bash
# Builds ZOLP.exe and ZOLPSIM.exe with the test driver and gallery (reused when
# scripts/test-windows.sh made them) and drives their dialogs under wine and Xvfb: the shipped
# i686 build (build-win/) where the host runs 32-bit code, the x86_64 test build (build-win64/)
# where it runs none (cmake/wine-env.sh). Screenshots of the dialogs and windows are kept as
# PNG files in <build>/zolp-shots/; the media the option cases make stay in <build>/zolp-media/
# and are checked against the Linux vellix, fsck.fat and qemu (tests/zolp/check_media.sh).
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
media="$root/$build/zolp-media"

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
  # The option cases build their packages with the sample package's boot code and leave
  # their media here.
  export ZOLP_SAMPLE_PACKAGE="$(winpath "$root/build/package")"
  export ZOLP_MEDIA="$(winpath "$media")"
  status=0
  "$DIAG_WINE" "$app/zolp_driver.exe" "$(winpath "$zolp")" "$(winpath "$app/zolp_gallery.exe")" \
    "$(winpath "$app/ZOLPSIM.exe")" "$(winpath "$shots")" "$@" </dev/null 2>/dev/null || status=$?
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
cmake --build $build -j"$jobs" --target ZOLP ZOLPSIM zolp_gallery zolp_driver
# The Linux vellix and the sample package: the reference and the boot code of the media checks.
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build -j"$jobs" --target vellix sample_package

echo "test-zolp.sh: dialogs of $build ($DIAG_WIN_ARCH): $DIAG_WIN_ARCH_REASON"
bash cmake/wine-prefix.sh "$WINEPREFIX" "$DIAG_WIN_ARCH"
rm -rf "$shots" "$media"
mkdir -p "$shots" "$media"
status=0
# The computer's disk of the partition update case (ZOLPSIM.exe's systemdisk); what the
# case leaves on it is checked after the run.
bash tests/zolp/update_disk.sh sample "$media/update-disk.img" || status=1
ZOLP_UNDER_X=1 diag_xvfb_run bash "$0" "$@" || status=$((status + $?))
if [ -f "$media/update-checks.txt" ]; then
  bash tests/zolp/update_disk.sh check "$media/update-checks.txt" || status=$((status + 1))
fi
if [ -f "$media/made.txt" ]; then
  bash tests/zolp/check_media.sh "$media/made.txt" "$root/build/imagebuilder/vellix" ||
    status=$((status + 1))
fi

if command -v convert >/dev/null; then
  for bmp in "$shots"/*.bmp; do
    [ -f "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
fi
echo "ZOLP screenshots: $(ls "$shots" | tr '\n' ' ')"
[ $status -eq 0 ] && echo "ZOLP dialog tests passed" ||
  echo "ZOLP dialog tests: $status case(s) or media checks failed"
exit $status
