#!/usr/bin/env bash
# The USB option's image copy worker against dd: a 256 MiB image written onto
# a file-backed disk by the worker (zolp_copy_bench, which syncs the disk file
# at its end), once as the option runs by default, with the read-back
# comparison, and once with the command word "noverify", and by dd bs=1M
# conv=fsync onto the same kind of file. All three run in one go, interleaved,
# repeated; every copy is checked with cmp. Prints the best and the median
# time of each and the ratios to dd (targets: the verified copy <= 1.5 x dd,
# the plain copy <= 1.1 x dd).
#
#   bench/usb_copy_bench.sh [build-dir] [runs]
#   The work files go to $TMPDIR (default /tmp).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-5}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target zolp_copy_bench >/dev/null
bench=$(realpath "$build/tests/frontend/zolp_copy_bench")
for tool in dd cmp python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/usb-copy-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/cwd"
image=$work/cwd/image.img
# Incompressible content, so that no layer can shortcut the copy.
head -c $((256 << 20)) /dev/urandom > "$image"
cat "$image" > /dev/null  # both sides read it from the page cache

now() { date +%s.%N; }
declare -A times
record() { times[$1]="${times[$1]:-} $2"; }
timed() {  # name command...
  local t0 t1
  rm -f "$work/disk.img"
  sync
  t0=$(now)
  "${@:2}" >/dev/null
  t1=$(now)
  record "$1" "$(python3 -c "print(f'{$t1 - $t0:.3f}')")"
  cmp -s "$image" "$work/disk.img" || { echo "usb_copy_bench: $1 wrote something else" >&2; exit 1; }
}

pieces=$("$bench" "$work" image.img "$work/disk.img")
for run in $(seq "$runs"); do
  timed dd dd if="$image" of="$work/disk.img" bs=1M conv=fsync status=none
  timed copy "$bench" "$work" image.img "$work/disk.img" noverify
  timed verify "$bench" "$work" image.img "$work/disk.img"
done

stat() {  # best|median values...
  python3 -c "import statistics, sys; v = [float(x) for x in sys.argv[2:]]; \
print(f'{(min(v) if sys.argv[1] == \"best\" else statistics.median(v)):.3f}')" "$@"
}
echo "256 MiB image, $runs runs, the worker's $pieces"
printf '%-22s %9s %9s %11s %11s\n' side best median 'best/dd' 'median/dd'
for side in dd copy verify; do
  b=$(stat best ${times[$side]}); m=$(stat median ${times[$side]})
  bd=$(stat best ${times[dd]}); md=$(stat median ${times[dd]})
  label=$side
  [ "$side" = copy ] && label="worker, noverify"
  [ "$side" = verify ] && label="worker (verifies)"
  printf '%-22s %8ss %8ss %11s %11s\n' "$label" "$b" "$m" \
    "$(python3 -c "print(f'{$b / $bd:.2f}')")" "$(python3 -c "print(f'{$m / $md:.2f}')")"
done
echo "targets: worker (verifies) <= 1.5 x dd, worker with noverify <= 1.1 x dd"
