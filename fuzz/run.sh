#!/usr/bin/env bash
# Builds the fuzzer with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# and runs it for a bounded time (seconds, default 60).  A crash input is left
# in build-fuzz/ and the script fails; add it to tests as a regression test.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUADSMITH_FUZZ=ON -DQUADSMITH_TESTS=OFF -DQUADSMITH_WERROR=ON \
  -DQUADSMITH_SANITIZE=address,undefined -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link > /dev/null
cmake --build build-fuzz -j "$(nproc)" --target quadsmith_fuzz
corpus=build-fuzz/corpus
mkdir -p "$corpus"
cd build-fuzz
./fuzz/quadsmith_fuzz -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -dict=../fuzz/bdf.dict -print_final_stats=1 corpus ../fuzz/corpus
