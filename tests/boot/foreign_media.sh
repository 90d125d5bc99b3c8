#!/usr/bin/env bash
# Boot code on volumes laid out by other tools (mkfs.fat, sfdisk, xorriso):
# the MBR, the boot sector and ORVOBOOT.SYS must boot whatever made the
# volume, as long as the BPB is right and ORVOBOOT.SYS is contiguous.
#
#   foreign_media.sh <package-dir with MBR.BIN, BOOTSECT.BIN, ORVOBOOT.SYS> <case>
set -euo pipefail

pkg=$(cd "${1:?package dir}" && pwd)
case_name=${2:?case}
here=$(cd "$(dirname "$0")" && pwd)
boot=$here/../../scripts/qemu-boot.sh
export MTOOLS_SKIP_CHECK=1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Our boot code over a volume's first sector, keeping bytes 3..61 (the BPB).
put_boot_sector() { # image byte-offset
  python3 - "$1" "$2" "$pkg/BOOTSECT.BIN" <<'EOF'
import sys
img, off, bs = sys.argv[1], int(sys.argv[2]), open(sys.argv[3], 'rb').read()
with open(img, 'r+b') as f:
    f.seek(off); sector = bytearray(f.read(512))
    sector[0:3] = bs[0:3]; sector[62:512] = bs[62:512]
    f.seek(off); f.write(sector)
EOF
}

# A disk with our MBR code and one FAT16 partition whose CHS addresses follow
# the given geometry; entries: "flag" per slot, first slot is the partition.
make_disk() { # image cylinders heads sectors start spc label [flag1 flag2]
  local img=$1 c=$2 h=$3 s=$4 start=$5 spc=$6 label=$7 f1=${8:-128} f2=${9:-0}
  local total=$((c * h * s))
  truncate -s $((total * 512)) "$img"
  mkfs.fat -F 16 -R 1 -s "$spc" --offset "$start" -h "$start" -g "$h/$s" -n "$label" \
    "$img" $(((total - start) / 2)) >/dev/null
  python3 - "$img" "$pkg/MBR.BIN" "$h" "$s" "$start" "$total" "$f1" "$f2" <<'EOF'
import sys
img, mbr = sys.argv[1], open(sys.argv[2], 'rb').read()
h, s, start, total, f1, f2 = map(int, sys.argv[3:9])
def chs(l):
    c, r = divmod(l, h * s); hd, sc = divmod(r, s)
    return bytes([hd, (sc + 1) | ((c >> 2) & 0xC0), c & 0xFF])
sector = bytearray(mbr)
entry = bytes([f1]) + chs(start) + bytes([6]) + chs(total - 1) \
    + start.to_bytes(4, 'little') + (total - start).to_bytes(4, 'little')
sector[0x1BE:0x1CE] = entry
if f2:  # a second, tiny entry to give the table two boot flags
    sector[0x1CE:0x1DE] = bytes([f2]) + chs(1) + bytes([6]) + chs(1) \
        + (1).to_bytes(4, 'little') + (1).to_bytes(4, 'little')
with open(img, 'r+b') as f:
    f.write(sector)
EOF
  put_boot_sector "$img" $((start * 512))
}

diskette() { # image label
  mkfs.fat -C -F 12 -n "$2" "$1" 1440 >/dev/null
  put_boot_sector "$1" 0
}

# Sector 0's code moves to sector 1 and a shim that spoils the INT 13h
# extensions takes its place (the partition table stays where it is).
put_shim() { # image mode(EXTENSIONS_FAIL|EXTENSIONS_ABSENT)
  nasm -f bin -D"$2" -o shim.bin "$here/int13_shim.asm"
  python3 - "$1" shim.bin <<'EOF'
import sys
img, shim = sys.argv[1], open(sys.argv[2], 'rb').read()
with open(img, 'r+b') as f:
    mbr = bytearray(f.read(512))
    f.seek(512); f.write(mbr)
    mbr[0:len(shim)] = shim
    f.seek(0); f.write(mbr)
EOF
}

expect_boot() { # kind image pattern...
  local kind=$1 img=$2 log
  shift 2
  log=$(bash "$boot" "$kind" "$img") || { echo "$log"; echo "boot failed"; return 1; }
  echo "$log"
  for p in "$@"; do
    grep -qF -- "$p" <<<"$log" || { echo "missing in output: $p"; return 1; }
  done
}

expect_refusal() { # kind image pattern
  local log
  if log=$(QEMU_BOOT_TIMEOUT=20 bash "$boot" "$1" "$2"); then
    echo "$log"; echo "booted, but should not have"; return 1
  fi
  echo "$log"
  grep -qF -- "$3" <<<"$log" || { echo "missing in output: $3"; return 1; }
}

