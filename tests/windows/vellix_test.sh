#!/usr/bin/env bash
# vellix.exe under wine. Trees whose names need no generated 8.3 alias must give images
# byte-identical to the Linux build's (same BUILDSETTIME, same time zone); trees with long
# names must give volumes that fsck.fat passes and mtools reads back.
. "$(dirname "$0")/lib.sh"

: "${VELLIX_EXE:?}"
export BUILDSETTIME=5F3A1B2C            # 2020-08-17, one build time for both programs
export TZ=Asia/Kolkata                  # UTC+5:30 all year: local-time slips show up
LINUX_VELLIX="$LINUX_BUILD/imagebuilder/vellix"

need_linux() {
  [ -x "$LINUX_VELLIX" ] || skip "no Linux vellix in $LINUX_BUILD"
}

# A 512-byte sector with the boot signature and the given first bytes.
make_sector() {  # FILE FIRST-BYTES(printf escapes)
  head -c 512 /dev/zero >"$1"
  printf "$2" | dd of="$1" conv=notrunc status=none
  printf '\x55\xaa' | dd of="$1" bs=1 seek=510 conv=notrunc status=none
}

# Sets a fixed time on every file and directory of a tree, deepest first.
fix_times() {  # DIR DATE
  find "$1" -depth -exec touch -h -d "$2" {} +
}

# The package: boot sector, MBR, a readme for CDs, DD.CFG and a tree of 8.3 names
# (upper, lower and mixed case, an empty file, nested directories, a multi-cluster file).
make_package() {
  make_workdir
  PKG="$WORK/pkg"
  mkdir -p "$PKG/tree/DIAGS/DATA" "$PKG/tree/empty"
  cd "$PKG"
  make_sector boot.bin '\xeb\x3c\x90MSWIN4.1'
  make_sector mbr.bin '\xfa\x33\xc0'
  printf 'Boot this CD to run the diagnostics.\r\n' >cdread.txt
  printf 'readme of the package\r\n' >tree/readme.txt
  printf '[DiagVersion]\r\nA01\r\n' >tree/DIAGS/OrvoDiag.ini
  head -c 70001 /dev/urandom >tree/DIAGS/DIAG.EXE
  head -c 3000 /dev/urandom >tree/DIAGS/DATA/Tests.Dat
  : >tree/EMPTY.TXT
  printf 'x' >tree/A
  fix_times tree '2019-03-04 05:06:08'
  touch -d '2021-11-30 23:59:58' tree/DIAGS/DIAG.EXE
  cat >dd.cfg <<'CFG'
; test package
BsFileName=boot.bin
FileRoot=tree
OemName=TESTOEM
[DISKETTE]
DiskType=1440
[HDD]
MbrFileName=mbr.bin
[FLASH]
MbrFileName=mbr.bin
LongFN=1
[CD]
ISO=1
DiskType=1440
ISOReadmeName=cdread.txt
Publisher=Diagnostics Test Publisher
CFG
}

# vellix_win SECTION ARGS...: vellix.exe in the package directory; CODE, OUT as for launch.
vellix_win() {
  launch "$VELLIX_EXE" dd.cfg "$@"
}

# build_both SECTION ARGS...: the same build with both programs, into linux.img and win.img;
# both must succeed and the images must be the same bytes.
build_both() {
  need_linux
  local section="$1"; shift
  "$LINUX_VELLIX" dd.cfg "$section" "$@" -ilinux.img >linux.out 2>&1
  local linux_code=$?
  [ "$linux_code" = 0 ] || fail "Linux vellix ended with $linux_code: $(cat linux.out)"
  vellix_win "$section" "$@" -iwin.img
  expect_code 0
  cmp linux.img win.img || fail "vellix.exe and vellix made different images for $section"
}

# Byte offset of the volume: 0, or the first sector of MBR entry 1 when the image has one.
volume_offset() {  # IMG HAS_MBR
  if [ "$2" = yes ]; then
    echo $(( $(od -An -t u4 -j 454 -N 4 "$1") * 512 ))
  else
    echo 0
  fi
}

# check_volume IMG OFFSET: fsck.fat finds nothing to fix.
check_volume() {
  local vol="$WORK/volume.img"
  dd if="$1" of="$vol" bs=512 skip=$(($2 / 512)) status=none
  fsck.fat -n "$vol" >"$WORK/fsck.txt" 2>&1 || fail "fsck.fat on $1: $(cat "$WORK/fsck.txt")"
  rm -f "$vol"
}

