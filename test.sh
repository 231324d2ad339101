#!/usr/bin/env bash
# Installs what is missing, builds and runs the tests.
#
#   ./test.sh              every stage, in this order (what .ci/run runs)
#   ./test.sh STAGE...     only the named stages:
#     posix         native build, unit and end-to-end tests (build/posix),
#                   the end-to-end tests once more with --threads 1
#     win32         MinGW-w64 build, the same tests under Wine (build/win32)
#     sanitize      native build under ASan and UBSan, its tests
#     tsan          native build under ThreadSanitizer, its tests, and the
#                   proof that its workers started
#     differential  both builds select the same entries: fixed queries and
#                   80 seeded random cases (needs posix, win32);
#                   tests/differential_long.sh runs 2,000
#     fuzz          a short run of every libFuzzer target
#     package       release builds (the components' checks left out),
#                   installed into a scratch prefix, .deb, .tar.gz and .zip
# A single test: (cd build/posix && ctest -R NAME), or
# tests/run_end_to_end.py --binary build/posix/kestriv -k NAME.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
cd "$root"

all_stages=(posix win32 sanitize tsan differential fuzz package)
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=("${all_stages[@]}")
for stage in "${stages[@]}"; do
  [[ " ${all_stages[*]} " == *" $stage "* ]] ||
    { echo "unknown stage: $stage (stages: ${all_stages[*]})" >&2; exit 2; }
done
wants() { [[ " ${stages[*]} " == *" $1 "* ]]; }

# Debian packages per stage. The Windows build is cross-compiled with
# MinGW-w64 (GoogleTest from its source package) and tested under Wine in a
# Japanese locale; packaging reads the .deb with dpkg-deb, checks it with
# lintian and runs the completions in bash, zsh and fish.
packages=(cmake g++ make python3 libgtest-dev locales)
if wants win32 || wants differential || wants package; then
  packages+=(googletest g++-mingw-w64-x86-64-posix wine)
fi
wants package && packages+=(dpkg-dev binutils-mingw-w64-x86-64 lintian zsh fish)
missing=()
for p in "${packages[@]}"; do
  status="$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)"
  [[ "$status" == *"ok installed"* ]] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi

# Wine takes its ANSI code page (932) and date settings from ja_JP.UTF-8;
# the end-to-end tests check the POSIX build's Shift_JIS messages under
# ja_JP.SJIS.
has_locale() { grep -qix "$1" <<<"$(locale -a 2>/dev/null)"; }
if ! has_locale 'ja_JP\.utf-\?8'; then
  echo "generating the ja_JP.UTF-8 locale"
  sed -i 's/^# *\(ja_JP\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen ||
    echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
if ! has_locale 'ja_JP\.sjis'; then
  echo "generating the ja_JP.SJIS locale"
  # localedef warns (exit code 1) that Shift_JIS is not ASCII-compatible,
  # and still writes the locale.
  localedef -f SHIFT_JIS -i ja_JP ja_JP.SJIS 2>/dev/null || has_locale 'ja_JP\.sjis'
fi

jobs="$(nproc)"
build() {  # name, cmake options...
  local dir="build/$1"; shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}
check() {  # name
  (cd "build/$1" && ctest -j"$jobs" --output-on-failure)
}

if wants posix; then
  build posix -DCMAKE_BUILD_TYPE=Release -DKESTRIV_TESTS=ON
  check posix
  # The end-to-end tests once more with the walk's thread alone.
  (cd build/posix && KESTRIV_TEST_THREADS=1 ctest -j"$jobs" -R '^e2e\.' \
    --output-on-failure)
fi

if wants win32; then
  # The first run also creates the Wine prefix in build/win32/wineprefix.
  build win32 -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake"
  check win32
  # And with the walk's thread alone.
  (cd build/win32 && KESTRIV_TEST_THREADS=1 ctest -j"$jobs" -R '^e2e\.' \
    --output-on-failure)
fi

if wants sanitize; then
  build sanitize -DCMAKE_BUILD_TYPE=Debug -DKESTRIV_SANITIZE=ON \
    -DKESTRIV_TESTS=ON
  check sanitize
fi

if wants tsan; then
  # Races are reported as errors; the tests fail on any report.
  build tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRIV_TSAN=ON \
    -DKESTRIV_TESTS=ON
  (export TSAN_OPTIONS="halt_on_error=1 exitcode=66"; check tsan)
  # A stage that ran no worker would prove nothing: the walker's rows with
  # workers record how many started, and none at all fails the stage.
  report="build/tsan/walker_workers.xml"
  (export TSAN_OPTIONS="halt_on_error=1 exitcode=66"
   build/tsan/kestriv_unit_tests --gtest_filter='WalkerTest.*' \
     --gtest_output="xml:$report" >/dev/null)
  started="$(grep -o 'name="workers_started" value="[0-9]*"' "$report" |
             grep -o '[0-9][0-9]*' | awk '{ sum += $1 } END { print sum + 0 }')"
  echo "tsan: workers started in the walker's tests: $started"
  [ "$started" -gt 0 ] || { echo "tsan: no worker started" >&2; exit 1; }
fi

if wants differential; then
  # Seed 1: two random trees, 40 command lines on each.
  python3 tests/differential.py --seed 1 --trees 2 --commands 40 \
    build/posix/kestriv build/win32/kestriv.exe
fi

if wants fuzz; then
  # fuzz/run.sh SECONDS runs them longer.
  fuzz/run.sh 5
fi

if wants package; then
  # cmake --install under a scratch prefix, the .deb and the tarball, the
  # zip; lintian on the .deb (errors, warnings and hardening tags fail);
  # tests/package_check.py checks the files in each, the version, the
  # completions in their shells and the exe's version resource.
  # What ships is built without tests, and so without the components'
  # checks of their own rules.
  release_build() {  # name, cmake options...
    local dir="build/$1"; shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DKESTRIV_TESTS=OFF \
      "$@" >/dev/null
    cmake --build "$dir" -j"$jobs" >/dev/null
  }
  release_build release
  release_build win32-release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake"
  prefix="build/install-check"
  rm -rf "$prefix"
  cmake --install build/release --prefix "$prefix" >/dev/null
  rm -f build/release/kestriv[-_]*.deb build/release/kestriv-*.tar.gz \
    build/win32-release/kestriv-*-win64.zip
  (cd build/release && cpack -G "DEB;TGZ" >/dev/null)
  (cd build/win32-release && cpack -G ZIP >/dev/null)
  deb="$(ls build/release/kestriv_*.deb)"
  dpkg-deb -I "$deb"
  tags="$(lintian --allow-root --display-info --fail-on error,warning "$deb")" ||
    { echo "$tags"; echo "lintian: errors or warnings" >&2; exit 1; }
  echo "lintian: ${tags:-no tags}"
  ! grep -q hardening <<<"$tags" || { echo "lintian: hardening" >&2; exit 1; }
  python3 tests/package_check.py build/release build/win32-release "$prefix"
fi
