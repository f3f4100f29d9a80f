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
# Nine Terminus sizes in one font against the nine converted alone, with -s -m.
terminus=$(mktemp -d /tmp/quadsmith-terminus.XXXXXX)
trap 'rm -rf "$unifont" "$sfd" "$otf" "$terminus"' EXIT
sizes=()
for n in 16 12 14 18 20 22 24 28 32; do
  zcat "/usr/share/fonts/X11/misc/ter-u${n}n_unicode.pcf.gz" | pcf2bdf > "$terminus/$n.bdf"
  sizes+=("$terminus/$n.bdf")
done
best() { # the best of five runs of the command, in seconds
  local best=999 t
  for _ in 1 2 3 4 5; do
    local start=$(date +%s.%N)
    "$@" > /dev/null 2>&1
    t=$(echo "$(date +%s.%N) - $start" | bc -l)
    best=$(echo "if ($t < $best) $t else $best" | bc -l)
  done
  echo "$best"
}
together=$(best build-bench/quadsmith -s -m "${sizes[@]}")
alone=$(best sh -c 'for f; do build-bench/quadsmith -s -m "$f"; done' sh "${sizes[@]}")
printf 'nine Terminus sizes with -s -m: %.4f s together, %.4f s alone, %.2f times\n' \
  "$together" "$alone" "$(echo "$together / $alone" | bc -l)"
# Fonts made directly (-T): Unifont and the nine Terminus sizes, the best of
# five runs, peak memory and size, against the -b -m SFD's own time; both
# to standard output, so that -o's sync to the disk is not counted.
font=$(mktemp /tmp/quadsmith-font.XXXXXX)
trap 'rm -rf "$unifont" "$sfd" "$otf" "$terminus" "$font"' EXIT
sfd_time=$(best build-bench/quadsmith -b -m "$unifont")
for format in ttf otf otb "ttf -s" "otf -s"; do
  t=$(best build-bench/quadsmith -T $format "$unifont")
  build-bench/quadsmith -T $format "$unifont" > "$font" 2> /dev/null
  peak=$( { /usr/bin/time -f %M build-bench/quadsmith -T $format -o "$font" "$unifont" 2>&1 >/dev/null; } | tail -n 1)
  printf 'unifont -T %s: %.3f s (%.2f times -b -m), %s KiB peak, %s bytes\n' "$format" "$t" \
    "$(echo "$t / $sfd_time" | bc -l)" "$peak" "$(stat -c %s "$font")"
done
# A web font: -T woff2 against -T otf followed by woff2_compress, the
# pipeline it replaces, each once (Brotli at quality 11 takes seconds).
woff2_otf=${font%/*}/quadsmith-woff2.$$.otf
trap 'rm -rf "$unifont" "$sfd" "$otf" "$terminus" "$font" "$woff2_otf" "${woff2_otf%.otf}.woff2"' EXIT
measure() { # label, then the command: its time, peak memory and the font's size
  local label=$1 start t peak
  shift
  start=$(date +%s.%N)
  peak=$( { /usr/bin/time -f %M "$@" 2>&1 >/dev/null; } | tail -n 1)
  t=$(echo "$(date +%s.%N) - $start" | bc -l)
  printf '%s: %.2f s, %s KiB peak' "$label" "$t" "$peak"
}
measure "unifont -T woff2" build-bench/quadsmith -T woff2 -o "$font" "$unifont"
printf ', %s bytes\n' "$(stat -c %s "$font")"
measure "unifont -T otf, then woff2_compress" sh -c \
  'build-bench/quadsmith -T otf -o "$1" "$2" 2>/dev/null && woff2_compress "$1" >/dev/null 2>&1' \
  sh "$woff2_otf" "$unifont"
printf ', %s bytes\n' "$(stat -c %s "${woff2_otf%.otf}.woff2")"
for format in otb "ttf -s" "otf -s"; do
  t=$(best build-bench/quadsmith -T $format -o "$font" "${sizes[@]}")
  printf 'nine Terminus sizes -T %s: %.3f s, %s bytes\n' "$format" "$t" "$(stat -c %s "$font")"
done
# A packager's collection made OTB, against fonttosfnt.
/usr/bin/python3 bench/collection.py build-bench/quadsmith
build-bench/bench/quadsmith_row_bench --benchmark_min_time=0.5 --benchmark_color=false
