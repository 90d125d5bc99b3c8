#!/usr/bin/env bash
# torbel.exe under wine against disk images named by TORBEL_DISK. Exit codes are read
# through launch.exe (the partition shell's codes go up to 766); the partition's contents
# are checked with fsck.fat and mtools.
. "$(dirname "$0")/lib.sh"

: "${TORBEL_EXE:?}"
UP_START=63                      # first sector of the utility partition
UP_OFFSET=$((UP_START * 512))

# make_disk IMG MB: a disk whose partition entry 1 is a FAT16 utility partition (type DE)
# from sector 63 to the end, formatted by mkfs.fat.
make_disk() {  # IMG MB [mkfs.fat options]
  local img="$1" mb="$2" sectors
  shift 2
  truncate -s "${mb}M" "$img"
  sectors=$((mb * 2048 - UP_START))
  printf 'label: dos\nstart=%d, size=%d, type=de, bootable\n' "$UP_START" "$sectors" \
    | sfdisk -q "$img" >/dev/null || fail "sfdisk"
  mkfs.fat -F 16 -R 1 --offset "$UP_START" -h "$UP_START" -n UTILITY "$@" "$img" $((sectors / 2)) \
    >/dev/null || fail "mkfs.fat"
}

# check_partition IMG: fsck.fat finds nothing wrong in the utility partition.
check_partition() {
  local part="$WORK/part.img"
  dd if="$1" of="$part" bs=512 skip="$UP_START" status=none
  fsck.fat -n "$part" >"$WORK/fsck.txt" 2>&1 || fail "fsck.fat: $(cat "$WORK/fsck.txt")"
}

# torbel ARGS...: torbel.exe on the disk $DISK, in the current directory.
torbel() {
  TORBEL_DISK="$(winepath_of "$DISK")" launch "$TORBEL_EXE" "$@"
}

# The disk path as the Windows program sees it (Z: is the Linux root under wine).
winepath_of() {
  printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"
}

setup() {
  make_workdir; cd "$WORK"
  DISK="$WORK/disk.img"
  make_disk "$DISK" 32
  export LOGALL=NUL
}

case_version_resource() {
  make_workdir; cd "$WORK"
  launch "$PROBE_EXE" version "$TORBEL_EXE" FileVersion
  expect_output "FileVersion=A07"
  launch "$PROBE_EXE" version "$TORBEL_EXE" OriginalFilename
  expect_output "OriginalFilename=torbel.exe"
}

case_usage_and_malformed_switches() {
  setup
  torbel "/?"
  expect_code 1
  expect_output "torbel [torbel_parm] [torbel_command]"
  torbel /P5 DIR
  expect_code 1
  expect_output "Malformed /P switch detected"
  torbel /T00 DIR
  expect_code 1
  expect_output "Malformed /T switch detected"
}

case_mount_failures() {
  setup
  # No partition of type DE anywhere: no drive qualifies.
  truncate -s 1M "$WORK/blank.img"
  DISK="$WORK/blank.img" torbel /TDE DIR
  expect_code 702
  expect_output "Unable To Open Hard Drive Device"
  expect_output "[torbel] No disk has a partition of type DE in its first standard entry (tried \""
  # A disk that does not exist is named with the system's reason.
  DISK="$WORK/nosuch.img" torbel /TDE DIR
  expect_code 702
  expect_output "[torbel] Cannot open \""
  expect_output "(TORBEL_DISK): "
  # The default asks for entry 0, which needs the virtual-partition tag.
  torbel DIR
  expect_code 700
  expect_output "(HVP)"
  # Broken boot sector signature.
  cp "$DISK" "$WORK/badsig.img"
  printf '\x00\x00' | dd of="$WORK/badsig.img" bs=1 seek=$((UP_OFFSET + 510)) conv=notrunc status=none
  DISK="$WORK/badsig.img" torbel /TDE DIR
  expect_code 708
  # The two FAT copies differ.
  cp "$DISK" "$WORK/fatdiff.img"
  local reserved; reserved=$(od -An -t u2 -j $((UP_OFFSET + 14)) -N 2 "$DISK")
  printf '\x77' | dd of="$WORK/fatdiff.img" bs=1 seek=$((UP_OFFSET + reserved * 512 + 100)) \
    conv=notrunc status=none
  DISK="$WORK/fatdiff.img" torbel /TDE DIR
  expect_code 705
  expect_output "FAT Table 1 & 2 Compare Failed"
}