case $case_name in
  diskette)
    diskette fd.img FLOPPY144
    mcopy -i fd.img "$pkg/ORVOBOOT.SYS" ::ORVOBOOT.SYS
    mcopy -i fd.img /etc/services ::SERVICES
    fsck.fat -n fd.img >/dev/null
    expect_boot floppy fd.img 'volume label "FLOPPY144", FAT12, drive 00h, read by CHS'
    ;;
  hdd-lba)
    make_disk hd.img 65 16 63 63 4 HARDDISK
    mcopy -i hd.img@@$((63 * 512)) "$pkg/ORVOBOOT.SYS" ::ORVOBOOT.SYS
    expect_boot hd hd.img 'volume label "HARDDISK", FAT16, drive 80h, read by LBA'
    ;;
  hdd-far-partition)
    # partition at 1 MB, 64 heads, 32 sectors, 8 sectors per cluster; also as USB storage
    make_disk hd.img 40 64 32 2048 8 FARPART
    mcopy -i hd.img@@$((2048 * 512)) /etc/services ::A.TXT
    mdel -i hd.img@@$((2048 * 512)) ::A.TXT
    mcopy -i hd.img@@$((2048 * 512)) "$pkg/ORVOBOOT.SYS" ::ORVOBOOT.SYS
    expect_boot hd hd.img 'volume label "FARPART", FAT16, drive 80h'
    expect_boot usb hd.img 'volume label "FARPART"' 'read by LBA'
    ;;
  iso-diskette-emulation)
    diskette fd.img CDFLOPPY
    mcopy -i fd.img "$pkg/ORVOBOOT.SYS" ::ORVOBOOT.SYS
    mkdir root && mv fd.img root/
    xorriso -as mkisofs -quiet -o cd.iso -b fd.img root 2>/dev/null
    expect_boot cd cd.iso 'volume label "CDFLOPPY", FAT12, drive 00h, read by CHS'
    ;;
  iso-harddisk-emulation)
    # the emulated drive offers CHS only: the MBR and the boot sector use the table's geometry
    make_disk hd.img 20 16 63 63 4 CDHARD
    mcopy -i hd.img@@$((63 * 512)) "$pkg/ORVOBOOT.SYS" ::ORVOBOOT.SYS
    mkdir root && mv hd.img root/
    xorriso -as mkisofs -quiet -o cd.iso -b hd.img -hard-disk-boot root 2>/dev/null
    expect_boot cd cd.iso 'volume label "CDHARD", FAT16, drive 80h, read by CHS'
    ;;
  hdd-extensions-failing)
    # extensions that claim packet reads and fail every one: both the MBR and
    # the boot sector must go on by CHS
    make_disk hd.img 65 16 63 63 4 FAILINGEXT
    mcopy -i hd.img@@$((63 * 512)) "$pkg/ORVOBOOT.SYS" ::ORVOBOOT.SYS
    put_shim hd.img EXTENSIONS_FAIL
    expect_boot hd hd.img 'volume label "FAILINGEXT", FAT16, drive 80h, read by CHS'
    ;;
  hdd-no-extensions)
    # a partition beyond cylinder 255: the cylinder's bits 8-9 ride in the sector byte
    make_disk hd.img 700 16 63 600000 4 NOEXT
    mcopy -i hd.img@@$((600000 * 512)) "$pkg/ORVOBOOT.SYS" ::ORVOBOOT.SYS
    put_shim hd.img EXTENSIONS_ABSENT
    expect_boot hd hd.img 'volume label "NOEXT", FAT16, drive 80h, read by CHS'
    ;;
  missing-second-stage)
    diskette fd.img NOSTAGE2
    mcopy -i fd.img /etc/services ::ORVOBOOT.TXT
    expect_refusal floppy fd.img "No ORVOBOOT.SYS"
    ;;
  fragmented-second-stage)
    # a free cluster in front makes the file's first cluster 2, its second one 4
    diskette fd.img FRAGMENTS
    head -c 512 /etc/services > one.bin
    mcopy -i fd.img one.bin ::ONE.BIN
    mcopy -i fd.img one.bin ::TWO.BIN
    mdel -i fd.img ::ONE.BIN
    mcopy -i fd.img "$pkg/ORVOBOOT.SYS" ::ORVOBOOT.SYS
    expect_refusal floppy fd.img "ORVOBOOT.SYS: sector 1 is damaged"
    ;;
  large-sectors)
    # 1024-byte sectors cannot be read through the BIOS: refused, not misread
    mkfs.fat -C -F 12 -S 1024 -n BIGSECTORS fd.img 1440 >/dev/null
    put_boot_sector fd.img 0
    mcopy -i fd.img "$pkg/ORVOBOOT.SYS" ::ORVOBOOT.SYS
    expect_refusal floppy fd.img "Disk error"
    ;;
  no-active-partition)
    make_disk hd.img 20 16 63 63 4 INACTIVE 0
    expect_refusal hd hd.img "MBR: no active partition"
    ;;
  two-active-partitions)
    make_disk hd.img 20 16 63 63 4 TWOACTIVE 128 128
    expect_refusal hd hd.img "MBR: invalid partition table"
    ;;
  unsigned-boot-sector)
    make_disk hd.img 20 16 63 63 4 UNSIGNED
    printf '\0\0' | dd of=hd.img bs=1 seek=$((63 * 512 + 510)) conv=notrunc status=none
    expect_refusal hd hd.img "MBR: partition has no boot sector"
    ;;
  *)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac
