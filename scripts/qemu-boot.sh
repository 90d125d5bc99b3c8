#!/usr/bin/env bash
# Boots one media image in qemu (SeaBIOS, TCG) and reports what the boot code printed.
#
#   qemu-boot.sh <floppy|hd|usb|cd> <image> [debug-console-file]
#
# hd: an IDE disk with the geometry the image describes (its partition entry's
#     CHS addresses and the volume's BPB must agree), so CHS reads find the
#     sectors the boot code means.
# usb: the same image as USB mass storage (SeaBIOS reads it by LBA).
# cd: an ISO image; the El Torito entry decides diskette or hard-disk emulation.
#
# The boot code writes its text to port 0xE9 and ends the machine through
# port 0xF4 with 0x10, which qemu turns into exit status 33. Prints the text,
# then "booted in N.NN s" and exits 0 on that status; otherwise prints why and
# exits 1. QEMU_BOOT_TIMEOUT (seconds, default 30) bounds one boot.
set -uo pipefail

kind=${1:?kind: floppy, hd, usb or cd}
image=${2:?image file}
out=${3:-}
timeout_s=${QEMU_BOOT_TIMEOUT:-30}
qemu=${QEMU:-qemu-system-i386}

[ -f "$image" ] || { echo "qemu-boot: no image $image" >&2; exit 1; }
tmp=""
if [ -z "$out" ]; then
  tmp=$(mktemp -d)
  out=$tmp/debugcon.txt
fi
trap '[ -n "$tmp" ] && rm -rf "$tmp"' EXIT
: > "$out"

u8()   { od -An -tu1 -j "$2" -N1 "$1" | tr -d ' '; }
u16()  { od -An -tu2 -j "$2" -N2 --endian=little "$1" | tr -d ' '; }
u32()  { od -An -tu4 -j "$2" -N4 --endian=little "$1" | tr -d ' '; }

# Prints "cylinders heads sectors" for a hard-disk image: heads and sectors per
# track from the BPB of the volume (behind the first partition entry when there
# is one), after checking that the entry's CHS addresses say the same.
disk_geometry() {
  local img=$1 start=0 heads secs last c h s bytes
  # A volume that starts at sector 0 opens with a jump and 512-byte sectors;
  # anything else is read as a master boot record.
  if ! { [ "$(u16 "$img" 11)" = 512 ] && [[ "$(u8 "$img" 0)" =~ ^(235|233)$ ]]; }; then
    start=$(u32 "$img" 0x1C6)
  fi
  heads=$(u16 "$img" $((start * 512 + 26)))
  secs=$(u16 "$img" $((start * 512 + 24)))
  if [ "$heads" -lt 1 ] || [ "$secs" -lt 1 ] || [ "$secs" -gt 63 ]; then
    echo "qemu-boot: no usable geometry in $img" >&2
    return 1
  fi
  if [ "$start" != 0 ]; then
    last=$(( start + $(u32 "$img" 0x1CA) - 1 ))
    for addr in "0x1BF $start" "0x1C3 $last"; do
      set -- $addr
      h=$(u8 "$img" $(( $1 )))
      s=$(( $(u8 "$img" $(( $1 + 1 ))) & 63 ))
      c=$(( ($(u8 "$img" $(( $1 + 1 ))) & 0xC0) * 4 + $(u8 "$img" $(( $1 + 2 ))) ))
      # beyond cylinder 1023 the entry keeps the low ten bits of the cylinder
      if [ $(( (c * heads + h) * secs + s - 1 )) != $(( $2 % (1024 * heads * secs) )) ]; then
        echo "qemu-boot: partition entry CHS $c/$h/$s is not sector $2 with $heads heads, $secs sectors" >&2
        return 1
      fi
    done
  fi
  bytes=$(stat -c %s "$img")
  echo "$(( (bytes / 512 + heads * secs - 1) / (heads * secs) )) $heads $secs"
}

# An image built without ZeroData ends at its last cluster; the drive it is
# written to is as large as its partition table says, so boot a sparse copy
# of that size.
full_size() {
  local img=$1 end
  [ "$(u16 "$img" 510)" = 43605 ] || return 0
  if [ "$(u16 "$img" 11)" = 512 ] && [[ "$(u8 "$img" 0)" =~ ^(235|233)$ ]]; then
    end=$(u16 "$img" 19); [ "$end" = 0 ] && end=$(u32 "$img" 32)
  else
    end=$(( $(u32 "$img" 0x1C6) + $(u32 "$img" 0x1CA) ))
  fi
  if [ $((end * 512)) -gt "$(stat -c %s "$img")" ]; then
    [ -n "$tmp" ] || tmp=$(mktemp -d)
    cp --sparse=always "$img" "$tmp/disk.img"
    truncate -s $((end * 512)) "$tmp/disk.img"
    image=$tmp/disk.img
  fi
}

args=(-accel tcg -m 32 -nodefaults -display none -no-reboot
      -debugcon "file:$out" -device isa-debug-exit,iobase=0xf4,iosize=0x04)
case $kind in
  floppy)
    args+=(-drive "file=$image,if=floppy,format=raw,readonly=on"
           -boot order=a,strict=on,reboot-timeout=0) ;;
  hd)
    full_size "$image"
    read -r cyls heads secs < <(disk_geometry "$image") || exit 1
    echo "disk geometry: $cyls cylinders, $heads heads, $secs sectors per track"
    args+=(-drive "if=none,id=d0,file=$image,format=raw,snapshot=on"
           -device "ide-hd,drive=d0,lcyls=$cyls,lheads=$heads,lsecs=$secs"
           -boot order=c,strict=on,reboot-timeout=0) ;;
  usb)
    full_size "$image"
    args+=(-drive "if=none,id=d0,file=$image,format=raw,snapshot=on"
           -device qemu-xhci -device usb-storage,drive=d0
           -boot order=c,strict=on,reboot-timeout=0) ;;
  cd)
    args+=(-drive "if=none,id=d0,file=$image,format=raw,readonly=on,media=cdrom"
           -device ide-cd,drive=d0 -boot order=d,strict=on,reboot-timeout=0) ;;
  *) echo "qemu-boot: unknown kind $kind" >&2; exit 1 ;;
esac

start=$(date +%s%N)
timeout "$timeout_s" "$qemu" "${args[@]}" </dev/null
status=$?
elapsed=$(( ($(date +%s%N) - start) / 10000000 ))
seconds=$(printf '%d.%02d' $((elapsed / 100)) $((elapsed % 100)))

tr -d '\r' < "$out"
case $status in
  33) echo "booted in $seconds s"; exit 0 ;;
  35) echo "FAILED: the second stage found itself damaged ($seconds s)" ;;
  124) echo "FAILED: no end after ${timeout_s} s" ;;
  0) echo "FAILED: the BIOS found nothing to boot or the boot code gave up ($seconds s)" ;;
  *) echo "FAILED: qemu exit status $status ($seconds s)" ;;
esac
exit 1
