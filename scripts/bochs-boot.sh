#!/usr/bin/env bash
# Boots one media image under Bochs with Bochs's own BIOS (a second BIOS beside
# qemu's SeaBIOS) and reports what the boot code printed.
#
#   bochs-boot.sh <floppy|hd|cd> <image>
#
# floppy: a 720 KB, 1.2 MB, 1.44 MB or 2.88 MB diskette image.
# hd: an ATA disk with the geometry the image describes (as for qemu-boot.sh);
#     one of more than 16 heads is translated by the BIOS and read by LBA.
# cd: an ISO image; the El Torito entry decides diskette or hard-disk emulation.
#
# Bochs shows its display through X: it runs on an Xvfb server of its own.
# Debian's Bochs stops at its debugger's prompt first and goes on once it reads
# "c". The boot code writes its text to port 0xE9, which Bochs copies to its
# standard output; that text is the verdict. Nothing ends Bochs when the boot is
# over (port 0xF4 is qemu's), so the script ends it once the second stage has
# spoken or the boot code has given up, and BOCHS_BOOT_TIMEOUT (seconds,
# default 60) bounds the wait. Prints the text, then "booted in N.NN s" and exits
# 0 when the second stage reported the medium booted; otherwise prints why and
# exits 1.
set -uo pipefail

kind=${1:?kind: floppy, hd or cd}
image=${2:?image file}
timeout_s=${BOCHS_BOOT_TIMEOUT:-60}
bios=${BOCHS_BIOS:-/usr/share/bochs/BIOS-bochs-latest}
vgabios=${BOCHS_VGABIOS:-/usr/share/vgabios/vgabios.bin}

[ -f "$image" ] || { echo "bochs-boot: no image $image" >&2; exit 1; }
for tool in bochs Xvfb; do
  command -v "$tool" >/dev/null || { echo "bochs-boot: $tool is not installed (scripts/install-deps.sh)" >&2; exit 1; }
done
[ -f "$bios" ] || { echo "bochs-boot: no Bochs BIOS at $bios (package bochsbios)" >&2; exit 1; }
[ -f "$vgabios" ] || { echo "bochs-boot: no VGA BIOS at $vgabios (package vgabios)" >&2; exit 1; }

. "$(dirname "$0")/boot-image.sh"

work=$(mktemp -d)
xvfb=""
bochs=""
cleanup() {
  [ -n "$bochs" ] && kill "$bochs" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

case $kind in
  floppy)
    case $(stat -c %s "$image") in
      737280) type=720k ;;
      1228800) type=1_2 ;;
      1474560) type=1_44 ;;
      2949120) type=2_88 ;;
      *) echo "bochs-boot: $image is no diskette size Bochs knows" >&2; exit 1 ;;
    esac
    drive="floppya: $type=\"$image\", status=inserted, write_protected=1"
    boot=floppy ;;
  hd)
    padded=$(full_size_image "$image" "$work")
    read -r cyls heads secs < <(disk_geometry "$padded") || exit 1
    echo "disk geometry: $cyls cylinders, $heads heads, $secs sectors per track"
    translation=none
    if [ "$heads" -gt 16 ]; then
      # An ATA drive has at most 16 heads: the BIOS translates a drive of 16 heads
      # and 63 sectors per track, and the boot code reads it by LBA.
      sectors=$((cyls * heads * secs))
      heads=16 secs=63 cyls=$(( (sectors + 16 * 63 - 1) / (16 * 63) )) translation=lba
    fi
    # A flat Bochs disk is exactly cylinders x heads x sectors long.
    copy=$work/disk.img
    [ "$padded" = "$copy" ] || cp --sparse=always "$image" "$copy"
    truncate -s $((cyls * heads * secs * 512)) "$copy"
    drive="ata0-master: type=disk, path=\"$copy\", mode=flat, cylinders=$cyls, heads=$heads, spt=$secs, translation=$translation"
    boot=disk ;;
  cd)
    drive="ata0-master: type=cdrom, path=\"$image\", status=inserted"
    boot=cdrom ;;
  *) echo "bochs-boot: unknown kind $kind" >&2; exit 1 ;;
esac

cat > "$work/bochsrc" <<CONFIG
megs: 32
romimage: file="$bios"
vgaromimage: file="$vgabios"
display_library: x
mouse: enabled=0
speaker: enabled=0
clock: sync=none, time0=local
$drive
boot: $boot
port_e9_hack: enabled=1
log: "$work/bochs.log"
panic: action=fatal
error: action=report
CONFIG

# Xvfb picks a free display itself and names it on a descriptor.
exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 800x600x16 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
display=$(head -n1 "$work/display" 2>/dev/null)
[ -n "$display" ] || { echo "FAILED: Xvfb did not start"; exit 1; }

start=$(date +%s%N)
printf 'c\n' | DISPLAY=":$display" bochs -q -f "$work/bochsrc" >"$work/out.txt" 2>"$work/err.txt" &
bochs=$!
# The E9 text starts after the debugger's echo of "c"; the boot is over once the
# second stage has spoken (and asks for a key) or the boot code has given up.
verdict() { sed -n '/^<bochs:[0-9]*> c/,$p' "$work/out.txt" | tail -n +2 | tr -d '\r'; }
finished=""
while [ $(( ($(date +%s%N) - start) / 1000000000 )) -lt "$timeout_s" ]; do
  text=$(verdict)
  if grep -q "Press any key\|damaged or was not loaded\|Disk error\|No ORVOBOOT.SYS\|^MBR: " <<<"$text"; then
    finished=yes
    break
  fi
  kill -0 "$bochs" 2>/dev/null || break
  sleep 0.25
done
elapsed=$(( ($(date +%s%N) - start) / 10000000 ))
seconds=$(printf '%d.%02d' $((elapsed / 100)) $((elapsed % 100)))

text=$(verdict)
printf '%s\n' "$text" | sed '/^$/d'
if grep -q "^Orvo diagnostics media booted:" <<<"$text" && ! grep -q "damaged" <<<"$text"; then
  echo "booted in $seconds s"
  exit 0
fi
if [ -n "$finished" ]; then
  echo "FAILED: the boot code gave up ($seconds s)"
elif kill -0 "$bochs" 2>/dev/null; then
  echo "FAILED: no verdict after ${timeout_s} s"
else
  echo "FAILED: Bochs ended before a verdict ($seconds s)"
  grep -E "PANIC|FATAL|ERROR|>>PANIC" "$work/bochs.log" "$work/err.txt" 2>/dev/null | tail -n 5
fi
exit 1
