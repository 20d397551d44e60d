#!/usr/bin/env bash
# Installs what is missing, builds in build/ and starts Kolvane in DIR
# (default: workspace/ at the repository root, seeded from the bundled samples on first use).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# A wrong DIR is reported before anything is installed or built.
if [ $# -ge 1 ]; then
    [ -d "$1" ] || { echo "No such directory: $1" >&2; exit 1; }
    dir="$(cd "$1" && pwd)"
    if [ ! -d "$dir/Cable" ] && [ ! -d "$dir/xDSL" ] && [ ! -d "$dir/AddNoise" ]; then
        echo "Note: $dir holds none of Cable/, xDSL/, AddNoise/: Kolvane starts there without templates." >&2
    fi
fi

"$root/scripts/deps.sh"

build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --parallel "$(nproc)" --target kolvane kolvane-calc kolvane-help

if [ $# -eq 0 ]; then
    dir="$root/workspace"
    if [ ! -d "$dir" ]; then
        cp -r "$root/samples/workspace" "$dir"
        cp -r "$root/samples/loops" "$dir/Loops"
        echo "Created $dir from the sample workspace."
    fi
    # The ready-made calculations: new ones are added, the user's own and edited ones stay.
    mkdir -p "$dir/setups"
    cp -n "$root/samples/setups/"*.kolvane "$dir/setups/"
fi
# The help file is looked up in the working directory; a rebuilt help replaces an older copy.
if [ -f "$build/help/help.chm" ] && ! cmp -s "$build/help/help.chm" "$dir/help.chm"; then
    cp "$build/help/help.chm" "$dir/help.chm"
fi
cd "$dir"
exec "$build/app/kolvane"
