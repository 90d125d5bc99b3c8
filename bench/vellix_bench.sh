#!/usr/bin/env bash
# vellix against its peer (mkfs.fat + mcopy -s) on a generated package tree.
# Wall time and CPU time (user + system) are both reported: on a shared
# machine the wall time carries the other processes' load.
#
#   bench/vellix_bench.sh <build dir> [runs]
#
# The tree (about 2,000 files, 300 MiB, 40 directories) is generated in a
# temporary directory. For each image -- an HDD image sized to the files
# behind an MBR, and a FLASH image of 4128768 sectors -- vellix builds it,
# then the peer formats a volume of the same FAT type, cluster size and
# sector count and copies the tree into it. Prints the mean times, the ratio
# vellix/peer (target: at most 0.5), vellix's peak memory (target: under
# 64 MiB) and the time for four times the tree (target: at most 4.5 times).
# The ratios come from the mean times; the "best" ratios, from each side's
# fastest run, show how much of a result is the machine's noise.
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
runs="${2:-5}"
vellix="$build/imagebuilder/vellix"
[ -x "$vellix" ] || { echo "vellix not built in $build" >&2; exit 1; }
for tool in mkfs.fat mcopy hyperfine python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
export MTOOLS_SKIP_CHECK=1 BUILDSETTIME=66000000

work="$(mktemp -d /tmp/vellix-bench.XXXXXX)"
trap 'rm -rf "$work"' EXIT
echo "working in $work"

# ---- the tree: 40 directories (some nested), 2,000 files, about 300 MiB ----
python3 - "$work/tree" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(20261208)
dirs = []
for d in range(40):
    parent = dirs[rng.randrange(len(dirs))] if dirs and d % 4 == 3 else root
    path = os.path.join(parent, f"Dir {d:02d}" if d % 3 == 0 else f"D{d:02d}")
    os.makedirs(path, exist_ok=True)
    dirs.append(path)
# Sizes: many small files, some large ones, scaled to 300 MiB in all.
sizes = [int(rng.lognormvariate(10.5, 1.6)) for _ in range(2000)]
scale = 300 * 1024 * 1024 / sum(sizes)
sizes = [max(0, min(int(s * scale), 8 * 1024 * 1024)) for s in sizes]
block = rng.randbytes(1 << 20)
for i, size in enumerate(sizes):
    d = dirs[i % len(dirs)]
    name = f"file{i:04d}.bin" if i % 5 else f"Long File Name {i:04d}.data"
    with open(os.path.join(d, name), "wb") as f:
        left, off = size, (i * 7919) % len(block)
        while left > 0:
            piece = block[off:off + left]
            f.write(piece)
            left -= len(piece)
            off = 0
PY
# Four times the tree, as hard links (same bytes, no extra disk space).
mkdir "$work/tree4"
for k in 1 2 3 4; do cp -al "$work/tree" "$work/tree4/copy$k"; done
printf 'tree: %s files, %s directories, %s\n' "$(find "$work/tree" -type f | wc -l)" \
  "$(find "$work/tree" -mindepth 1 -type d | wc -l)" "$(du -sh --apparent-size "$work/tree" | cut -f1)"

python3 - "$work" <<'PY'
import sys
w = sys.argv[1]
boot = bytearray(512); boot[0:3] = b"\xEB\x3C\x90"; boot[510:512] = b"\x55\xAA"
open(f"{w}/bs.bin", "wb").write(boot)
open(f"{w}/mbr.bin", "wb").write(boot)
PY