# check_tree_by_path IMG OFFSET TREE: every file of TREE reads back with the same bytes under
# its own path (mtools finds short and long names case-insensitively).
check_tree_by_path() {
  local img="$1" offset="$2" tree="$3" f
  while IFS= read -r f; do
    mcopy -n -i "$img@@$offset" "::/$f" "$WORK/readback" 2>"$WORK/mcopy.txt" \
      || fail "mcopy of $f: $(cat "$WORK/mcopy.txt")"
    cmp -s "$tree/$f" "$WORK/readback" || fail "$f reads back with other bytes"
  done < <(cd "$tree" && find . -type f | sed 's|^\./||')
}

# check_tree_whole IMG OFFSET TREE: mcopy of the whole volume gives TREE back, long names
# included.
check_tree_whole() {
  local out="$WORK/readback-tree"
  rm -rf "$out"; mkdir "$out"
  mcopy -s -n -i "$1@@$2" '::*' "$out/" 2>"$WORK/mcopy.txt" || fail "mcopy -s: $(cat "$WORK/mcopy.txt")"
  diff -r "$3" "$out" >"$WORK/diff.txt" || fail "tree read back differs: $(cat "$WORK/diff.txt")"
}

case_version_resource() {
  make_workdir; cd "$WORK"
  launch "$PROBE_EXE" version "$VELLIX_EXE" FileVersion
  expect_output "FileVersion=3.2.5"
  expect_output "FILEVERSION=3.2.5.0"
  launch "$PROBE_EXE" version "$VELLIX_EXE" OriginalFilename
  expect_output "OriginalFilename=vellix.exe"
}

case_banner_and_help() {
  make_package
  launch "$VELLIX_EXE"
  expect_code 59
  expect_output "Vellix"
  expect_output "3.2.5"
  vellix_win -?
  expect_code 59
  vellix_win -zh
  expect_code 59
}

# The same refused command lines give the same exit codes on both builds.
case_exit_codes_as_linux() {
  need_linux
  make_package
  cp boot.bin boot.orig
  local args linux_code
  while IFS= read -r args; do
    eval "set -- $args"
    "$LINUX_VELLIX" "$@" >/dev/null 2>&1
    linux_code=$?
    launch "$VELLIX_EXE" "$@"
    [ "$CODE" = "$linux_code" ] || fail "vellix.exe $args: $CODE, Linux build: $linux_code"
  done <<'ARGS'
nosuch.cfg DISKETTE
dd.cfg DISKETTE -T1000
dd.cfg DISKETTE -y32
dd.cfg DISKETTE -c3
dd.cfg HDD -i a.img -i b.img
dd.cfg HDD -fnosuchdir -ix.img
dd.cfg HDD -bnosuch.bin -ix.img
dd.cfg HDD -mnosuch.bin -ix.img
dd.cfg DISKETTE -ino/such/dir/x.img
dd.cfg HDD -t5000000 -ix.img
dd.cfg US -ix.img
dd.cfg DISKETTE -H4 -ix.img
dd.cfg HDD -t-1 -ix.img
dd.cfg DISKETTE -iboot.bin
dd.cfg DISKETTE -itree/A
ARGS
  [ -n "$CODE" ] || fail "no case ran"
  # An image named as one of the inputs is refused before anything is written.
  cmp -s boot.bin boot.orig || fail "the boot sector file was changed"
  [ "$(cat tree/A)" = x ] || fail "the file of the tree was changed"
  # The error line names the file, its key and the system's reason.
  launch "$VELLIX_EXE" dd.cfg HDD -bnosuch.bin -ix.img
  expect_code 9
  expect_output 'vellix: error 9: cannot open the boot sector file "nosuch.bin" (BsFileName): '
  launch "$VELLIX_EXE" dd.cfg HDD -bnosuch.bin -ix.img -dnone
  ! printf '%s\n' "$OUT" | grep -q 'vellix: error' || fail "DebugLevel none still printed: $OUT"
}

case_diskette_identical() {
  make_package
  TZ=UTC build_both DISKETTE -z -v"DIAG TEST"
  [ "$(stat -c %s win.img)" = 1474560 ] || fail "diskette image is $(stat -c %s win.img) bytes"
  check_volume win.img 0
  check_tree_by_path win.img 0 tree
}

case_hard_disk_with_mbr_identical() {
  make_package
  build_both HDD -z -vHDDVOL
  local offset; offset="$(volume_offset win.img yes)"
  [ "$offset" -gt 0 ] || fail "no partition in the MBR"
  sfdisk -d win.img >/dev/null 2>&1 || fail "sfdisk cannot read the partition table"
  check_volume win.img "$offset"
  check_tree_by_path win.img "$offset" tree
}

case_image_without_zero_data_identical() {
  # Without ZeroData the image file ends at the last allocated cluster, so only the
  # bytes are compared.
  make_package
  build_both HDD -vSHORTFILE
  [ "$(stat -c %s win.img)" -lt $((9000 * 512)) ] || fail "the image was written to its full size"
  build_both DISKETTE -vSHORTFLOPPY
}

