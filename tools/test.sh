#!/usr/bin/env bash
# Sets up the machine, builds both configurations (headless Linux and 32-bit
# Windows) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
jobs=$(nproc)

cmake -S . -B build/headless -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/headless -j"$jobs"

cmake -S . -B build/windows -G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
    -DCMAKE_BUILD_TYPE=Release
cmake --build build/windows -j"$jobs"

ctest --test-dir build/headless --output-on-failure -j"$jobs"