case_physical_drive_scan_without_disk_image() {
  # Without TORBEL_DISK the shell tries \\.\PHYSICALDRIVE0..9; wine's drives hold no
  # utility partition, so the scan ends with 702 instead of hanging or mounting anything.
  make_workdir; cd "$WORK"
  export LOGALL=NUL
  (unset TORBEL_DISK; launch "$TORBEL_EXE" /TDE DIR; echo "$CODE" >code.txt; printf '%s' "$OUT" >out.txt)
  CODE="$(cat code.txt)" OUT="$(cat out.txt)"
  expect_code 702
  expect_output "Unable To Open Hard Drive Device"
}

case_system_message_texts() {
  # Windows error numbers are explained by the system's own texts (FormatMessage), the
  # shell's internal codes by its table.
  setup
  torbel /TDE ERROR 5
  expect_output "[ERROR] 5 - Access"
  expect_code 0
  torbel /TDE ERROR 112
  expect_output "[ERROR] 112 - "
  printf '%s\n' "$OUT" | grep -q '\[ERROR\] 112 - [A-Za-z]' || fail "no text for 112: $OUT"
  torbel /TDE ERROR 705
  expect_output "[ERROR] 705 - FAT_TABLE_COMPARE_FAILED"
}

case_copy_round_trip() {
  setup
  head -c 70000 /dev/urandom >"$WORK/DATA.BIN"
  printf 'hello from the package\r\n' >"$WORK/readme.txt"
  torbel /TDE MD DIAGS
  expect_code 0
  torbel /TDE COPYHD2SYS DATA.BIN '\DIAGS\DATA.BIN'
  expect_code 0
  torbel /TDE COPYHD2SYS readme.txt
  expect_code 0
  check_partition "$DISK"
  mcopy -n -i "$DISK@@$UP_OFFSET" ::/DIAGS/DATA.BIN "$WORK/via-mtools.bin" || fail "mcopy"
  cmp "$WORK/DATA.BIN" "$WORK/via-mtools.bin" || fail "DATA.BIN differs on the partition"
  mtype -i "$DISK@@$UP_OFFSET" ::/README.TXT | grep -q "hello from the package" \
    || fail "README.TXT differs on the partition"
  torbel /TDE COPYSYS2HD '\DIAGS\DATA.BIN' back.bin
  expect_code 0
  cmp "$WORK/DATA.BIN" "$WORK/back.bin" || fail "COPYSYS2HD brought back other bytes"
}

case_command_errors() {
  setup
  torbel /TDE NOSUCHCOMMAND
  expect_code 764
  torbel /TDE COPYHD2SYS
  expect_code 765
  torbel /TDE COPY a b
  expect_code 744
  torbel /TDE DEL NOSUCH.TXT
  expect_code 726
  torbel /TDE MD DIAGS
  expect_code 0
  torbel /TDE MD DIAGS
  expect_code 716
  # Local sides: a missing source, a target in a missing directory.
  torbel /TDE COPYHD2SYS nosuch.txt
  expect_code 726
  printf 'x\r\n' >"$WORK/r.txt"
  torbel /TDE COPYHD2SYS r.txt
  expect_code 0
  torbel /TDE COPYSYS2HD R.TXT 'nosuchdir\x.txt'
  expect_code 712
  [ ! -e "$WORK/nosuchdir" ] || fail "a local directory was made"
  check_partition "$DISK"
}

