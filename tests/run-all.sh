#!/usr/bin/env bash
# Installs what the tests need if it is missing, builds with g++ and clang
# (warnings are errors) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ clang libgtest-dev libbenchmark-dev pcf2bdf xfonts-base
          xfonts-terminus unifont unifont-bin fontforge python3-fontforge python3-freetype
          libfuzzer-14-dev libclang-rt-14-dev valgrind mandoc)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi

jobs=$(nproc)
build() { # folder, then cmake options
  local dir=$1
  shift
  cmake -S . -B "$dir" -DQUADSMITH_WERROR=ON "$@" > /dev/null
  cmake --build "$dir" -j "$jobs"
}

build build-gcc -DCMAKE_CXX_COMPILER=g++
build build-clang -DCMAKE_CXX_COMPILER=clang++
(cd build-clang && ctest --output-on-failure -j "$jobs" -LE real)
(cd build-gcc && ctest --output-on-failure -j "$jobs")
