#!/usr/bin/env bash
# Installs what the tests need if it is missing, builds with g++ and clang
# (warnings are errors) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ pkgconf libfontenc-dev clang libgtest-dev libbenchmark-dev pcf2bdf xfonts-base
          xfonts-terminus unifont unifont-bin fontforge python3-fontforge python3-freetype
          libfuzzer-14-dev libclang-rt-14-dev valgrind mandoc strace time
          xfonts-jisx0213 xfonts-intl-chinese xfonts-75dpi xfonts-thai-etl fontconfig python3-fonttools
          fonts-spleen xfonts-mplus xfonts-cronyx-misc bsdextrautils xfonts-100dpi xfonts-wqy
          xfonts-baekmuk xfonts-efont-unicode xfonts-kappa20 xfonts-intl-arabic xfonts-x3270-misc
          xfonts-encodings fonts-terminus-otb xfonts-shinonome xfonts-mona xfonts-ayu
          xfonts-marumoji xfonts-kaname xfonts-a12k12 xfonts-jmk xfonts-terminus-oblique
          xfonts-efont-unicode-ib xfonts-cronyx-cp1251-misc xfonts-cronyx-cp1251-75dpi
          xfonts-cronyx-cp1251-100dpi xfonts-cronyx-koi8u-misc xfonts-cronyx-koi8u-75dpi
          xfonts-cronyx-koi8u-100dpi xfonts-kapl xfonts-biznet-base xfonts-biznet-75dpi
          xfonts-biznet-100dpi xfonts-intl-phonetic xfonts-intl-european xfonts-intl-asian
          xfonts-intl-japanese xfonts-intl-japanese-big xfonts-intl-chinese-big xfonts-thai
          xfonts-thai-manop xfonts-thai-nectec xfonts-thai-poonlap xfonts-thai-vor
          opentype-sanitizer libharfbuzz-bin pango1.0-tools locales libwoff-dev woff2 chromium
          python3-pil python3-brotli)
bash tools/install-packages.sh "${packages[@]}"

jobs=$(nproc)
build() { # folder, then cmake options
  local dir=$1
  shift
  cmake -S . -B "$dir" -DQUADSMITH_WERROR=ON "$@" > /dev/null
  cmake --build "$dir" -j "$jobs"
}

echo "== g++ and clang builds, warnings as errors"
build build-gcc -DCMAKE_CXX_COMPILER=g++
build build-clang -DCMAKE_CXX_COMPILER=clang++
(cd build-clang && ctest --output-on-failure -j "$jobs" -LE real)

echo "== AddressSanitizer and UndefinedBehaviorSanitizer"
build build-asan -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUADSMITH_SANITIZE=address,undefined
(cd build-asan && ctest --output-on-failure -j "$jobs" -LE real)

echo "== end-to-end cases under valgrind"
QUADSMITH_TEST_WRAPPER=valgrind build-gcc/tests/quadsmith_tests \
  --gtest_filter='*command_line*:golden.*:header.names*' --gtest_brief=1

echo "== fuzzing for 60 seconds"
bash fuzz/run.sh 60 > build-fuzz.log 2>&1 || { tail -n 60 build-fuzz.log; exit 1; }
grep -E '^(Done|stat::)' build-fuzz.log

echo "== every test, real fonts included"
(cd build-gcc && ctest --output-on-failure -j "$jobs")
