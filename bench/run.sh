#!/usr/bin/env bash
# Builds the benchmarks and runs them: Unifont and synthetic fonts end to end
# against the plain printf-per-pixel build, then the row writer micro-benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUADSMITH_BENCH=ON -DQUADSMITH_TESTS=OFF > /dev/null
cmake --build build-bench -j "$(nproc)" > /dev/null
unifont=$(mktemp /tmp/quadsmith-unifont.XXXXXX)
trap 'rm -f "$unifont"' EXIT
hex2bdf < /usr/share/unifont/unifont.hex > "$unifont"
build-bench/bench/quadsmith_e2e build-bench/quadsmith build-bench/bench/quadsmith_plain "$unifont"
# Unifont from BDF to OpenType end to end, as a packager makes it.
sfd=$(mktemp /tmp/quadsmith-unifont.XXXXXX.sfd)
otf=${sfd%.sfd}.otf
trap 'rm -f "$unifont" "$sfd" "$otf"' EXIT
/usr/bin/time -f "unifont BDF to OTF (quadsmith -b -m, FontForge): %e s, %M KiB peak" \
  sh -c 'build-bench/quadsmith -b -m -o "$1" "$2" 2>/dev/null &&
         fontforge -lang=ff -c "Open(\$1); Generate(\$2)" "$1" "$3" 2>/dev/null' sh \
  "$sfd" "$unifont" "$otf"
build-bench/bench/quadsmith_row_bench --benchmark_min_time=0.5 --benchmark_color=false