case_batch_file() {
  setup
  printf 'first\r\n' >"$WORK/one.txt"
  printf 'second\r\n' >"$WORK/two.txt"
  cat >"$WORK/UPDATE.F16" <<'F16'
MD UPD
COPYHD2SYS one.txt \UPD\ONE.TXT
COPYHD2SYS two.txt \UPD\TWO.TXT
REN \UPD\TWO.TXT THREE.TXT
DEL \UPD\ONE.TXT
IFEXISTS \UPD\THREE.TXT
DEL \UPD\MISSING.TXT
F16
  torbel /TDE CALL UPDATE.F16
  expect_code 726
  check_partition "$DISK"
  mdir -/ -b -i "$DISK@@$UP_OFFSET" ::/UPD >"$WORK/list.txt" || fail "mdir"
  grep -q 'THREE.TXT' "$WORK/list.txt" || fail "THREE.TXT missing: $(cat "$WORK/list.txt")"
  ! grep -q 'ONE.TXT\|TWO.TXT' "$WORK/list.txt" || fail "old names left: $(cat "$WORK/list.txt")"
  mtype -i "$DISK@@$UP_OFFSET" ::/UPD/THREE.TXT | grep -q second || fail "THREE.TXT contents"
}

case_wildcard_copies_both_ways() {
  # Local names come from FindFirstFileA/FindNextFileA on this side.
  setup
  mkdir "$WORK/src" "$WORK/back"
  local i
  for i in 1 2 3; do head -c $((i * 3000)) /dev/urandom >"$WORK/src/PART$i.DAT"; done
  printf 'not me\r\n' >"$WORK/src/OTHER.TXT"
  torbel /TDE MD PARTS
  expect_code 0
  torbel /TDE COPYHD2SYS 'src\*.DAT' '\PARTS'
  expect_code 0
  expect_output "3 File(s) Copied"
  check_partition "$DISK"
  [ "$(mdir -/ -b -i "$DISK@@$UP_OFFSET" ::/PARTS | grep -c 'PART[123].DAT')" = 3 ] \
    || fail "PARTS holds: $(mdir -/ -b -i "$DISK@@$UP_OFFSET" ::/PARTS)"
  torbel /TDE COPYSYS2HD '\PARTS\*.*' back
  expect_code 0
  for i in 1 2 3; do
    cmp "$WORK/src/PART$i.DAT" "$WORK/back/PART$i.DAT" || fail "PART$i.DAT came back changed"
  done
}

case_disk_full_keeps_volume_sound() {
  setup
  DISK="$WORK/small.img"
  make_disk "$DISK" 8 -s 1
  head -c $((9 * 1024 * 1024)) /dev/zero >"$WORK/BIG.BIN"
  printf 'small\r\n' >"$WORK/SMALL.TXT"
  torbel /TDE COPYHD2SYS SMALL.TXT
  expect_code 0
  torbel /TDE COPYHD2SYS BIG.BIN
  expect_code 730
  check_partition "$DISK"
  mtype -i "$DISK@@$UP_OFFSET" ::/SMALL.TXT | grep -q small || fail "SMALL.TXT lost"
}

case_session_log() {
  # LOGALL names the session log; a run ending with an error leaves its trace there.
  setup
  torbel /TDE DEL NOSUCH.TXT
  expect_code 726
  LOGALL='session.log' torbel /TDE DEL NOSUCH.TXT
  expect_code 726
  [ -f "$WORK/session.log" ] || fail "no session log written"
  grep -q "Exiting With Non-Zero" "$WORK/session.log" || fail "log: $(cat "$WORK/session.log")"
  grep -q "Error Level: 726" "$WORK/session.log" || fail "log: $(cat "$WORK/session.log")"
}

case_exit_command_code() {
  setup
  printf 'EXIT 750\r\n' >"$WORK/QUIT.F16"
  torbel /TDE CALL QUIT.F16
  expect_code 750
}

case_interactive_session_from_piped_keys() {
  # Without a console the shell reads its keys from standard input: the banner, the prompt
  # with the mounted partition, the typed commands and the code given to EXIT.
  setup
  printf 'VER\rEXIT 705\r' >"$WORK/keys.txt"
  torbel /TDE <"$WORK/keys.txt"
  expect_code 705
  if [ "$(diag_pe_arch "$TORBEL_EXE")" = x86_64 ]; then
    expect_output "Target:    64-bit WIN64 Build"
  else
    expect_output "Target:    32-bit WIN32 Build"
  fi
  expect_output 'SYS:[UP,1,DE]:\> VER'
  expect_output "[torbel] Program Exit!"
}

