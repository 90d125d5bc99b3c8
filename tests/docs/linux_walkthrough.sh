#!/usr/bin/env bash
# Runs every command block of docs/linux.md as written, in order, stopping at the first failure,
# as root with a /tmp and HOME of its own; the build's own lines made the build it runs on.
set -euo pipefail
src=$(realpath "$1")
[ "$(realpath "$2")" = "$src/build" ] || { echo "the walkthrough needs the build in $src/build" >&2; exit 77; }
doc=$src/docs/linux.md
built=('bash scripts/install-deps.sh' 'cmake -S . -B build -DCMAKE_BUILD_TYPE=Release' 'cmake --build build -j"$(nproc)"')
for line in "${built[@]}"; do grep -qF "    $line" "$doc" || { echo "docs/linux.md has no line: $line" >&2; exit 1; }; done
script=$(awk '/^    /{ print substr($0, 5) }' "$doc" | grep -vF -e "${built[0]}" -e "${built[1]}" -e "${built[2]}")
work=$(mktemp -d)
truncate -s 64M "$work/stick"
stick=$(losetup -f --show "$work/stick")
before=$(losetup -l -n -O NAME)
cleanup() {
  # Loop devices a failed step left attached to the walkthrough's images, then the stick.
  for dev in $(losetup -l -n -O NAME,BACK-FILE | awk '$2 ~ /^\/tmp\/[a-z]+\.img$/ { print $1 }'); do
    grep -qxF "$dev" <<<"$before" || losetup -d "$dev"
  done
  losetup -d "$stick"
  rm -rf "$work" "${sys:-}"
}
trap cleanup EXIT
# The stand-in stick as the kernel would describe a USB stick, for zolpcli
# (ZOLP_SYSFS_ROOT); the walkthrough answers zolpcli's question with --yes, having
# no terminal to answer it on.
sys=$(mktemp -d -p "$(realpath "$2")" walkthrough-sys.XXXXXX)  # /tmp is the walkthrough's own
dir=$sys/devices/pci0000:00/0000:00:14.0/usb1/1-1
mkdir -p "$dir/1-1:1.0/host0/target0:0:0/0:0:0:0/block/${stick#/dev/}" "$sys/block"
echo WALK1 >"$dir/serial"; echo 0781 >"$dir/idVendor"
dir=$dir/1-1:1.0/host0/target0:0:0/0:0:0:0
echo Walk >"$dir/vendor"; echo Stick >"$dir/model"; echo 1.00 >"$dir/rev"
dev=$dir/block/${stick#/dev/}
echo 1 >"$dev/removable"; echo $((64 << 11)) >"$dev/size"; cat "/sys/block/${stick#/dev/}/dev" >"$dev/dev"
ln -s ../.. "$dev/device"
ln -s "../${dev#$sys/}" "$sys/block/${stick#/dev/}"
export ZOLP_SYSFS_ROOT=$sys
script=${script//zolpcli usb --all/zolpcli usb --all --yes}
cd "$src"
# The walkthrough works in the build's package as a reader does; the package the other tests
# read is kept out of its reach behind a copy (torbel leaves its session log there).
unshare -m bash -c 'mount --make-rprivate / && mount -t tmpfs tmpfs /tmp && mkdir /tmp/home &&
  cp -a build/package /tmp/package && mount --bind /tmp/package build/package &&
  HOME=/tmp/home PATH=/tmp/home/.local/bin:$PATH exec bash -euxo pipefail -c "$0"' "${script//\/dev\/sdX/$stick}"
