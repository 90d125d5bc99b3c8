#!/usr/bin/env bash
# Checks what a release is made of, after scripts/test.sh has built build/ and the Windows
# build folders:
#  - `cmake --install` of the Linux build into a prefix and with DESTDIR staging: the installed
#    vellix builds the sample diskette (fsck.fat passes), both manual pages render cleanly;
#  - the Windows release archive (`--target package`) holds ZOLP.exe, the two tools, README.txt
#    and the sample package, and its ZOLP.exe shows the main dialog under wine (on a host
#    without 32-bit code, the same archive made from the x86_64 test build);
#  - reproducible builds: a second copy of the sources, in another folder, gives the same
#    vellix and torbel (Linux) and the same .exe files and archive contents (Windows).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
. cmake/wine-env.sh
diag_pick_win_arch
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
work="$(mktemp -d "${TMPDIR:-/tmp}/release-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1 MANPAGER=cat MANWIDTH=80
# Both archives of the comparison take their file times from here (the copied tree is no git
# checkout).
SOURCE_DATE_EPOCH="$(git log -1 --format=%ct)"
export SOURCE_DATE_EPOCH

fail() {
  echo "test-release.sh: FAIL: $*" >&2
  exit 1
}
pass() { echo "test-release.sh: ok: $*"; }

# --- cmake --install -------------------------------------------------------------------------
prefix="$work/prefix"
cmake --install build --prefix "$prefix" >/dev/null
for file in bin/vellix bin/torbel bin/zolpcli share/man/man1/vellix.1 share/man/man1/torbel.1 \
            share/man/man1/zolpcli.1 \
            share/doc/diagmedia/README.md share/doc/diagmedia/linux.md share/doc/diagmedia/torbel.md; do
  [ -f "$prefix/$file" ] || fail "cmake --install put no $file under the prefix"
done
DESTDIR="$work/stage" cmake --install build --prefix /usr/local >/dev/null
[ -x "$work/stage/usr/local/bin/vellix" ] && [ -f "$work/stage/usr/local/share/man/man1/torbel.1" ] \
  || fail "DESTDIR staging did not put the files under DESTDIR/usr/local"

cp -a build/package "$work/package"
(cd "$work/package" && "$prefix/bin/vellix" dd.cfg DISKETTE -vA05 -i "$work/fd.img" >/dev/null) \
  || fail "the installed vellix did not build the sample diskette"
fsck.fat -n "$work/fd.img" >/dev/null || fail "fsck.fat rejects the installed vellix's diskette"
pass "installed into a prefix and under DESTDIR; the installed vellix built a sound diskette"

# A copied package without its boot sector: exit 9 and the line that says why.
rm "$work/package/BOOTSECT.BIN"
status=0
(cd "$work/package" && "$prefix/bin/vellix" dd.cfg DISKETTE -vA05 -i "$work/fd2.img" \
   >/dev/null 2>"$work/vellix-err.txt") || status=$?
[ "$status" = 9 ] || fail "vellix without BOOTSECT.BIN exited $status, not 9"
grep -qxF 'vellix: error 9: cannot open the boot sector file "BOOTSECT.BIN" (BsFileName): No such file or directory' \
  "$work/vellix-err.txt" || fail "vellix's error line: $(cat "$work/vellix-err.txt")"
"$prefix/bin/vellix" --version >/dev/null || fail "vellix --version did not exit with 0"
[ "$("$prefix/bin/zolpcli" --version)" = "zolpcli $(sed -n 's/^project(diagmedia VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" ] ||
  fail "zolpcli --version printed: $("$prefix/bin/zolpcli" --version)"
version="$("$prefix/bin/torbel" --version)" || fail "torbel --version did not exit with 0"
[[ "$version" == "VERSION:   torbel"* ]] || fail "torbel --version printed: $version"
pass "the installed tools say what went wrong, and answer --version"

for page in vellix torbel zolpcli; do
  warnings="$(man --warnings -l "$prefix/share/man/man1/$page.1" 2>&1 >"$work/$page.txt")" \
    || fail "man -l $page.1 failed"
  [ -z "$warnings" ] || fail "man -l $page.1 warns: $warnings"
  grep -q "^NAME" "$work/$page.txt" || fail "$page.1 renders without a NAME section"
