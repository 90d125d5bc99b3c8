#!/usr/bin/env bash
# Installs what it needs, builds the tools and runs the main job on the sample package.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
if [ -f scripts/demo-media.sh ]; then
  bash scripts/demo-media.sh build
fi
