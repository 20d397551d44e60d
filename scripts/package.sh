#!/usr/bin/env bash
# Builds the Debian package in build-pkg/ from a Release tree and lists its files. Only what the
# package holds is built: no tests, no benchmark.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/deps.sh"

build="$root/build-pkg"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DKOLVANE_BUILD_BENCH=OFF
cmake --build "$build" --parallel "$(nproc)"
rm -f "$build"/kolvane_*.deb
(cd "$build" && cpack -G DEB)

deb="$(ls "$build"/kolvane_*.deb)"
dpkg-deb -I "$deb"
dpkg-deb -c "$deb"
echo "Package: $deb"