done
grep -q "BsFileName" "$work/vellix.txt" || fail "vellix.1 lacks the key reference"
grep -q "COPYHD2SYS" "$work/torbel.txt" || fail "torbel.1 lacks the command reference"
grep -q "ZOLP_SYSFS_ROOT" "$work/zolpcli.txt" || fail "zolpcli.1 lacks the stick rules"
pass "man -l renders vellix.1, torbel.1 and zolpcli.1 without warnings"

# --- a second copy of the sources, somewhere else ----------------------------------------------
copy="$work/elsewhere/diagmedia"
mkdir -p "$copy"
git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$copy"

build_type="$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' build/CMakeCache.txt)"
cmake -S "$copy" -B "$copy/out" -DCMAKE_BUILD_TYPE="$build_type" -DDIAG_TESTS=OFF >/dev/null
cmake --build "$copy/out" -j"$jobs" --target vellix torbel >/dev/null
cmp build/imagebuilder/vellix "$copy/out/imagebuilder/vellix" || fail "two Linux builds give different vellix"
cmp build/partshell/torbel "$copy/out/partshell/torbel" || fail "two Linux builds give different torbel"
pass "two Linux builds in different folders give identical vellix and torbel"

# --- the Windows release archive --------------------------------------------------------------
unpack() {  # BUILD DEST: makes BUILD's archive and unpacks it into DEST; prints its top folder
  cmake --build "$1" -j"$jobs" --target package >/dev/null
  local zip
  zip="$(ls -t "$(cd "$1" && pwd)"/release/ZOLP-*.zip 2>/dev/null | head -n1)"
  [ -n "$zip" ] || fail "$1: --target package made no ZOLP-*.zip in $1/release"
  mkdir -p "$2"
  (cd "$2" && cmake -E tar xf "$zip")
  echo "$2/$(basename "$zip" .zip)"
}

shipped="$(unpack build-win "$work/win")"
case "$(basename "$shipped")" in
  ZOLP-3.3.2.0-win32) ;;
  *) fail "the archive's name does not carry ZOLP.exe's version 3.3.2.0: $(basename "$shipped")" ;;
esac
for file in ZOLP.exe zolpcli.exe vellix.exe torbel.exe README.txt package/DD.CFG package/BOOTSECT.BIN \
            package/DIAGS/DIAGMAIN.EXE package/readme.txt package/Version.txt; do
  [ -f "$shipped/$file" ] || fail "the archive lacks $file"
done
for exe in ZOLP.exe zolpcli.exe vellix.exe torbel.exe; do
  [ "$(diag_pe_arch "$shipped/$exe")" = i686 ] || fail "the archive's $exe is not an i686 program"
done
cmp -s <(tr -d '\r' <"$shipped/README.txt") README.md || fail "README.txt is not the README"
grep -q $'\r$' "$shipped/README.txt" || fail "README.txt lacks Windows line ends"
cmp build-win/imagebuilder/vellix.exe "$shipped/vellix.exe" || fail "the archive's vellix.exe is not the build's"
pass "$(basename "$shipped").zip holds ZOLP.exe, zolpcli.exe, vellix.exe, torbel.exe (i686), README.txt and the sample package"

cmake -S "$copy" -B "$copy/out-win" -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DDIAG_TESTS=OFF >/dev/null
again="$(unpack "$copy/out-win" "$work/win-again")"
diff -r "$shipped" "$again" >/dev/null || fail "two Windows builds give different archive contents: $(diff -rq "$shipped" "$again")"
cmp "$(ls build-win/release/ZOLP-*-win32.zip)" "$(ls "$copy"/out-win/release/ZOLP-*-win32.zip)" \
  || fail "two Windows builds give archives that differ byte for byte"
pass "two Windows builds in different folders give identical .exe files and identical archives"

# The archive's ZOLP.exe under wine: the shipped one where 32-bit programs run, else the same
# archive made from the x86_64 test build.
if [ "$DIAG_WIN_ARCH" = x86_64 ]; then
  [ -f build-win64/CMakeCache.txt ] || fail "no x86_64 test build in build-win64"
  runnable="$(unpack build-win64 "$work/win64")"
else
  runnable="$shipped"
fi
ZOLP_PROGRAMS="$runnable" bash scripts/test-zolp.sh template_101 resources \
  || fail "the archive's ZOLP.exe did not show its main dialog under wine"
pass "$(basename "$runnable"): ZOLP.exe starts under wine, shows the main dialog and carries the archive's tools"
