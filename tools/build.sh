#!/usr/bin/env bash
# Installs the build packages that are missing (as root) and builds the tool
# in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-packages.sh cmake make g++ pkgconf libfontenc-dev libwoff-dev
cmake -S . -B build > /dev/null
cmake --build build -j "$(nproc)" --target quadsmith
