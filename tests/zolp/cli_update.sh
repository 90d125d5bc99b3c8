#!/usr/bin/env bash
# zolpcli update on the update test disk (update_disk.sh) through the Linux
# torbel: unattended it runs the dialog's torbel commands in the dialog's order
# and leaves the partition the dialog's update leaves; a disk without the
# utility partition ends with torbel's 702, a partition too small for the
# copies with 730 (exit statuses 190 and 218); without --yes and a terminal
# nothing is changed.
#   cli_update.sh ZOLPCLI TORBEL PACKAGE
set -uo pipefail
zolpcli=$(readlink -f "${1:?zolpcli}")
torbel=$(readlink -f "${2:?torbel}")
package=$(readlink -f "${3:?package}")
disk_tool=$(cd "$(dirname "$0")" && pwd)/update_disk.sh
work=$(mktemp -d /tmp/zolpcli-update.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "cli_update: $*"; exit 1; }
mkdir "$work/bin" && ln -s "$torbel" "$work/bin/torbel" && export PATH=$work/bin:$PATH
cp -r "$package" "$work/package" && cd "$work/package" || fail "package"
export TORBEL_DISK=$work/disk.img

bash "$disk_tool" sample "$TORBEL_DISK" || fail "sample disk"
"$zolpcli" update </dev/null >"$work/out.txt" 2>&1
[ $? = 3 ] && grep -q "not a terminal" "$work/out.txt" && cmp -s "$TORBEL_DISK" "$TORBEL_DISK.before" ||
  fail "update without --yes or a terminal: $(cat "$work/out.txt")"

"$zolpcli" update --yes </dev/null >"$work/out.txt" 2>&1 || fail "update --yes: $(cat "$work/out.txt")"
grep -q "^The diagnostic partition was successfully updated.$" "$work/out.txt" ||
  fail "no result line: $(cat "$work/out.txt")"
grep '^torbel ' "$work/out.txt" | sed 's/^torbel \/TDE //' | uniq >"$work/commands.txt"
printf '%s\n' 'IFEXISTS SYS:\ORVOUP\DIAGS' 'IFEXISTS SYS:\DIAGS' \
  'COPYSYS2HD \DIAGS\OrvoDiag.ini UP\oldver.ini' 'DEL \DIAGS\OLDDIAG.EXE' 'DEL \ORVOUP\TEMP.DAT' \
  'IFEXISTS SYS:\DIAGS' 'COPYHD2SYS DIAGS\DIAGMAIN.EXE \DIAGS' 'COPYHD2SYS DIAGS\MEMTEST.EXE \DIAGS' \
  'COPYHD2SYS DIAGS\HddTest.exe \DIAGS' 'COPYHD2SYS DIAGS\OrvoDiag.ini \DIAGS' >"$work/expected.txt"
diff "$work/expected.txt" "$work/commands.txt" || fail "not the dialog's torbel commands"
[ ! -e UP ] && [ ! -e torbel.exe ] || fail "the update left files in the package"
{
  echo "disk $TORBEL_DISK $TORBEL_DISK.before"
  for f in DIAGMAIN.EXE MEMTEST.EXE HddTest.exe OrvoDiag.ini; do echo "copied DIAGS/$f \\DIAGS\\$f"; done
  echo 'gone \DIAGS\OLDDIAG.EXE'; echo 'gone \ORVOUP\TEMP.DAT'
  echo "copied $TORBEL_DISK.old/DIAGS/KEEP.DAT \\DIAGS\\KEEP.DAT"
  echo "copied $TORBEL_DISK.old/BOOT.SYS \\BOOT.SYS"
} >"$work/checks.txt"
bash "$disk_tool" check "$work/checks.txt" || fail "the updated partition"

bash "$disk_tool" make "$TORBEL_DISK" 16 06 && cp "$TORBEL_DISK" "$work/plain.img" || fail "plain disk"
"$zolpcli" update --yes </dev/null >"$work/out.txt" 2>&1
status=$?
[ $status = 190 ] && grep -q "Update not possible" "$work/out.txt" &&
  grep -q "exit code 702: Unable to open the hard drive" "$work/out.txt" && cmp -s "$TORBEL_DISK" "$work/plain.img" ||
  fail "no utility partition: status $status: $(cat "$work/out.txt")"

head -c $((20 << 20)) /dev/zero | tr '\0' B >DIAGS/BIG.DAT
sed -i 's/^\[UP_COPY\]\r\?$/&\nDIAGS\\BIG.DAT \\DIAGS\r/' DD.CFG
bash "$disk_tool" sample "$TORBEL_DISK" || fail "sample disk"
"$zolpcli" update --yes </dev/null >"$work/out.txt" 2>&1
status=$?
[ $status = 218 ] && grep -q "Error 730 accessing the diagnostic partition" "$work/out.txt" ||
  fail "a full partition: status $status: $(cat "$work/out.txt")"
echo "cli_update: all checks hold"
