#!/usr/bin/env bash
# Installs what is missing, builds in build/ and starts Kolvane in DIR
# (default: workspace/ at the repository root, seeded from the bundled samples on first use).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/deps.sh"

build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOLVANE_BUILD_BENCH=OFF
cmake --build "$build" --parallel "$(nproc)" --target kolvane kolvane-calc kolvane-help

if [ $# -ge 1 ]; then
    dir="$1"
else
    dir="$root/workspace"
    if [ ! -d "$dir" ]; then
        cp -r "$root/samples/workspace" "$dir"
        echo "Created $dir from the sample workspace."
    fi
fi
[ -d "$dir" ] || { echo "No such directory: $dir" >&2; exit 1; }
# The help file is looked up in the working directory; a rebuilt help replaces an older copy.
if [ -f "$build/help/help.chm" ] && ! cmp -s "$build/help/help.chm" "$dir/help.chm"; then
    cp "$build/help/help.chm" "$dir/help.chm"
fi
cd "$dir"
exec "$build/app/kolvane"
