#!/usr/bin/env bash
# Installs everything that building and testing Lurvix needs on Debian 12:
# compilers, CMake, GoogleTest, the MinGW-w64 i686 toolchain and ffmpeg.
# Installs only what is missing, asks nothing, and is safe to run again.
set -euo pipefail

packages=(
    g++ make cmake libgtest-dev
    g++-mingw-w64-i686 binutils-mingw-w64-i686
    ffmpeg
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} == 0)); then
    echo "setup: everything is installed"
    exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi
echo "setup: installing ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
