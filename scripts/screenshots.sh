#!/usr/bin/env bash
# Installs what is missing, builds in build/ and retakes the README's pictures in docs/ from the
# real program (offscreen: no display needed).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/deps.sh"

build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOLVANE_BUILD_BENCH=OFF
cmake --build "$build" --parallel "$(nproc)" --target screenshots
