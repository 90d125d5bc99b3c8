#!/usr/bin/env bash
# Boots one media image in qemu under UEFI firmware (OVMF, TCG) and reports
# what the EFI loader printed.
#
#   uefi-boot.sh <usb|cd|cd-efi> <image> [debug-console-file]
#
# usb:    the image as USB mass storage (xHCI): the firmware starts
#         \EFI\BOOT\BOOTX64.EFI from its FAT volume, partitioned or not.
# cd:     an ISO image on an IDE CD-ROM drive, as it is: OVMF starts the
#         loader from the first volume of the CD that holds one, which is the
#         BIOS entry's (hard-disk or diskette emulation) when it carries the
#         package's EFI folder too.
# cd-efi: the CD as firmware that follows only the catalog's EFI entry
#         (platform 0xEF) sees it: a copy whose BIOS volume has its EFI folder
#         renamed (mtools), so that the loader can only be started from the
#         EFI image; the loader must say it was started from a CD boot entry
#         without a partition.
#
# Each boot gets a fresh copy of the firmware's variable store, so no boot
# option an earlier boot left behind decides this one. The EFI loader writes
# its line to port 0xE9 (where OVMF writes its own log too) and ends the
# machine through port 0xF4 with 0x10, which qemu turns into exit status 33.
# Prints the loader's lines, then "booted in N.NN s" and exits 0 on that
# status with the loader's banner; otherwise prints why and exits 1.
# UEFI_BOOT_TIMEOUT (seconds, default 180) bounds one boot; OVMF names the
# firmware's folder when it is not /usr/share/OVMF.
set -uo pipefail

kind=${1:?kind: usb or cd}
image=${2:?image file}
out=${3:-}
timeout_s=${UEFI_BOOT_TIMEOUT:-180}
qemu=${QEMU_X86_64:-qemu-system-x86_64}
ovmf=${OVMF:-/usr/share/OVMF}
code=$ovmf/OVMF_CODE_4M.fd
vars=$ovmf/OVMF_VARS_4M.fd

[ -f "$image" ] || { echo "uefi-boot: no image $image" >&2; exit 1; }
for f in "$code" "$vars"; do
  [ -f "$f" ] || { echo "uefi-boot: no firmware file $f (install ovmf: scripts/install-deps.sh)" >&2; exit 1; }
done
command -v "$qemu" >/dev/null || { echo "uefi-boot: $qemu not found (scripts/install-deps.sh)" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
[ -n "$out" ] || out=$tmp/debugcon.txt
: > "$out"
cp "$vars" "$tmp/vars.fd"

. "$(dirname "$0")/boot-image.sh"

args=(-accel tcg -m 256 -nodefaults -display none -no-reboot
      -drive "if=pflash,format=raw,readonly=on,file=$code"
      -drive "if=pflash,format=raw,file=$tmp/vars.fd"
      -debugcon "file:$out" -global isa-debugcon.iobase=0xe9
      -device isa-debug-exit,iobase=0xf4,iosize=0x04)
case $kind in
  usb)
    image=$(full_size_image "$image" "$tmp")
    args+=(-drive "if=none,id=d0,file=$image,format=raw,snapshot=on"
           -device qemu-xhci -device usb-storage,drive=d0) ;;
  cd|cd-efi)
    if [ "$kind" = cd-efi ]; then
      cp --sparse=always "$image" "$tmp/cd.iso"
      image=$tmp/cd.iso
      # The default entry's volume: behind the MBR of a hard-disk emulation image.
      at=$(( $(u32 "$image" $((0xC000 + 40))) * 2048 ))
      [ "$(u8 "$image" $((0xC000 + 33)))" = 4 ] && at=$(( at + $(u32 "$image" $((at + 0x1C6))) * 512 ))
      if ! MTOOLS_SKIP_CHECK=1 mren -i "$image@@$at" ::/EFI ::/EFI.OFF; then
        echo "uefi-boot: the BIOS entry's volume of $2 has no EFI folder to set aside" >&2; exit 1
      fi
    fi
    args+=(-drive "if=none,id=d0,file=$image,format=raw,readonly=on,media=cdrom"
           -device ide-cd,drive=d0) ;;
  *) echo "uefi-boot: unknown kind $kind" >&2; exit 1 ;;
esac

start=$(date +%s%N)
timeout "$timeout_s" "$qemu" "${args[@]}" </dev/null
status=$?
elapsed=$(( ($(date +%s%N) - start) / 10000000 ))
seconds=$(printf '%d.%02d' $((elapsed / 100)) $((elapsed % 100)))

# The firmware's own log shares the port: only the loader's lines are shown.
lines=$(tr -d '\r' < "$out" | grep -a '^Orvo diagnostics media')
[ -n "$lines" ] && echo "$lines"
banner=$(grep -c '^Orvo diagnostics media booted: UEFI' <<<"$lines")
place_ok=1
if [ "$kind" = cd-efi ] && ! grep -qE ', CD boot entry [0-9]+$' <<<"$lines"; then place_ok=0; fi
case $status in
  33) if [ "$banner" -gt 0 ] && [ $place_ok = 1 ]; then echo "booted in $seconds s"; exit 0; fi
      if [ "$banner" -gt 0 ]; then
        echo "FAILED: the loader was not started from the CD's EFI entry ($seconds s)"
      else
        echo "FAILED: the machine ended as the loader ends it, but no banner was printed ($seconds s)"
      fi ;;
  35) echo "FAILED: the EFI loader gave up ($seconds s)" ;;
  124) echo "FAILED: no end after ${timeout_s} s (the firmware found no loader, or the loader hung)" ;;
  0) echo "FAILED: the firmware found nothing to boot ($seconds s)" ;;
  *) echo "FAILED: qemu exit status $status ($seconds s)" ;;
esac
exit 1
