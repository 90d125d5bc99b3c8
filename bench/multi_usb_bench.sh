#!/usr/bin/env bash
# zolpcli usb on four sticks at once against the same run on one: simulated
# sticks (ZOLP_SIM_DEVICES) of one size, each limited to the same write rate
# (ZOLP_SIM_WRITE_RATE, bytes a second), verified as by default. The one-stick
# and four-stick runs alternate, repeated; the sticks of a run are checked
# against each other (cmp). Prints the median time of each and their ratio
# (goal: four sticks in at most 1.3 x the time of one).
#
# The sample package carries a file of incompressible data, so that the copy
# writes about `data` MiB to each stick.
#
#   bench/multi_usb_bench.sh [build-dir] [runs] [MiB a stick] [MiB/s a stick] [MiB of data]
#   The work files go to $TMPDIR (default /tmp).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-3}
mib=${3:-64}
rate=${4:-16}
data=${5:-40}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target zolpcli vellix sample_package >/dev/null
zolpcli=$(realpath "$build/frontend/cli/zolpcli")
package=$(realpath "$build/package")
# zolpcli finds vellix beside itself or on PATH.
export PATH="$(realpath "$build/imagebuilder"):$PATH"

work=$(mktemp -d "${TMPDIR:-/tmp}/multi-usb-bench-XXXXXX")
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
cp -r "$package" "$work/package"
mkdir "$work/package/BENCH"
for ((i = 0; i < data; i++)); do  # one MiB a file: vellix allocates a file's clusters at once
  head -c $((1 << 20)) /dev/urandom >"$work/package/BENCH/DATA$i.BIN"
done
for n in 1 4; do
  : >"$work/devices$n.txt"
  for ((i = 1; i <= n; i++)); do
    echo "usb $i $work/stick$n-$i.img $((mib << 20)) vendor=Bench product=\"Stick $i\"" >>"$work/devices$n.txt"
  done
done

now() { date +%s.%N; }
declare -A times
one_run() {  # N
  local t0 t1 status=0
  rm -f "$work"/stick"$1"-*.img
  t0=$(now)
  (cd "$work/package" && ZOLP_SIM_DEVICES=$work/devices$1.txt ZOLP_SIM_WRITE_RATE=$((rate << 20)) \
     "$zolpcli" usb --all --yes </dev/null >"$work/out$1.txt" 2>&1) || status=$?
  t1=$(now)
  if [ $status != 0 ] || [ "$(grep -c "Successfully created the USB flash drive.$" "$work/out$1.txt")" != "$1" ]; then
    echo "multi_usb_bench: the run on $1 stick(s) failed ($status):" >&2
    cat "$work/out$1.txt" >&2
    exit 1
  fi
  # The sticks of one run hold the one image built for their size.
  for ((i = 2; i <= $1; i++)); do
    cmp -s "$work/stick$1-$i.img" "$work/stick$1-1.img" || { echo "multi_usb_bench: stick $i of $1 differs" >&2; exit 1; }
  done
  times[$1]="${times[$1]:-} $(awk "BEGIN {printf \"%.3f\", $t1 - $t0}")"
}
for ((r = 1; r <= runs; r++)); do
  one_run 1
  one_run 4
done
median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
one=$(echo "${times[1]}" | median)
four=$(echo "${times[4]}" | median)
printf 'multi_usb_bench: %d MiB sticks at %d MiB/s each, %d MiB of data, verified, %d runs\n' \
  "$mib" "$rate" "$data" "$runs"
printf '  one stick:   median %.2f s  (%s)\n' "$one" "${times[1]# }"
printf '  four sticks: median %.2f s  (%s)\n' "$four" "${times[4]# }"
printf '  ratio four/one: %.2f x  (goal <= 1.3 x)\n' "$(awk "BEGIN {print $four / $one}")"
