#!/usr/bin/env bash
# Installs what it needs, builds the tools and runs the main job on the sample package:
# vellix builds every medium of the sample (diskette, hard disk, USB flash, CD, diskette
# set), shows what is in each, and each medium is booted in qemu to show what it printed:
# under SeaBIOS and, the USB drive and the CDs, under UEFI firmware (OVMF) too.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
bash scripts/demo-media.sh build
bash scripts/boot-demo.sh --uefi build
