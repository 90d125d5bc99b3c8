#!/usr/bin/env bash
# Installs everything the build, the demo and the tests need on Debian 12 (run as root).
# The Windows cross compilers and wine are only installed when asked for with --windows:
# both mingw-w64 toolchains (the shipped i686 programs and the x86_64 test build), wine's
# 64-bit loader, and wine32:i386 only where the host runs 32-bit code (cmake/wine-env.sh),
# so that apt never pulls i386 packages that could not run.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
# The sample package's EFI loader is built by the x86_64 mingw-w64 C compiler on every
# host; ovmf is the UEFI firmware its media boot under.
pkgs=(build-essential cmake libgtest-dev libgmock-dev nasm gcc-mingw-w64-x86-64-posix
      dosfstools mtools xorriso genisoimage fdisk gdisk qemu-system-x86 ovmf hyperfine python3 time
      clang libclang-rt-14-dev bochs bochsbios bochs-x vgabios xvfb)
win=0
[ "${1:-}" = "--windows" ] && win=1
if [ $win = 1 ]; then
  pkgs+=(g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
         wine wine64 xvfb xauth xdotool imagemagick)
fi
missing=()
for p in "${pkgs[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ $win = 1 ]; then
  . cmake/wine-env.sh
  if diag_host_runs_ia32 && ! dpkg -s wine32:i386 >/dev/null 2>&1; then
    dpkg --add-architecture i386
    missing+=(wine32:i386)
  fi
fi
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
