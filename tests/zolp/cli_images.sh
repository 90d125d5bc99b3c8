#!/usr/bin/env bash
# zolpcli image, image --diskette and iso onto files: each equals what the Linux
# vellix builds by hand, passes fsck.fat (and isoinfo, xorriso) and boots in qemu
# (check_media.sh); a file that exists is refused and left as it was. The
# diskette set as files and onto a loop device (as root), asked on a pty.
#   cli_images.sh ZOLPCLI VELLIX PACKAGE
set -uo pipefail
zolpcli=$(readlink -f "${1:?zolpcli}")
vellix=$(readlink -f "${2:?vellix}")
package=$(readlink -f "${3:?package}")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/zolpcli-images.XXXXXX)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
fail() { echo "cli_images: $*"; exit 1; }
mkdir "$work/bin" && ln -s "$vellix" "$work/bin/vellix" && export PATH=$work/bin:$PATH
cp -r "$package" "$work/package" && cd "$work/package" || fail "package"

# One build time for zolpcli's vellix runs and check_media's (an ISO made at
# the clock carries hundredths of a second that no build by hand repeats).
from=$(date +%s) && to=$from
export BUILDSETTIME=$(printf '%X' "$from")
"$zolpcli" image "$work/hdd.img" >"$work/out.txt" 2>&1 &&
  "$zolpcli" image "$work/fd.img" --diskette >>"$work/out.txt" 2>&1 &&
  "$zolpcli" iso "$work/cd.iso" >>"$work/out.txt" 2>&1 || fail "$(cat "$work/out.txt")"
[ "$(grep -c "successfully created" "$work/out.txt")" = 3 ] || fail "$(cat "$work/out.txt")"
cp "$work/hdd.img" "$work/hdd.before"
"$zolpcli" image "$work/hdd.img" >"$work/out.txt" 2>&1
[ $? = 3 ] && grep -q "already exists" "$work/out.txt" && cmp -s "$work/hdd.img" "$work/hdd.before" ||
  fail "an existing file: $(cat "$work/out.txt")"
"$zolpcli" burn E >"$work/out.txt" 2>&1
[ $? = 2 ] && grep -q "CDs are not burned on Linux" "$work/out.txt" || fail "burn: $(cat "$work/out.txt")"
printf '%s\n' "hd HDD $work/package $work/hdd.img A05 $from $to" \
  "floppy DISKETTE $work/package $work/fd.img A05 $from $to" \
  "cd CD $work/package $work/cd.iso A05 $from $to -NA05" >"$work/made.txt"
bash "$root/tests/zolp/check_media.sh" "$work/made.txt" "$vellix"
status=$?

# The diskette set: as files (Disk1 -> set1.img, ...), each equal to vellix's
# build and clean for fsck.fat; onto a drive (a loop device), asked for each
# diskette on a terminal and read back.
"$zolpcli" diskettes "$work/set.img" >"$work/out.txt" 2>&1 || fail "diskettes: $(cat "$work/out.txt")"
: >"$work/made.txt"
for n in 1 2; do echo "- Disk$n $work/package $work/set$n.img A05 $from $to" >>"$work/made.txt"; done
[ ! -e "$work/set3.img" ] || fail "a third diskette of two"
bash "$root/tests/zolp/check_media.sh" "$work/made.txt" "$vellix" || status=1
truncate -s 1440K "$work/drive.img" && drive=$(losetup -f --show "$work/drive.img") || fail "losetup"
printf 'y\ny\n' | script -qec "$zolpcli diskettes $drive" /dev/null >"$work/out.txt" 2>&1
asked=$(grep -c "Insert a blank 1.44 MB diskette [12] of 2 in $drive. Write it?" "$work/out.txt")
cmp -s "$drive" "$work/set2.img"
same=$?
losetup -d "$drive"
[ "$asked" = 2 ] && [ $same = 0 ] && grep -q "Diskette 2 of 2 written and verified" "$work/out.txt" ||
  fail "diskettes onto a drive: asked $asked, cmp $same: $(cat "$work/out.txt")"
exit $status