# Reads the volume parameters vellix chose, so the peer formats the same volume.
volume_params() {  # image, byte offset -> "fatbits spc sectors rootentries"
  python3 - "$1" "$2" <<'PY'
import struct, sys
with open(sys.argv[1], "rb") as f:
    f.seek(int(sys.argv[2])); b = f.read(512)
bps, spc, res, nf, root, t16, media, fatsz = struct.unpack_from("<HBHBHHBH", b, 11)
t32, = struct.unpack_from("<I", b, 32)
total = t16 or t32
clusters = (total - res - nf * fatsz - (root * 32 + bps - 1) // bps) // spc
print(12 if clusters < 4085 else 16, spc, total, root)
PY
}

peer_command() {  # image, fatbits, spc, sectors, rootentries, tree
  echo "truncate -s $(( $4 * 512 )) $1 && mkfs.fat -F $2 -s $3 -R 1 -f 2 -r $5 -S 512 $1 >/dev/null && mcopy -s -i $1 $6/* ::"
}

peak_rss_kib() { /usr/bin/time -v "$@" 2>&1 >/dev/null | sed -n 's/.*Maximum resident set size (kbytes): //p'; }

results="$work/results.txt"
: > "$results"

bench_image() {  # name, tree, vellix options...
  local name="$1" tree="$2"; shift 2
  local img="$work/$name.img" peerimg="$work/$name-peer.img"
  local vcmd="$vellix -b $work/bs.bin -f $tree -i $img -L $*"
  $vcmd >/dev/null
  local offset=0
  case " $* " in *" -m "*) offset=$(python3 -c "import struct;print(struct.unpack_from('<I',open('$img','rb').read(512),0x1C6)[0]*512)");; esac
  read -r bits spc sectors root < <(volume_params "$img" "$offset")
  local pcmd; pcmd="$(peer_command "$peerimg" "$bits" "$spc" "$sectors" "$root" "$tree")"
  echo "== $name: FAT$bits, $spc sectors per cluster, $sectors sectors"
  # Both start without an image file: replacing a large file that is still being
  # written back would time the kernel's writeback, not the tool.
  hyperfine --runs "$runs" --warmup 1 --prepare "rm -f $img" --export-json "$work/$name.json" \
    "$vcmd" >/dev/null
  hyperfine --runs "$runs" --warmup 1 --prepare "rm -f $peerimg" \
    --export-json "$work/$name-peer.json" "$pcmd" >/dev/null
  rm -f "$img"
  local rss; rss="$(peak_rss_kib $vcmd)"
  python3 - "$work/$name.json" "$work/$name-peer.json" "$name" "$rss" >> "$results" <<'PY'
import json, sys
v = json.load(open(sys.argv[1]))["results"][0]
p = json.load(open(sys.argv[2]))["results"][0]
vc = v["user"] + v["system"]
pc = p["user"] + p["system"]
print(f"{sys.argv[3]} {v['mean']:.4f} {v['stddev']:.4f} {p['mean']:.4f} {p['stddev']:.4f} {int(sys.argv[4])} {vc:.4f} {pc:.4f} {v['min']:.4f} {p['min']:.4f}")
PY
  tail -n1 "$results" | awk '{printf "   wall: vellix %.3f s (±%.3f)  peer %.3f s (±%.3f)  ratio %.2f\n   cpu:  vellix %.3f s  peer %.3f s  ratio %.2f   peak RSS %.1f MiB\n", $2, $3, $4, $5, $2/$4, $7, $8, $7/$8, $6/1024}'
  rm -f "$img" "$peerimg"
}

bench_image hdd "$work/tree" -m "$work/mbr.bin" -z
bench_image flash "$work/tree" -m "$work/mbr.bin" -t 4128768

echo "== scaling: HDD image of four times the tree"
cmd1="$vellix -b $work/bs.bin -f $work/tree -i $work/s1.img -L -m $work/mbr.bin -z"
cmd4="$vellix -b $work/bs.bin -f $work/tree4 -i $work/s4.img -L -m $work/mbr.bin -z"
hyperfine --runs "$runs" --warmup 1 --prepare "rm -f $work/s1.img" --export-json "$work/s1.json" \
  "$cmd1" >/dev/null
hyperfine --runs "$runs" --warmup 1 --prepare "rm -f $work/s4.img" --export-json "$work/s4.json" \
  "$cmd4" >/dev/null
rss4="$(peak_rss_kib $cmd4)"
python3 - "$work/s1.json" "$work/s4.json" "$rss4" <<'PY'
import json, sys
r1 = json.load(open(sys.argv[1]))["results"][0]
r4 = json.load(open(sys.argv[2]))["results"][0]
t1, t4 = r1["mean"], r4["mean"]
c1, c4 = r1["user"] + r1["system"], r4["user"] + r4["system"]
print(f"   wall: 1x tree {t1:.3f} s, 4x tree {t4:.3f} s, ratio {t4 / t1:.2f} (target <= 4.5)")
m1, m4 = r1["min"], r4["min"]
print(f"   best: 1x tree {m1:.3f} s, 4x tree {m4:.3f} s, ratio {m4 / m1:.2f} (the fastest runs, least disturbed by the machine)")
print(f"   cpu:  1x tree {c1:.3f} s, 4x tree {c4:.3f} s, ratio {c4 / c1:.2f}; peak RSS {int(sys.argv[3]) / 1024:.1f} MiB")
PY

echo
echo "summary (targets: ratio <= 0.50, peak RSS < 64 MiB; the machine's load shows in wall time):"
awk '{printf "  %-6s vellix/peer wall %.2f  cpu %.2f  best %.2f   peak RSS %.1f MiB\n", $1, $2/$4, $7/$8, $9/$10, $6/1024}' "$results"
