# Sourced by the boot scripts (qemu-boot.sh, bochs-boot.sh): what an emulator
# needs to know of a hard-disk image before it can boot it.

u8()   { od -An -tu1 -j "$2" -N1 "$1" | tr -d ' '; }
u16()  { od -An -tu2 -j "$2" -N2 --endian=little "$1" | tr -d ' '; }
u32()  { od -An -tu4 -j "$2" -N4 --endian=little "$1" | tr -d ' '; }

# True when the image starts with a volume (a jump and 512-byte sectors) rather
# than a master boot record.
starts_with_volume() {
  [ "$(u16 "$1" 11)" = 512 ] && [[ "$(u8 "$1" 0)" =~ ^(235|233)$ ]]
}

# Prints "cylinders heads sectors" for a hard-disk image: heads and sectors per
# track from the BPB of the volume (behind the first partition entry when there
# is one), after checking that the entry's CHS addresses say the same.
disk_geometry() {
  local img=$1 start=0 heads secs last c h s bytes
  starts_with_volume "$img" || start=$(u32 "$img" 0x1C6)
  heads=$(u16 "$img" $((start * 512 + 26)))
  secs=$(u16 "$img" $((start * 512 + 24)))
  if [ "$heads" -lt 1 ] || [ "$secs" -lt 1 ] || [ "$secs" -gt 63 ]; then
    echo "boot: no usable geometry in $img" >&2
    return 1
  fi
  if [ "$start" != 0 ]; then
    last=$(( start + $(u32 "$img" 0x1CA) - 1 ))
    for addr in "0x1BF $start" "0x1C3 $last"; do
      set -- $addr
      h=$(u8 "$img" $(( $1 )))
      s=$(( $(u8 "$img" $(( $1 + 1 ))) & 63 ))
      c=$(( ($(u8 "$img" $(( $1 + 1 ))) & 0xC0) * 4 + $(u8 "$img" $(( $1 + 2 ))) ))
      # beyond cylinder 1023 the entry keeps the low ten bits of the cylinder
      if [ $(( (c * heads + h) * secs + s - 1 )) != $(( $2 % (1024 * heads * secs) )) ]; then
        echo "boot: partition entry CHS $c/$h/$s is not sector $2 with $heads heads, $secs sectors" >&2
        return 1
      fi
    done
  fi
  bytes=$(stat -c %s "$img")
  echo "$(( (bytes / 512 + heads * secs - 1) / (heads * secs) )) $heads $secs"
}

# The sectors the image's volume or partition table says the drive has (0 when
# the image carries no signature to tell).
disk_sectors() {
  local img=$1 end
  [ "$(u16 "$img" 510)" = 43605 ] || { echo 0; return; }
  if starts_with_volume "$img"; then
    end=$(u16 "$img" 19); [ "$end" = 0 ] && end=$(u32 "$img" 32)
  else
    end=$(( $(u32 "$img" 0x1C6) + $(u32 "$img" 0x1CA) ))
  fi
  echo "$end"
}

# An image built without ZeroData ends at its last cluster, while the drive it is
# written to is as large as its partition table says: prints the path of a
# sparse copy in <dir> of that size, at least <bytes> long, or the image itself
# when it is long enough already.
full_size_image() { # image dir [bytes]
  local img=$1 dir=$2 want=${3:-0} end
  end=$(( $(disk_sectors "$img") * 512 ))
  [ "$end" -gt "$want" ] && want=$end
  if [ "$want" -gt "$(stat -c %s "$img")" ]; then
    cp --sparse=always "$img" "$dir/disk.img"
    truncate -s "$want" "$dir/disk.img"
    echo "$dir/disk.img"
  else
    echo "$img"
  fi
}
