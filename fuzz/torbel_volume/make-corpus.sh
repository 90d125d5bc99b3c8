#!/usr/bin/env bash
# Makes the seed inputs of torbel_volume in corpus/ (they are kept in the tree; run
# this again only to change them): utility disks made by sfdisk, mkfs.fat and mtools,
# each cut to its MBR and the partition's sectors up to the last one in use.
#   bash fuzz/torbel_volume/make-corpus.sh
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

# disk <name> <sectors per cluster> <root entries> [sectors]: a fresh disk.img with one
# type-DE partition (8000 sectors unless given) at sector 63.
sectors=8000
disk() {
  sectors=${4:-8000}
  rm -f disk.img
  truncate -s $((sectors / 2048 + 2))M disk.img
  printf 'label: dos\nstart=63, size=%d, type=de, bootable\n' "$sectors" | sfdisk -q disk.img
  mkfs.fat -F 16 -R 1 -s "$2" -r "$3" --offset 63 -h 63 -n UTILITY disk.img $((sectors / 2)) >/dev/null 2>&1
}
m() { local tool=$1; shift; MTOOLS_SKIP_CHECK=1 "$tool" -i disk.img@@$((63 * 512)) "$@"; }

# cut <name>: the MBR, then the partition up to its last sector that is not all zeros.
cut() {
  python3 - "$1" "$sectors" <<'PY'
import sys
data = open('disk.img', 'rb').read()
part = data[63 * 512:(63 + int(sys.argv[2])) * 512]
last = max(i for i in range(0, len(part), 512) if any(part[i:i + 512]))
open(sys.argv[1], 'wb').write(data[:512] + part[:last + 512])
PY
}
# loop <root entry, 11 bytes> <n>: the chain of that entry links its n-th cluster
# (from 0; -1 the last) back to its first, in both FAT copies.
loop() {
  python3 - "$1" "$2" <<'PY'
import sys
name, n = sys.argv[1].encode(), int(sys.argv[2])
d = bytearray(open('disk.img', 'rb').read())
base = 63 * 512
spf = int.from_bytes(d[base + 22:base + 24], 'little')
root = base + 512 * (1 + 2 * spf)
first = next(int.from_bytes(d[root + 32 * i + 26:root + 32 * i + 28], 'little')
             for i in range(64) if d[root + 32 * i:root + 32 * i + 11] == name)
def entry(c): return int.from_bytes(d[base + 512 + 2 * c:base + 512 + 2 * c + 2], 'little')
chain = [first]
while entry(chain[-1]) < 0xFFF8: chain.append(entry(chain[-1]))
for copy in range(2):
    at = base + 512 * (1 + copy * spf) + 2 * chain[n]
    d[at:at + 2] = first.to_bytes(2, 'little')
open('disk.img', 'wb').write(d)
PY
}

head -c 3000 /dev/urandom >big.bin
printf 'read me\r\n' >readme.txt
for i in $(seq 1 40); do printf 'x' >"f$i"; done

disk empty 1 64
cut "$here/corpus/empty-volume"

disk tree 1 64
m mmd ::DIAGS ::DIAGS/SUB ::DIAGS/SUB/DEEP ::FULL
m mcopy readme.txt ::README.TXT
m mcopy big.bin "::A Long File Name.bin"
m mcopy big.bin ::DIAGS/SUB/DEEP/BIG.BIN
m mcopy f1 f2 f3 f4 f5 f6 f7 f8 f9 f10 f11 f12 f13 f14 f15 f16 f17 f18 f19 f20 ::FULL
m mcopy readme.txt "::DIAGS/Another Long Name.txt"
m mdel ::FULL/F3
m mcopy big.bin ::FRAG.BIN
cut "$here/corpus/tree-with-long-names"

# The same tree with damage: a directory whose last cluster links back to its
# first, and a file whose chain loops within its size.
loop 'FULL       ' -1
cut "$here/corpus/directory-loops-back"
disk tree 1 64
m mcopy big.bin ::LOOP.BIN
loop 'LOOP    BIN' 2
cut "$here/corpus/file-loops-within-size"

disk clusters 4 512 20000
m mmd ::DIAGS
m mcopy big.bin readme.txt ::DIAGS
m mcopy f1 f2 f3 ::
cut "$here/corpus/four-sector-clusters"

ls -l "$here/corpus"
