#!/usr/bin/env bash
# Builds a bootable hard-disk-emulation CD image of a sample-sized package tree
# (about 2,000 files, 300 MiB, 40 directories) with vellix, and the same CD the
# way a user would without it: a disk image with one partition made by sfdisk,
# formatted by mkfs.fat with vellix's geometry, filled by mcopy -s, wrapped by
# xorriso -as mkisofs -hard-disk-boot. Both run in one go, interleaved,
# repeated; prints the best time of each and the ratio (target: <= 0.5).
#
# usage: bench/iso_bench.sh [build-dir] [runs] [scale]
#   scale multiplies the tree (1 = 300 MiB). The work files go to $TMPDIR
#   (default /tmp); TMPDIR=/dev/shm takes the disk out of the comparison.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-3}
scale=${3:-1}
vellix=$(realpath "$build/imagebuilder/vellix")
for tool in mkfs.fat mcopy sfdisk xorriso isoinfo fsck.fat; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/iso-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
tree=$work/tree

# The tree: 40 directories, 50 files each, sizes spread from 1 KiB to ~300 KiB
# so the total is about 300 MiB per scale unit. Content is pseudo-random so
# neither side can profit from sparse or repeated data.
python3 - "$tree" "$scale" <<'PY'
import os, random, sys
root, scale = sys.argv[1], int(sys.argv[2])
rng = random.Random(2026)
block = os.urandom(1 << 20)
total = 0
for d in range(40 * scale):
    path = os.path.join(root, "DIR%03d" % d, "SUB" if d % 4 == 0 else "")
    os.makedirs(path, exist_ok=True)
    for f in range(50):
        size = rng.randint(1024, 300 * 1024)
        start = rng.randint(0, len(block) - size)
        with open(os.path.join(path, "F%02d_%03d.BIN" % (f, d)), "wb") as out:
            out.write(block[start:start + size])
        total += size
print("tree: %d files, %.1f MiB" % (40 * 50 * scale, total / 1048576))
PY

# Boot records with the 0xAA55 signature; their code does not matter here.
python3 - "$work" <<'PY'
import sys
for name in ("boot.bin", "mbr.bin"):
    sector = bytearray(512)
    sector[0:3] = b"\xEB\x3C\x90" if name == "boot.bin" else b"\xFA\xF4\x00"
    sector[510:512] = b"\x55\xAA"
    open(sys.argv[1] + "/" + name, "wb").write(sector)
PY
cat > "$work/dd.cfg" <<CFG
[CD]
ISO=1
FileRoot=$tree
BsFileName=$work/boot.bin
MbrFileName=$work/mbr.bin
ISOVolumeID=BENCH_CD
CFG

now() { date +%s%N; }

# Outputs of the previous run are removed before the clock starts: deleting a
# 300 MiB file on a disk mounted with discard costs more than writing it.
clean() { rm -rf "$@"; sync; }

run_vellix() {
  (cd "$work" && "$vellix" dd.cfg CD -i vellix.iso >/dev/null)
}

# Geometry of vellix's volume, read from its boot sector, so the peer formats
# the same volume: same FAT type, cluster size, sector counts.
geometry() {
  python3 - "$work/vellix.iso" <<'PY'
import struct, sys
f = open(sys.argv[1], "rb")
f.seek(0xC000 + 40)
lba = struct.unpack("<I", f.read(4))[0]
f.seek(lba * 2048)
mbr = f.read(512)
start, count = struct.unpack("<II", mbr[0x1C6:0x1CE])
f.seek(lba * 2048 + start * 512)
bs = f.read(512)
spc, res, nfats, root = bs[13], struct.unpack("<H", bs[14:16])[0], bs[16], struct.unpack("<H", bs[17:19])[0]
spt, heads = struct.unpack("<HH", bs[24:28])
fattype = 12 if bs[54:59] == b"FAT12" else 16
print(start, count, spc, res, nfats, root, spt, heads, fattype, mbr[0x1C2])
PY
}

run_peer() {
  read -r start count spc res nfats root spt heads fattype ptype < "$work/geometry"
  mkdir "$work/stage"
  local disk=$work/stage/disk.img
  truncate -s $(( (start + count) * 512 )) "$disk"
  printf 'start=%s, size=%s, type=%x, bootable\n' "$start" "$count" "$ptype" |
    sfdisk -q "$disk" >/dev/null
  mkfs.fat -F "$fattype" -s "$spc" -R "$res" -f "$nfats" -r "$root" -S 512 \
    -h "$start" -g "$heads/$spt" --offset "$start" "$disk" "$(( count / 2 ))" >/dev/null
  MTOOLS_SKIP_CHECK=1 mcopy -s -Q -i "$disk@@$(( start * 512 ))" "$tree"/* ::/
  xorriso -as mkisofs -quiet -V BENCH_CD -b disk.img -hard-disk-boot \
    -o "$work/peer.iso" "$work/stage" 2>/dev/null
}

run_vellix
geometry > "$work/geometry"
best_v=0
best_p=0
for ((i = 1; i <= runs; i++)); do
  # Each side's time runs until its data is on disk (sync), so neither is
  # charged for the other's write-back.
  clean "$work/vellix.iso"
  t0=$(now); run_vellix; sync; t1=$(now)
  clean "$work/stage" "$work/peer.iso"
  t2=$(now); run_peer; sync; t3=$(now)
  v=$(( (t1 - t0) / 1000000 )); p=$(( (t3 - t2) / 1000000 ))
  echo "run $i: vellix ${v} ms, peer ${p} ms"
  (( best_v == 0 || v < best_v )) && best_v=$v
  (( best_p == 0 || p < best_p )) && best_p=$p
done

# Both results must be what they claim before their times mean anything.
isoinfo -d -i "$work/vellix.iso" | grep -q "Boot media 4" || { echo "vellix CD not bootable" >&2; exit 1; }
isoinfo -d -i "$work/peer.iso" | grep -q "Boot media 4" || { echo "peer CD not bootable" >&2; exit 1; }

if [ -x /usr/bin/time ]; then
  clean "$work/vellix.iso"
  peak=$(cd "$work" && /usr/bin/time -f %M "$vellix" dd.cfg CD -i vellix.iso 2>&1 >/dev/null | tail -n1)
  echo "vellix peak memory: ${peak} KiB"
fi
echo "vellix ISO: $(stat -c %s "$work/vellix.iso") bytes; peer ISO: $(stat -c %s "$work/peer.iso") bytes"
python3 -c "import sys; v,p=map(int,sys.argv[1:]); print('best of $runs: vellix %d ms, peer %d ms, ratio vellix/peer %.2f (target <= 0.50)' % (v,p,v/p))" "$best_v" "$best_p"
