#!/usr/bin/env bash
# The disk of the partition update tests and the checks of an updated one, for
# the native flow tests and the ZOLPSIM.exe case under wine alike.
#   update_disk.sh make DISK [UP_MB [TYPE]]  a disk whose first partition entry is the utility
#                                            partition (type DE, or TYPE), FAT16 by mkfs.fat,
#                                            with a FAT16 data partition after it holding a file
#   update_disk.sh md DISK SYSDIR...         directories on the first partition (mmd)
#   update_disk.sh put DISK FILE SYSPATH     a file onto it (mcopy)
#   update_disk.sh sample DISK               the disk a package's update is tried on: old
#                                            diagnostics in \DIAGS (version 3.3.1 A04 in
#                                            OrvoDiag.ini, OLDDIAG.EXE, DIAGMAIN.EXE, KEEP.DAT),
#                                            \ORVOUP\TEMP.DAT and \BOOT.SYS; the files also in
#                                            DISK.old/, the disk as it was in DISK.before
#   update_disk.sh check EXPECTATIONS        checks of an updated disk, one per line:
#       disk DISK BEFORE    fsck.fat -n passes on the first partition, and every byte outside
#                           it equals the copy of the disk from before the update
#       unchanged           the whole disk equals the copy from before
#       copied FILE SYSPATH the partition holds SYSPATH, equal to FILE byte for byte
#       gone SYSPATH        the partition holds no SYSPATH
#   SYSPATH: a path on the partition with '/' or '\' ("/DIAGS/OrvoDiag.ini").
# Exit status 0 when every check holds; each failed one is named.
set -uo pipefail
export MTOOLS_SKIP_CHECK=1
readonly UP_START=2048  # first sector of the first partition
readonly DATA_MB=8

le32() { od -An -tu4 -j "$2" -N4 --endian=little "$1" | tr -d ' '; }
at() { printf '%s@@%d' "$1" $((UP_START * 512)); }
sys() { local p=${1//\\//}; printf '::%s' "${p#::}"; }
format() {  # format DISK START SECTORS LABEL
  local clusters=1
  [ "$3" -gt 61440 ] && clusters=4
  local out
  out=$(mkfs.fat -F 16 -s "$clusters" --offset "$2" -h "$2" -n "$4" "$1" $(($3 / 2)) 2>&1) ||
    { echo "$out" >&2; return 1; }
}

make_disk() {
  local disk=$1 up_mb=${2:-16} type=${3:-de}
  local up_sectors=$((up_mb * 2048)) data_start data_sectors=$((DATA_MB * 2048))
  data_start=$((UP_START + up_sectors))
  rm -f "$disk"
  truncate -s $(((data_start + data_sectors + 2048) * 512)) "$disk" || return 1
  printf 'label: dos\nstart=%d, size=%d, type=%s\nstart=%d, size=%d, type=6\n' \
    "$UP_START" "$up_sectors" "$type" "$data_start" "$data_sectors" | sfdisk -q "$disk" >/dev/null &&
    format "$disk" "$UP_START" "$up_sectors" UTILITY &&
    format "$disk" "$data_start" "$data_sectors" DATA || return 1
  # Something of the user's on the other partition, which the update must not touch.
  printf 'the technician keeps this\r\n' >"$disk.keep"
  mcopy -i "$disk@@$((data_start * 512))" "$disk.keep" ::/KEEP.TXT
  local status=$?
  rm -f "$disk.keep"
  return $status
}

sample_disk() {
  local disk=$1 old=$1.old file
  rm -rf "$old"
  mkdir -p "$old/DIAGS" "$old/ORVOUP" || return 1
  printf '[DiagVersion]\r\n3.3.1 A04\r\n' >"$old/DIAGS/OrvoDiag.ini"
  printf 'old program' >"$old/DIAGS/OLDDIAG.EXE"
  printf 'old main program' >"$old/DIAGS/DIAGMAIN.EXE"
  printf 'kept' >"$old/DIAGS/KEEP.DAT"
  printf 'temporary' >"$old/ORVOUP/TEMP.DAT"
  printf 'boot' >"$old/BOOT.SYS"
  make_disk "$disk" 16 || return 1
  mmd -i "$(at "$disk")" ::/DIAGS ::/ORVOUP || return 1
  for file in DIAGS/OrvoDiag.ini DIAGS/OLDDIAG.EXE DIAGS/DIAGMAIN.EXE DIAGS/KEEP.DAT \
      ORVOUP/TEMP.DAT BOOT.SYS; do
    mcopy -i "$(at "$disk")" "$old/$file" "::/$file" || return 1
  done
  cp "$disk" "$disk.before"
}

failed=0
fail() { echo "update_disk: $*"; failed=1; }

check() {
  local disk="" before="" tmp kind a b start sectors checked=0
  tmp=$(mktemp -d)
  while read -r kind a b; do
    [ -n "$kind" ] && checked=$((checked + 1))
    case "$kind" in
      disk)
        disk=$a before=$b
        if [ ! -f "$disk" ] || [ ! -f "$before" ]; then
          fail "no disk $disk, or no copy $before from before the update"; continue
        fi
        start=$(le32 "$disk" 454) sectors=$(le32 "$disk" 458)
        dd if="$disk" of="$tmp/part.img" bs=512 skip="$start" count="$sectors" status=none
        timeout 120 fsck.fat -n "$tmp/part.img" >"$tmp/fsck.txt" 2>&1 ||
          fail "fsck.fat -n finds faults on the utility partition: $(cat "$tmp/fsck.txt")"
        [ "$(stat -c %s "$disk")" = "$(stat -c %s "$before")" ] || fail "the disk changed its size"
        cmp -s <(head -c $((start * 512)) "$disk") <(head -c $((start * 512)) "$before") ||
          fail "bytes before the utility partition changed"
        cmp -s <(tail -c +$(((start + sectors) * 512 + 1)) "$disk") \
          <(tail -c +$(((start + sectors) * 512 + 1)) "$before") ||
          fail "bytes after the utility partition changed"
        ;;
      unchanged) cmp -s "$disk" "$before" || fail "the disk changed" ;;
      copied)
        rm -f "$tmp/out"
        if ! mcopy -n -i "$(at "$disk")" "$(sys "$b")" "$tmp/out" 2>/dev/null; then
          fail "no $b on the partition"
        elif ! cmp -s "$a" "$tmp/out"; then
          fail "$b on the partition differs from $a"
        fi
        ;;
      gone) ! mdir -i "$(at "$disk")" "$(sys "$a")" >/dev/null 2>&1 || fail "$a is still on the partition" ;;
      "") ;;
      *) fail "unknown check: $kind" ;;
    esac
  done <"$1"
  rm -rf "$tmp"
  [ -n "$disk" ] || fail "$1 names no disk"
  [ $failed = 0 ] && echo "update_disk: $disk: all $checked checks hold"
}

case "${1:-}" in
  make) shift; make_disk "$@" || fail "cannot make the disk $1" ;;
  sample) sample_disk "$2" || fail "cannot make the disk $2" ;;
  md)
    disk=$2; shift 2
    for dir in "$@"; do mmd -i "$(at "$disk")" "$(sys "$dir")" || fail "mmd $dir"; done
    ;;
  put) mcopy -o -i "$(at "$2")" "$3" "$(sys "$4")" || fail "mcopy $3 $4" ;;
  check) check "$2" ;;
  *) echo "usage: update_disk.sh make|md|put|check ..." >&2; exit 2 ;;
esac
exit $failed
