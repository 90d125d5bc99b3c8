#!/usr/bin/env bash
# Boots one media image in qemu (SeaBIOS, TCG) and reports what the boot code printed.
#
#   qemu-boot.sh <floppy|hd|disk|usb|cd> <image> [debug-console-file]
#
# hd: an IDE disk with the geometry the image describes (its partition entry's
#     CHS addresses and the volume's BPB must agree), so CHS reads find the
#     sectors the boot code means.
# disk: an IDE disk with the geometry the BIOS gives a disk of its size, as a
#     stick larger than its image is seen (SeaBIOS translates a large disk to
#     255 heads and 63 sectors).
# usb: the same image as USB mass storage (SeaBIOS reads it by LBA).
# cd: an ISO image; the El Torito entry decides diskette or hard-disk emulation.
#
# The boot code writes its text to port 0xE9 and ends the machine through
# port 0xF4 with 0x10, which qemu turns into exit status 33. Prints the text,
# then "booted in N.NN s" and exits 0 on that status; otherwise prints why and
# exits 1. QEMU_BOOT_TIMEOUT (seconds, default 30) bounds one boot.
set -uo pipefail

kind=${1:?kind: floppy, hd, disk, usb or cd}
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

. "$(dirname "$0")/boot-image.sh"

args=(-accel tcg -m 32 -nodefaults -display none -no-reboot
      -debugcon "file:$out" -device isa-debug-exit,iobase=0xf4,iosize=0x04)
case $kind in
  floppy)
    args+=(-drive "file=$image,if=floppy,format=raw,readonly=on"
           -boot order=a,strict=on,reboot-timeout=0) ;;
  hd)
    [ -n "$tmp" ] || tmp=$(mktemp -d)
    image=$(full_size_image "$image" "$tmp")
    read -r cyls heads secs < <(disk_geometry "$image") || exit 1
    echo "disk geometry: $cyls cylinders, $heads heads, $secs sectors per track"
    args+=(-drive "if=none,id=d0,file=$image,format=raw,snapshot=on"
           -device "ide-hd,drive=d0,lcyls=$cyls,lheads=$heads,lsecs=$secs"
           -boot order=c,strict=on,reboot-timeout=0) ;;
  disk)
    [ -n "$tmp" ] || tmp=$(mktemp -d)
    image=$(full_size_image "$image" "$tmp")
    args+=(-drive "if=none,id=d0,file=$image,format=raw,snapshot=on" -device ide-hd,drive=d0
           -boot order=c,strict=on,reboot-timeout=0) ;;
  usb)
    [ -n "$tmp" ] || tmp=$(mktemp -d)
    image=$(full_size_image "$image" "$tmp")
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
