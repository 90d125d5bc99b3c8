#!/usr/bin/env bash
# zolpcli.exe under wine on simulated drives (ZOLP_SIM_DEVICES): two sticks of
# different sizes, one with a mounted volume, are written at once; each equals
# the image the Linux vellix builds for its size, passes fsck.fat -n and boots in
# qemu (check_media.sh); a card slot named beside them stops the run before
# anything is written; a drive whose volume another program holds fails alone.
. "$(dirname "$0")/lib.sh"

: "${ZOLPCLI_EXE:?}"
package_dir="$LINUX_BUILD/package"

win_path() { printf 'Z:%s' "${1//\//\\}"; }

# The sample package in $WORK/package, without the names that need a generated
# 8.3 alias (each system makes those by its own rules).
make_package() {
  [ -f "$package_dir/DD.CFG" ] || fail "no sample package in $package_dir (the Linux build's sample_package)"
  make_workdir
  cp -r "$package_dir" "$WORK/package"
  find "$WORK/package" -mindepth 1 -depth | while read -r f; do
    n=$(basename "$f")
    [[ "$n" =~ ^[^.\ ]{1,8}(\.[^.\ ]{1,3})?$ ]] || rm -rf "$f"
  done
}

case_two_sticks() {
  make_package
  cat >"$WORK/devices.txt" <<DEV
usb 1 $(win_path "$WORK/s64.img") 67108864 letter=E vendor=ACME product="Flash 64" revision=1.0
usb 2 $(win_path "$WORK/s96.img") 100663296 vendor=Big product="Stick 96"
cardslot 3 SD/MMC
usb 4 $(win_path "$WORK/busy.img") 33554432 letter=G inuse=always vendor=Busy product="Stick 32"
DEV
  cd "$WORK/package" || fail "package"
  export ZOLP_SIM_DEVICES
  ZOLP_SIM_DEVICES=$(win_path "$WORK/devices.txt")
  local from to
  launch "$ZOLPCLI_EXE" usb 1 2 3 --yes
  expect_code 3
  expect_output "PhysicalDrive3 is never written"
  [ ! -e "$WORK/s64.img" ] && [ ! -e "$WORK/s96.img" ] || fail "a drive was written beside a refused one"
  from=$(date +%s)
  launch "$ZOLPCLI_EXE" usb --all --yes
  to=$(date +%s)
  expect_code 1
  printf '%s\n' "$OUT" | tr -d '\r' | grep -Eq "^PhysicalDrive4 .*G:" && [ ! -e "$WORK/busy.img" ] ||
    fail "the drive whose volume stays in use: $OUT"
  for n in 1 2; do
    printf '%s\n' "$OUT" | tr -d '\r' | grep -Eq "^PhysicalDrive$n .*Successfully created the USB flash drive.$" ||
      fail "drive $n: $OUT"
    printf '%s\n' "$OUT" | tr -d '\r' | grep -Eq "^PhysicalDrive$n +verifying +[1-9]0%" ||
      fail "drive $n: no progress lines every 10 %: $OUT"
  done
  [ -z "$(ls "$WORK/package" | grep -i '^~DP')" ] || fail "temporary images left behind: $(ls "$WORK/package")"
  printf 'usb FLASH %s %s A05 %s %s -t131072\n' "$WORK/package" "$WORK/s64.img" "$from" "$to" >"$WORK/made.txt"
  printf 'usb FLASH %s %s A05 %s %s -t196608\n' "$WORK/package" "$WORK/s96.img" "$from" "$to" >>"$WORK/made.txt"
  bash "$SOURCE_DIR/tests/zolp/check_media.sh" "$WORK/made.txt" "$LINUX_BUILD/imagebuilder/vellix" ||
    fail "the sticks differ from vellix's images"
}

# burn: the CD section's ISO burned onto a blank CD-R in a simulated writer equals
# vellix's, passes isoinfo, xorriso and fsck.fat, and boots; a letter that is no
# writer is refused.
case_burn() {
  make_package
  echo "cdwriter D $(win_path "$WORK/burned.iso") cd-r" >"$WORK/devices.txt"
  cd "$WORK/package" || fail "package"
  export ZOLP_SIM_DEVICES
  ZOLP_SIM_DEVICES=$(win_path "$WORK/devices.txt")
  launch "$ZOLPCLI_EXE" burn E
  expect_code 3
  local from to
  from=$(date +%s)
  launch "$ZOLPCLI_EXE" burn D
  to=$(date +%s)
  expect_code 0
  expect_output "Successfully created the CD."
  printf 'cd CD %s %s A05 %s %s -NA05\n' "$WORK/package" "$WORK/burned.iso" "$from" "$to" >"$WORK/made.txt"
  bash "$SOURCE_DIR/tests/zolp/check_media.sh" "$WORK/made.txt" "$LINUX_BUILD/imagebuilder/vellix" ||
    fail "the burned disc differs from vellix's ISO"
}

# update --yes on the simulated system disk (the update test disk): the dialog's
# update, checked as the Linux case checks it; a disk without the utility
# partition ends with torbel's 702 as it is.
case_update() {
  make_package
  local disk_tool="$SOURCE_DIR/tests/zolp/update_disk.sh" disk="$WORK/disk.img"
  bash "$disk_tool" sample "$disk" || fail "sample disk"
  echo "systemdisk $(win_path "$disk")" >"$WORK/devices.txt"
  cd "$WORK/package" || fail "package"
  export ZOLP_SIM_DEVICES
  ZOLP_SIM_DEVICES=$(win_path "$WORK/devices.txt")
  launch "$ZOLPCLI_EXE" update --yes
  expect_code 0
  expect_output "The diagnostic partition was successfully updated."
  {
    echo "disk $disk $disk.before"
    for f in DIAGMAIN.EXE MEMTEST.EXE HddTest.exe OrvoDiag.ini; do echo "copied DIAGS/$f \\DIAGS\\$f"; done
    echo 'gone \DIAGS\OLDDIAG.EXE'; echo 'gone \ORVOUP\TEMP.DAT'
  } >"$WORK/checks.txt"
  bash "$disk_tool" check "$WORK/checks.txt" || fail "the updated partition"
  bash "$disk_tool" make "$disk" 16 06 || fail "plain disk"
  launch "$ZOLPCLI_EXE" update --yes
  expect_code 702
  expect_output "Unable to open the hard drive"
}

run_case "$@"
