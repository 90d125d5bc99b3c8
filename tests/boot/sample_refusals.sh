#!/usr/bin/env bash
# vellix refuses to build a medium that could not boot: a copy of the sample
# package is broken in one way and the build must fail with its code.
#
#   sample_refusals.sh <vellix> <package-dir> <case>
set -uo pipefail

vellix=${1:?vellix}
package=$(cd "${2:?package dir}" && pwd)
case_name=${3:?case}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$package" "$work/package"
cd "$work/package"
cfg=$(ls | grep -ix 'dd.cfg' | head -1)

# The value of a key as vellix reads it for a section (first occurrence,
# outside any section or in the section itself).
cfg_value() { # key section
  awk -v key="$1" -v sec="$2" '
    BEGIN { cur = ""; IGNORECASE = 1 }
    { sub(/^[ \t]+/, "") }
    /^[#;]/ { next }
    /^\[/ { cur = substr($0, 2); sub(/\].*/, "", cur); next }
    {
      k = $0; sub(/[=:].*/, "", k); sub(/[ \t]+$/, "", k)
      if (tolower(k) != tolower(key) || (cur != "" && tolower(cur) != tolower(sec))) next
      v = $0; sub(/^[^=:]*[=:]/, "", v); sub(/[#;].*/, "", v)
      gsub(/^[ \t]+|[ \t\r]+$/, "", v); print v; exit
    }' "$cfg"
}

expect_code() { # expected section [options]
  local expected=$1 section=$2 code
  shift 2
  "$vellix" "$cfg" "$section" -i"$work/out.img" "$@" >"$work/vellix.txt"
  code=$?
  cat "$work/vellix.txt"
  if [ "$code" != "$expected" ]; then
    echo "vellix $section: exit code $code, expected $expected"
    return 1
  fi
}

case $case_name in
  unsigned-boot-sector)
    # A boot sector file without 55AA at its end: code 12, found before the
    # image file is made, so there is no image that could be taken for a medium.
    bs=$(cfg_value BsFileName DISKETTE)
    [ -f "$bs" ] || { echo "no boot sector file '$bs' in the sample package"; exit 1; }
    printf '\0\0' | dd of="$bs" bs=1 seek=510 conv=notrunc status=none
    expect_code 12 DISKETTE || exit 1
    if [ -e "$work/out.img" ]; then
      echo "the failed build left an image file"
      exit 1
    fi
    ;;
  missing-ordered-file)
    ordered=$(cfg_value OrderedFile HDD)
    [ -n "$ordered" ] || { echo "the sample package orders no file"; exit 1; }
    root=$(cfg_value FileRoot HDD)
    rm -f "${root:-.}/$ordered"
    expect_code 33 HDD || exit 1
    ;;
  *)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac
