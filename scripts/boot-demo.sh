#!/usr/bin/env bash
# Builds every medium of the sample package with vellix and boots each in qemu,
# showing what its boot code printed.
#
#   boot-demo.sh [--out DIR | --tmp] [--bochs] [--uefi | --uefi-only] <build-dir> [medium...]
#
# Media: diskette hdd flash-disk flash-usb cd iso-diskette iso-harddisk disk1
# (all of them when none is named); the tests also boot diskette-720,
# diskette-1200, diskette-2880, iso-1200, iso-2880, flash-2gb-disk, flash-2gb-usb,
# flash-superfloppy. The images are left in <build-dir>/media
# (or DIR; --tmp uses a temporary directory that is removed afterwards).
# VELLIX names the program when it is not <build-dir>/imagebuilder/vellix.
# --bochs boots under Bochs with its own BIOS (scripts/bochs-boot.sh) instead of
# qemu with SeaBIOS; Bochs boots no USB drives.
# --uefi also boots the media UEFI firmware starts (USB drives and CDs; a CD
# through its EFI entry) under OVMF (scripts/uefi-boot.sh), and the matrix
# shows both boots of each; --uefi-only boots those under OVMF alone (the
# default media then: flash-usb cd iso-diskette iso-harddisk).
# Exits 0 when every medium was built and booted to its banner.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
out=""
tmp=0
booter=qemu-boot.sh
uefi=0
while [ $# -gt 0 ]; do
  case $1 in
    --out) out=$2; shift 2 ;;
    --tmp) tmp=1; shift ;;
    --bochs) booter=bochs-boot.sh; shift ;;
    --uefi) uefi=1; shift ;;
    --uefi-only) uefi=1; booter=""; shift ;;
    *) break ;;
  esac
done
build=$(cd "${1:?usage: boot-demo.sh [--out DIR | --tmp] [--bochs] [--uefi | --uefi-only] <build-dir> [medium...]}" && pwd)
shift
package=$build/package
vellix=${VELLIX:-$build/imagebuilder/vellix}
all=(diskette hdd flash-disk flash-usb cd iso-diskette iso-harddisk disk1)
[ -n "$booter" ] || all=(flash-usb cd iso-diskette iso-harddisk)
media=("$@")
[ ${#media[@]} -gt 0 ] || media=("${all[@]}")

if [ ! -x "$vellix" ]; then echo "boot-demo: no vellix at $vellix (build it first)" >&2; exit 1; fi
if [ ! -f "$package/DD.CFG" ] && [ ! -f "$package/dd.cfg" ]; then
  echo "boot-demo: no sample package in $package" >&2; exit 1
fi
if [ $tmp = 1 ]; then
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
fi
out=${out:-$build/media}
mkdir -p "$out"
out=$(cd "$out" && pwd)

# medium -> section, boot kind, image file, volume label, extra options
describe() {
  case $1 in
    diskette)     echo "DISKETTE|floppy|diskette.img|DIAG FLOPPY|" ;;
    hdd)          echo "HDD|hd|hdd.img|DIAG HDD|" ;;
    flash-disk)   echo "FLASH|hd|flash.img|DIAG FLASH|-t131072" ;;
    flash-usb)    echo "FLASH|usb|flash-usb.img|DIAG USB|-t250000" ;;
    cd)           echo "CD|cd|cd.iso|DIAG CD|-NORVO_DIAGS" ;;
    iso-diskette) echo "DISKETTE|cd|diskette.iso|DIAG CDFD|-I" ;;
    iso-harddisk) echo "HDD|cd|harddisk.iso|DIAG CDHD|-I" ;;
    disk1)        echo "Disk1|floppy|disk1.img|DIAG DISK1|" ;;
    # further media the tests boot: the other diskette presets, a 2 GB drive
    diskette-720)  echo "DISKETTE|floppy|fd720.img|DIAG 720K|-T720" ;;
    diskette-1200) echo "DISKETTE|floppy|fd1200.img|DIAG 1200K|-T1200" ;;
    diskette-2880) echo "DISKETTE|floppy|fd2880.img|DIAG 2880K|-T2880" ;;
    iso-1200)      echo "DISKETTE|cd|fd1200.iso|CD 1200K|-T1200 -I" ;;
    iso-2880)      echo "DISKETTE|cd|fd2880.iso|CD 2880K|-T2880 -I" ;;
    flash-2gb-disk) echo "FLASH|hd|flash2g.img|DIAG 2GB|-t4128768" ;;
    flash-2gb-usb)  echo "FLASH|usb|flash2g-usb.img|DIAG 2G USB|-t4128768" ;;
    # a flash drive without MBR: the BPB's drive number is 0, the BIOS's 80h
    flash-superfloppy) echo "FLASH|hd|superfloppy.img|SUPERFLOPPY|-t131072 --MbrFileName=" ;;
    *) return 1 ;;
  esac
}

failed=0
summary=()
for medium in "${media[@]}"; do
  if ! row=$(describe "$medium"); then
    echo "boot-demo: unknown medium $medium" >&2; failed=1; continue
  fi
  IFS='|' read -r section kind file label extra <<<"$row"
  image=$out/$file
  rm -f "$image"
  args=(dd.cfg "$section" "-v$label" "-i$image")
  [ -n "$extra" ] && read -r -a more <<<"$extra" && args+=("${more[@]}")
  shown=""
  for a in "${args[@]}"; do
    if [[ $a == *" "* ]]; then shown+=" ${a:0:2}\"${a:2}\""; else shown+=" $a"; fi
  done
  echo "=== $medium: vellix$shown"
  (cd "$package" && "$vellix" "${args[@]}" >/dev/null)
  code=$?
  if [ $code != 0 ] || [ ! -f "$image" ]; then
    echo "vellix failed with exit code $code"
    summary+=("$(printf '%-17s %-7s %s' "$medium" FAILED "vellix exit code $code")")
    failed=1
    continue
  fi
  # UEFI firmware starts USB drives and CDs (the CD through its EFI entry);
  # the other media are booted by a BIOS only.
  uefi_kind=""
  if [ $uefi = 1 ]; then
    case $kind in usb) uefi_kind=usb ;; cd) uefi_kind=cd-efi ;; esac
    if [ -z "$uefi_kind" ] && [ -z "$booter" ]; then
      echo "boot-demo: UEFI firmware does not start $medium ($kind)"
      summary+=("$(printf '%-17s %-7s %s' "$medium" FAILED "(no UEFI medium)")")
      failed=1
      continue
    fi
  fi
  line=$(printf '%-17s' "$medium")
  for boot in ${booter:+"$booter $kind"} ${uefi_kind:+"uefi-boot.sh $uefi_kind"}; do
    read -r script how <<<"$boot"
    log=$(bash "$here/$script" "$how" "$image")
    booted=$?
    echo "$log"
    seconds=$(sed -n 's/^booted in \(.*\) s$/\1/p' <<<"$log")
    firmware=""
    [ "$script" = uefi-boot.sh ] && firmware="UEFI "
    if [ $booted = 0 ] && grep -qF "volume label \"$label\"" <<<"$log"; then
      line+=$(printf ' %-7s %-22s' booted "$seconds s (${firmware}$how)")
    else
      [ $booted = 0 ] && echo "the banner does not name the volume label \"$label\""
      line+=$(printf ' %-7s %-22s' FAILED "(${firmware}$how)")
      failed=1
    fi
  done
  summary+=("$(sed 's/ *$//' <<<"$line")")
  echo
done

echo "=== boot matrix"
printf '%s\n' "${summary[@]}"
exit $failed
