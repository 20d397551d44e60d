#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need, when missing:
# as root directly, otherwise through sudo. Where neither works it prints the command to run
# as root and fails, so the calling script stops before building.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-translations-l10n qt6-gtk-platformtheme
    libgl-dev libbenchmark-dev
    fonts-dejavu-core
    fp-utils
    poppler-utils desktop-file-utils appstream dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

install_command="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
explain() {
    cat >&2 <<EOF

These Debian packages are missing: ${missing[*]}
Installing them needs root. Run this (it asks for the root password), then start the
same script again:

    su -c '$install_command'

EOF
}

export DEBIAN_FRONTEND=noninteractive
if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
elif command -v sudo >/dev/null 2>&1; then
    echo "Installing through sudo: ${missing[*]}"
    # A user whom sudo refuses gets the su command too.
    if ! sudo apt-get update -qq || ! sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
        explain
        exit 1
    fi
else
    explain
    exit 1
fi
