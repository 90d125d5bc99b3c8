#!/usr/bin/env bash
# zolpcli usb as root on loop devices, described as USB sticks by a sysfs tree of
# this run's own (ZOLP_SYSFS_ROOT):
#   four good sticks (two of one size) are written at once; each equals the image
#   the Linux vellix builds for its size, passes fsck.fat -n and boots in qemu
#   (check_media.sh), and its last MiB is cleared;
#   a mounted stick, one whose serial changes while its image is built and one
#   whose writes fail (a loop device over a file on a full tmpfs) fail alone, the
#   first two untouched; a non-removable, a non-USB, an empty disk and one whose
#   /dev node carries other numbers are not listed, and a named one is refused;
#   without --yes: refused with no terminal, asked on a pty (and redrawn there).
#   cli_usb.sh ZOLPCLI VELLIX PACKAGE
set -uo pipefail
zolpcli=$(readlink -f "${1:?zolpcli}")
vellix=$(readlink -f "${2:?vellix}")
package=$(readlink -f "${3:?package}")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/zolpcli-usb.XXXXXX)
loops=()
cleanup() {
  mountpoint -q "$work/mnt" && umount "$work/mnt"
  for l in "${loops[@]}"; do losetup -d "$l"; done
  mountpoint -q "$work/full" && umount "$work/full"
  rm -rf "$work"
}
trap cleanup EXIT
[ -n "${KEEP:-}" ] && trap - EXIT
fail() { echo "cli_usb: $*"; exit 1; }

