#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs every test:
# the Linux build, the same tests under AddressSanitizer + UndefinedBehaviorSanitizer,
# the Windows programs under wine, and the release (install, archive, reproducibility).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --windows
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug -DDIAG_SANITIZE=ON >/dev/null
cmake --build build-san -j"$jobs"
ctest --test-dir build-san --output-on-failure -j"$jobs" -LE 'qemu|bochs|uefi|wine'

# The fuzz targets: every seed and past crash replayed, then each target run for 30 s.
bash scripts/fuzz.sh 30

# The Windows programs under wine, then ZOLP's dialogs under wine and Xvfb: the shipped
# i686 build, or the x86_64 test build where the host runs no 32-bit code.
. cmake/wine-env.sh
diag_pick_win_arch
echo "test.sh: Windows tests on the $DIAG_WIN_ARCH build: $DIAG_WIN_ARCH_REASON"
bash scripts/test-windows.sh
bash scripts/test-zolp.sh

# What a release is made of: install, manual pages, the Windows archive, reproducible builds.
bash scripts/test-release.sh