case_held_mutex_exits_101() {
  setup
  launch --mutex TORBEL_MUTEX "$TORBEL_EXE" /TDE DIR
  expect_code 101
  expect_output "Previous Instance Detected"
}

case_second_copy_exits_101() {
  setup
  # The first copy waits at its prompt for keys from a pipe that this script holds open;
  # the second must refuse to run beside it.
  mkfifo "$WORK/keys"
  exec 7<>"$WORK/keys"
  TORBEL_DISK="$(winepath_of "$DISK")" "$WINE_RUN" "$LAUNCH_EXE" "$TORBEL_EXE" /TDE \
    <"$WORK/keys" >"$WORK/first.txt" 2>&1 &
  local first=$! i
  for i in $(seq 1 40); do
    kill -0 "$first" 2>/dev/null || break
    launch "$PROBE_EXE" mutex TORBEL_MUTEX
    [ "${OUT//$'\r'/}" = held ] && break
    sleep 0.1
  done
  if [ "${OUT//$'\r'/}" != held ]; then
    kill "$first" 2>/dev/null
    fail "the first copy never took the mutex: $(cat "$WORK/first.txt")"
  fi
  torbel /TDE VER
  local second_code="$CODE" second_out="$OUT"
  printf 'EXIT 0\r' >&7
  wait "$first"
  exec 7>&-
  CODE="$second_code" OUT="$second_out"
  expect_code 101
  expect_output "Another copy of TORBEL is already running."
  grep -q 'exit code: 0' "$WORK/first.txt" || fail "the first copy did not end well: $(cat "$WORK/first.txt")"
  # Once the first copy is gone the mutex is free again.
  torbel /TDE VER
  expect_code 0
}

# The partition's tree as mdir lists it, without the time stamps.
listing() {
  mdir -/ -i "$1@@$UP_OFFSET" :: | sed 's/ *[0-9]\{4\}-[0-9][0-9]-[0-9][0-9] *[0-9]*:[0-9]* *$//' | grep -v bytes
}

case_same_result_as_linux_build() {
  local linux="$LINUX_BUILD/partshell/torbel"
  [ -x "$linux" ] || skip "no Linux torbel in $LINUX_BUILD"
  setup
  head -c 5000 /dev/urandom >"$WORK/A.BIN"
  cat >"$WORK/STEPS.F16" <<'F16'
MD DIAGS
COPYHD2SYS A.BIN \DIAGS\A.BIN
COPYHD2SYS A.BIN \DIAGS\B.BIN
DEL \DIAGS\A.BIN
F16
  cp "$DISK" "$WORK/linux.img"
  # The Linux build's lock is the disk's: wait while another run holds this image (exit
  # code 101).
  local linux_code=101 try
  for try in $(seq 1 40); do
    TORBEL_DISK="$WORK/linux.img" "$linux" /TDE CALL STEPS.F16 >"$WORK/linux.txt" 2>&1
    linux_code=$?
    [ "$linux_code" = 101 ] || break
    sleep 0.5
  done
  [ "$linux_code" = 0 ] || fail "Linux torbel ended with $linux_code: $(cat "$WORK/linux.txt")"
  torbel /TDE CALL STEPS.F16
  expect_code 0
  # Time stamps are the clock's; names, sizes, clusters and data must agree.
  listing "$DISK" >"$WORK/win.dir"
  listing "$WORK/linux.img" >"$WORK/linux.dir"
  diff "$WORK/linux.dir" "$WORK/win.dir" || fail "the builds left different trees"
  # Boot sector and both FATs: reserved sectors + number of FATs x sectors per FAT.
  local fats_end
  fats_end=$(( $(od -An -t u2 -j $((UP_OFFSET + 14)) -N 2 "$DISK") \
             + $(od -An -t u1 -j $((UP_OFFSET + 16)) -N 1 "$DISK") \
             * $(od -An -t u2 -j $((UP_OFFSET + 22)) -N 2 "$DISK") ))
  cmp <(dd if="$DISK" bs=512 skip="$UP_START" count="$fats_end" status=none) \
      <(dd if="$WORK/linux.img" bs=512 skip="$UP_START" count="$fats_end" status=none) \
    || fail "the FATs differ between the builds"
}

run_case "$@"