sys=$work/sys
mkdir -p "$sys/block" "$work/bin" "$work/mnt" "$work/full"
cp -r "$package" "$work/package"
# A stick: stick NAME MIB [removable [usb]] -> its loop device in $node_NAME.
stick() {
  local name=$1 mib=$2 removable=${3:-1} bus=${4:-usb} file=${5:-$work/$1.disk} loop n dir dev
  [ -e "$file" ] || { tr '\0' '\245' </dev/zero | head -c $((mib << 20)) >"$file"; }
  loop=$(losetup -f --show "$file") || fail "losetup $name"
  loops+=("$loop")
  n=${#loops[@]}
  dir=$sys/devices/pci0000:00/0000:00:14.0
  [ "$bus" = usb ] && dir=$dir/usb1/1-$n && mkdir -p "$dir" && echo 0781 >"$dir/idVendor" &&
    echo "SER$name" >"$dir/serial" && eval "serial_$name=$dir/serial" && dir=$dir/1-$n:1.0
  dir=$dir/host$n/target$n:0:0/$n:0:0:0
  mkdir -p "$dir/block/${loop#/dev/}"
  printf 'Vend%s  \n' "$name" >"$dir/vendor"; printf 'Model %s\n' "$name" >"$dir/model"; echo 1.00 >"$dir/rev"
  dev=$dir/block/${loop#/dev/}
  echo "$removable" >"$dev/removable"
  echo $((mib << 11)) >"$dev/size"
  cat "/sys/block/${loop#/dev/}/dev" >"$dev/dev"
  ln -s ../.. "$dev/device"
  eval "entry_$name=$dev"
  ln -sfn "../${dev#$sys/}" "$sys/block/${loop#/dev/}"
  eval "node_$name=$loop"
}
stick a 16; stick b 16; stick c 24; stick d 32
stick mounted 16; stick moved 16
mount -t tmpfs -o size=512k tmpfs "$work/full" || fail "tmpfs"
truncate -s 32M "$work/full/disk"
stick full 32 1 usb "$work/full/disk"
stick fixed 16 0; stick sata 16 1 pci; stick empty 16; stick renumbered 16
echo 0 >"$entry_empty/size"        # a card reader without a card
echo 7:1048575 >"$entry_renumbered/dev"  # its /dev node is another device
mkfs.ext2 -q -E lazy_itable_init=0 "$node_mounted" && mount -o ro "$node_mounted" "$work/mnt" || fail "mount"
sha() { sha256sum <"$1" | cut -d' ' -f1; }
before_mounted=$(sha "$node_mounted")
before_moved=$(sha "$node_moved")

# vellix as zolpcli finds it on PATH: keeps each image it builds and, during the
# first build, gives the stick "moved" another serial.
cat >"$work/bin/vellix" <<WRAP
#!/usr/bin/env bash
echo "\$*" >>"$work/builds.txt"
"$vellix" "\$@" || exit
for a; do case \$a in -t*) t=\${a#-t};; -i*) i=\${a#-i};; esac; done
cp "\$i" "$work/built-\$t.img"
echo CHANGED >"$serial_moved"
WRAP
chmod +x "$work/bin/vellix"
export ZOLP_SYSFS_ROOT=$sys PATH=$work/bin:$PATH
cd "$work/package" || fail "package"

"$zolpcli" list >"$work/list.txt" 2>"$work/list.err"
for s in a b c d moved full; do
  eval "n=\$node_$s"; grep -q "^$n  .*Vend$s Model $s 1.00  serial SER$s\$" "$work/list.txt" ||
    fail "list misses $s ($n): $(cat "$work/list.txt")"
done
for s in mounted fixed sata empty renumbered; do
  eval "n=\$node_$s"; ! grep -q "^$n " "$work/list.txt" || fail "list shows $s ($n)"
done

# A disk named that is no stick: refused, nothing built.
"$zolpcli" usb --yes "$node_fixed" >"$work/fixed.txt" 2>&1
[ $? = 3 ] && grep -q "$node_fixed is never written: not removable" "$work/fixed.txt" &&
  [ ! -e "$work/builds.txt" ] || fail "usb of a fixed disk: $(cat "$work/fixed.txt")"
# No terminal and no --yes: refused, nothing built.
"$zolpcli" usb --all </dev/null >"$work/no-tty.txt" 2>&1
[ $? = 3 ] && grep -q "not a terminal" "$work/no-tty.txt" && [ ! -e "$work/builds.txt" ] ||
  fail "usb without --yes or a terminal: $(cat "$work/no-tty.txt")"
# A terminal: it lists and asks; "n" writes nothing.
echo n | script -qec "$zolpcli usb $node_a" /dev/null >"$work/tty.txt" 2>&1
grep -q "Erase them? \[y/N\]" "$work/tty.txt" && grep -q "nothing was written" "$work/tty.txt" &&
  [ ! -e "$work/builds.txt" ] || fail "usb on a terminal: $(cat "$work/tty.txt")"

from=$(date +%s)
"$zolpcli" usb --all --yes </dev/null >"$work/usb.txt" 2>&1
status=$?
to=$(date +%s)
cat "$work/usb.txt"
[ $status = 1 ] || fail "usb --all with failing sticks ended with $status"
[ "$(wc -l <"$work/builds.txt")" = 3 ] || fail "not one build per size: $(cat "$work/builds.txt")"
row() { eval "n=\$node_$1"; grep "^$n " "$work/usb.txt" | tail -1; }
for s in a b c d; do row "$s" | grep -q "Successfully created the USB flash drive.$" || fail "$s: $(row "$s")"; done
row moved | grep -q "no longer the stick that was listed" || fail "moved: $(row moved)"
row full | grep -q "Copy failed" || fail "full: $(row full)"
! row mounted | grep -q . && grep -q "$node_mounted is never written: in use" "$work/usb.txt" ||
  fail "mounted: $(row mounted)"
[ "$(sha "$node_mounted")" = "$before_mounted" ] || fail "the mounted stick was written"
[ "$(sha "$node_moved")" = "$before_moved" ] || fail "the moved stick was written"
grep -Eq "^$node_a +writing +[1-9]0%" "$work/usb.txt" &&
  grep -Eq "^$node_a +verifying +[1-9]0%" "$work/usb.txt" || fail "no progress lines every 10 %"

: >"$work/made.txt"
for s in a b c d; do
  eval "n=\$node_$s"
  sectors=$(($(blockdev --getsz "$n")))
  size=$(stat -c %s "$work/built-$sectors.img")
  head -c "$size" "$n" >"$work/$s.img"
  tail=$(tail -c 1048576 "$n" | tr -d '\0' | wc -c)
  [ "$tail" = 0 ] || fail "$s: its last MiB is not cleared"
  echo "usb FLASH $work/package $work/$s.img A05 $from $to -t$sectors" >>"$work/made.txt"
done
PATH=${PATH#$work/bin:} bash "$root/tests/zolp/check_media.sh" "$work/made.txt" "$vellix" ||
  fail "the sticks differ from vellix's images"

# On a terminal, "y" writes, and each stick's line is redrawn in place.
echo y | script -qec "$zolpcli usb $node_b" /dev/null >"$work/tty.txt" 2>&1
grep -q $'\e\[1A' "$work/tty.txt" && grep -q "Successfully created the USB flash drive." "$work/tty.txt" ||
  fail "usb on a terminal, answered y: $(cat -v "$work/tty.txt")"
echo "cli_usb: all checks hold"
