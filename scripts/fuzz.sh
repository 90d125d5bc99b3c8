#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ (build-fuzz/, clang, libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer), replays every seed and past crash, then runs each target for a
# while on a working copy of its corpus:
#   bash scripts/fuzz.sh [seconds per target, default 60] [target...]
# An input that crashes, hangs (over 5 s) or runs out of memory is kept in
# build-fuzz/findings/<target>/ and fails the run; once fixed, move it to
# fuzz/<target>/crashes/ so that every later run replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
[ $# -gt 0 ] && shift
jobs=$(nproc)

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDIAG_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
# Only the targets and what they link: the rest of the tree has no business in this build.
mapfile -t fuzzers < <(grep -v '^$' build-fuzz/fuzzers.txt)
cmake --build build-fuzz -j"$jobs" --target "${fuzzers[@]}"
ctest --test-dir build-fuzz --output-on-failure --no-tests=error -j"$jobs" -L fuzz

mapfile -t targets < <(if [ $# -gt 0 ]; then printf '%s\n' "$@"; else grep -v '^$' build-fuzz/fuzzers.txt; fi)
status=0
for target in "${targets[@]}"; do
  exe="$(find build-fuzz/fuzz -type f -name "$target" -perm -u+x | head -n1)"
  [ -n "$exe" ] || { echo "fuzz.sh: no target $target" >&2; status=1; continue; }
  work="build-fuzz/corpus/$target"
  findings="build-fuzz/findings/$target"
  mkdir -p "$work" "$findings"
  # The working corpus grows run by run; the seeds in the tree stay as they are.
  find "fuzz/$target/corpus" -maxdepth 1 -type f -exec cp -n -t "$work" {} +
  log="build-fuzz/findings/$target.log"
  echo "fuzz.sh: $target for $seconds s"
  if ! "$exe" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$findings/" "$work" >"$log" 2>&1; then
    echo "fuzz.sh: $target FOUND A FAULT; input in $findings/, log in $log" >&2
    tail -n 40 "$log" >&2
    status=1
  fi
  sed -n -E "s/^stat::(number_of_executed_units|new_units_added|peak_rss_mb)/  $target &/p" "$log"
  echo "  $target corpus: $(ls "$work" | wc -l) inputs"
done
exit $status
