#!/usr/bin/env bash
# Checks the media the dialog cases made under wine, as listed in made.txt
# (tests/zolp/driver/driver_options.cpp, driver_usb.cpp, driver_cd.cpp): each
# image must equal what the Linux vellix builds from the same package folder and
# section (with the further options the line ends with) at the build time the
# Windows vellix read (one of the seconds the case noted, the only thing the two
# runs do not share), pass fsck.fat -n, and, when it is a boot medium, boot in
# qemu to the banner that names its volume label, once for each kind the line
# names (hd,usb,disk). A CD (kind cd) must also pass isoinfo and xorriso; fsck.fat
# checks the FAT volume its El Torito entry boots. A stick (kind with usb) larger
# than its image holds the image at its start, zeros in its last MiB and no
# other data, and shows no GPT to wipefs, blkid or gdisk.
#   check_media.sh MADE_TXT VELLIX
set -uo pipefail
made=${1:?made.txt}
vellix=${2:?the Linux vellix}
vellix=$(cd "$(dirname "$vellix")" && pwd)/$(basename "$vellix")
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Z:\work\x -> /work/x (wine's drive Z: is the root).
unix_path() { local p=${1#[A-Za-z]:}; printf '%s' "${p//\\//}"; }
le32() { od -An -tu4 -j "$2" -N4 --endian=little "$1" | tr -d ' '; }
u8() { od -An -tu1 -j "$2" -N1 "$1" | tr -d ' '; }

failed=0
checked=0
while read -r kind section package image label from to options; do
  [ -n "${kind:-}" ] || continue
  package=$(unix_path "$package")
  image=$(unix_path "$image")
  what="$section ($(basename "$image"))"
  checked=$((checked + 1))
  if [ ! -f "$image" ]; then
    echo "check_media: $what: no image at $image"; failed=1; continue
  fi

  # The CD's command line also names the ISO volume after the version.
  extra=()
  [ "$section" = CD ] && extra=("-N$label")
  same=""
  for ((t = from - 1; t <= to + 1; t++)); do
    rm -f "$tmp/vellix.img"
    (cd "$package" && env -i BUILDSETTIME="$(printf '%X' "$t")" timeout 120 \
      "$vellix" dd.cfg "$section" "-v$label" "-i$tmp/vellix.img" ${options:-} >/dev/null)
    built=$(stat -c %s "$tmp/vellix.img" 2>/dev/null || echo 0)
    if [[ ",$kind," == *,usb,* ]] && [ "$(stat -c %s "$image")" -gt "$built" ]; then
      cmp -s -n "$built" "$image" "$tmp/vellix.img" && { same=$t; break; }
    elif cmp -s "$image" "$tmp/vellix.img"; then same=$t; break; fi
  done
  size=$(stat -c %s "$image")
  if [ -n "$same" ] && [ "$size" -gt "$built" ]; then
    tail=$(( size - built < 1048576 ? size - built : 1048576 ))
    if ! tail -c "$tail" "$image" | cmp -s - <(head -c "$tail" /dev/zero) ||
       [ "$(du -B1 "$image" | cut -f1)" -gt $(( built + tail + 65536 )) ] ||
       wipefs -n "$image" | grep -q gpt || [ "$(blkid -p -o value -s PTTYPE "$image")" != dos ] ||
       ! gdisk -l "$image" </dev/null | grep -q "GPT: not present"; then
      echo "check_media: $what: past the image the stick holds more than its cleared last MiB, or a GPT"
      failed=1
    fi
  fi
  if [ -z "$same" ]; then
    echo "check_media: $what differs from the Linux vellix's image at every build time from $((from - 1)) to $((to + 1))"
    failed=1
  fi

  volume=$image
  partitioned=$([[ ",$kind," =~ ,(hd|usb), ]] && echo 1)
  iso=""
  if [ "$kind" = cd ]; then
    iso="isoinfo and xorriso read it, "
    if ! timeout 120 isoinfo -d -i "$image" >"$tmp/isoinfo.txt" 2>&1 ||
       ! grep -qF "Volume id: $label" "$tmp/isoinfo.txt"; then
      echo "check_media: $what: isoinfo does not read the volume $label:"; cat "$tmp/isoinfo.txt"; failed=1; iso=""
    fi
    if ! timeout 120 xorriso -indev "$image" -report_el_torito plain >"$tmp/xorriso.txt" 2>&1 ||
       ! grep -Eq 'El Torito boot img : +1 +BIOS +y' "$tmp/xorriso.txt"; then
      echo "check_media: $what: xorriso finds no bootable El Torito image:"; cat "$tmp/xorriso.txt"; failed=1; iso=""
    fi
    # The boot image the catalog (sector 24) names; media type 4 is a hard disk.
    dd if="$image" of="$tmp/boot.img" bs=2048 skip="$(le32 "$image" $((0xC000 + 40)))" status=none
    volume=$tmp/boot.img
    [ "$(u8 "$image" $((0xC000 + 33)))" = 4 ] && partitioned=1
  fi
  if [ -n "$partitioned" ]; then  # the volume behind the first partition entry
    sectors=$(le32 "$volume" 458)
    dd if="$volume" of="$tmp/volume.img" bs=512 skip="$(le32 "$volume" 454)" \
      count="$sectors" status=none
    # An image may end at its last cluster; the drive reads on.
    truncate -s $((sectors * 512)) "$tmp/volume.img"
    volume=$tmp/volume.img
  fi
  if ! timeout 120 fsck.fat -n "$volume" >"$tmp/fsck.txt" 2>&1; then
    echo "check_media: $what: fsck.fat -n finds faults:"; cat "$tmp/fsck.txt"; failed=1
  fi

  booted="not a boot medium"
  if [ "$kind" != - ]; then
    booted="booted in qemu ($kind)"
    for boot in ${kind//,/ }; do
      if ! { bash "$root/scripts/qemu-boot.sh" "$boot" "$image" >"$tmp/boot.txt" 2>&1 &&
             grep -qF "volume label \"$label\"" "$tmp/boot.txt"; }; then
        echo "check_media: $what does not boot ($boot):"; cat "$tmp/boot.txt"; failed=1
        booted="DID NOT BOOT ($boot)"
      fi
    done
  fi
  echo "check_media: $what: ${same:+equal to the Linux vellix image (build time $same), }${iso}fsck.fat clean, $booted"
done <"$made"

[ "$checked" -gt 0 ] || { echo "check_media: $made lists no media"; failed=1; }
exit $failed
