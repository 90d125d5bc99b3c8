#!/usr/bin/env bash
# Builds the sample package's media images with vellix and shows what is in them.
#   scripts/demo-media.sh <build dir> [output dir]
# The images go to <output dir> (default: out/ in the source tree).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-build}" && pwd)"
out="${2:-$root/out}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
vellix="$build/imagebuilder/vellix"
package="$build/package"
export MTOOLS_SKIP_CHECK=1
[ -x "$vellix" ] || { echo "vellix not built in $build" >&2; exit 1; }
[ -f "$package/DD.CFG" ] || { echo "sample package missing in $package" >&2; exit 1; }

label="$(sed -n 's/^OEM Ver[^:=]*[:=][[:space:]]*//p' "$package/Version.txt" | head -n1 | cut -c1-11)"
label="${label:-DIAGS}"

section() { printf '\n==== %s ====\n' "$*"; }

# Runs vellix in the package directory as the front end does; stops the demo on failure.
build_image() {
  local name="$1"; shift
  section "vellix dd.cfg $*"
  local rc=0
  (cd "$package" && "$vellix" dd.cfg "$@") || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "vellix failed with exit code $rc building $name" >&2
    exit "$rc"
  fi
}

# Checks and lists one FAT volume: image file, byte offset, sector count.
show_volume() {
  local image="$1" offset="$2" sectors="$3"
  local volume="${image%.img}-volume.tmp"
  dd if="$image" of="$volume" bs=512 skip=$((offset / 512)) count="$sectors" status=none
  # An image built without ZeroData ends at its last cluster; the check needs the whole volume.
  truncate -s $((sectors * 512)) "$volume"
  minfo -i "$volume" :: | sed -n '/^bootsector information/,$p' | grep -E 'banner|sector size|cluster size|fats|root directory|media|sectors per fat|hidden|small size|big size|disk type|label'
  echo
  mdir -/ -i "$volume" ::
  echo
  fsck.fat -n "$volume"
  rm -f "$volume"
}

# The sector count of partition 1 from an MBR, and its first sector.
partition_field() {
  sfdisk -J "$1" | python3 -c "import json,sys; p=json.load(sys.stdin)['partitiontable']['partitions'][0]; print(p['$2'])"
}

# Diskette image (1.44 MB preset, no MBR).
build_image diskette DISKETTE -v"$label" -i"$out/diskette.img"
show_volume "$out/diskette.img" 0 2880

# Hard-disk image sized to the files, behind an MBR.
build_image hdd HDD -v"$label" -i"$out/hdd.img"
section "partition table of hdd.img"
sfdisk -d "$out/hdd.img"
start=$(partition_field "$out/hdd.img" start)
size=$(partition_field "$out/hdd.img" size)
show_volume "$out/hdd.img" $((start * 512)) "$size"

# USB flash image for a 1 GiB drive (the front end passes the drive's sector count).
build_image flash FLASH -v"$label" -t2097152 -i"$out/flash.img"
section "partition table of flash.img"
sfdisk -d "$out/flash.img"
start=$(partition_field "$out/flash.img" start)
size=$(partition_field "$out/flash.img" size)
show_volume "$out/flash.img" $((start * 512)) "$size"

# Bootable CD image: the hard-disk volume behind an MBR as the El Torito boot
# image, readme.txt as the CD's only file.
build_image cd CD -v"$label" -N"ORVO_DIAGNOSTICS" -i"$out/cd.iso"
section "CD image cd.iso"
isoinfo -d -i "$out/cd.iso"
isoinfo -l -i "$out/cd.iso"
xorriso -indev "$out/cd.iso" -report_el_torito plain 2>/dev/null | grep '^El Torito'

section "images in $out"
ls -l "$out"