case_path_forms_give_the_same_image() {
  # FileRoot with a trailing backslash, with forward slashes, as an absolute drive path;
  # the image in a subdirectory given with a backslash.
  make_package
  build_both DISKETTE -z -vPATHS
  local root_abs="Z:$(pwd | tr / '\\')\\tree" form n=0
  mkdir out
  for form in 'tree\' './tree/' "$root_abs"; do
    n=$((n + 1))
    vellix_win DISKETTE -z -vPATHS "-f$form" "-iout\\form$n.img"
    expect_code 0
    cmp win.img "out/form$n.img" || fail "FileRoot $form gives another image"
  done
}

case_flash_long_name_entries_identical() {
  # LongFN with names that have no alias: lower- and mixed-case names keep their case
  # through long-name entries, on both builds alike.
  make_package
  build_both FLASH -z -v"USB DIAGS" -t65536
  [ "$(stat -c %s win.img)" = $((65536 * 512)) ] || fail "flash image size"
  local offset; offset="$(volume_offset win.img yes)"
  check_volume win.img "$offset"
  check_tree_whole win.img "$offset" tree
}

case_ordered_and_excluded_identical() {
  make_package
  build_both HDD -z -vORDER -oreadme.txt -oA '-xDIAGS\DATA\*.*' -xEMPTY.TXT
  local offset; offset="$(volume_offset win.img yes)"
  check_volume win.img "$offset"
  mdir -/ -b -i "win.img@@$offset" :: >list.txt || fail "mdir"
  ! grep -qi 'EMPTY.TXT\|TESTS.DAT' list.txt || fail "excluded names are on the volume: $(cat list.txt)"
}

case_iso_identical() {
  make_package
  build_both CD -vCDVOL -N"DIAG CD"
  isoinfo -d -i win.img >iso.txt 2>&1 || fail "isoinfo: $(cat iso.txt)"
  grep -q 'El Torito' iso.txt || fail "no El Torito boot entry: $(cat iso.txt)"
  # The emulated 1.44 MB diskette must lie wholly inside the image file.
  local boot_lba; boot_lba=$((16#$(sed -n 's/.*Bootoff \([0-9A-Fa-f]*\).*/\1/p' iso.txt)))
  [ "$(stat -c %s win.img)" -ge $((boot_lba * 2048 + 1474560)) ] \
    || fail "the image ($(stat -c %s win.img) bytes) ends inside the boot diskette at block $boot_lba"
  local image=boot.img
  dd if=win.img of="$image" bs=2048 skip="$boot_lba" count=720 status=none
  check_volume "$image" 0
  check_tree_by_path "$image" 0 tree
}

# Long names get the host's generated aliases (wine's differ from Windows' and from the
# Linux build's), so these images are checked for soundness, not compared.
make_long_tree() {
  mkdir -p "$PKG/long/Sub Directory With Long Name/deeper level"
  cd "$PKG/long"
  printf 'long one\r\n' >"Long File Name.txt"
  printf 'spaces and +\r\n' >"a b+c.txt"
  printf 'inner\r\n' >"Sub Directory With Long Name/inner document.txt"
  head -c 9000 /dev/urandom >"Sub Directory With Long Name/deeper level/payload.binary"
  local i
  for i in $(seq -w 1 24); do
    printf 'module %s\r\n' "$i" >"diagnostic_module_$i.bin"
  done
  cp "$PKG/tree/readme.txt" README.TXT
  fix_times . '2018-07-01 10:00:00'
  cd "$PKG"
}

case_long_names_with_long_entries() {
  make_package
  make_long_tree
  vellix_win FLASH -z -vLONGNAMES -flong -t65536 -ilong.img
  expect_code 0
  local offset; offset="$(volume_offset long.img yes)"
  check_volume long.img "$offset"
  check_tree_whole long.img "$offset" long
}

case_long_names_short_entries_only() {
  # Without long-name entries every file still lands once, under a unique 8.3 name.
  make_package
  make_long_tree
  vellix_win DISKETTE -z -vSHORTNAMES -flong -ishort.img
  expect_code 0
  check_volume short.img 0
  rm -rf out; mkdir out
  mcopy -s -n -i short.img '::*' out/ || fail "mcopy -s"
  (cd long && find . -type f -exec md5sum {} + | cut -d' ' -f1 | sort) >want.md5
  (cd out && find . -type f -exec md5sum {} + | cut -d' ' -f1 | sort) >got.md5
  diff want.md5 got.md5 >/dev/null || fail "file contents on the volume differ from the tree"
}

run_case "$@"
