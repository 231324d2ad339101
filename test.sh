#!/usr/bin/env bash
# Installs what is missing, builds every variant and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
cd "$root"

# The Windows build is cross-compiled with MinGW-w64 (GoogleTest from its
# source package) and tested under Wine in a Japanese locale.
packages=(cmake g++ make python3 libgtest-dev googletest
          g++-mingw-w64-x86-64-posix wine locales)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi

# Wine takes its ANSI code page (932) and date settings from the locale.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
  echo "generating the ja_JP.UTF-8 locale"
  sed -i 's/^# *\(ja_JP\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen ||
    echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

jobs="$(nproc)"
build() {  # name, cmake options...
  local dir="build/$1"; shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}
check() {  # name
  (cd "build/$1" && ctest --output-on-failure)
}

build posix -DCMAKE_BUILD_TYPE=Release -DKESTRIV_TESTS=ON
check posix

# The first run also creates the Wine prefix in build/win32/wineprefix.
build win32 -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake"
check win32

# The same suites under AddressSanitizer and UndefinedBehaviorSanitizer.
build sanitize -DCMAKE_BUILD_TYPE=Debug -DKESTRIV_SANITIZE=ON -DKESTRIV_TESTS=ON
check sanitize

# Both builds select the same entries on one generated tree.
python3 tests/differential.py build/posix/kestriv build/win32/kestriv.exe

# A short run of every fuzz target (fuzz/run.sh SECONDS runs them longer).
fuzz/run.sh 5
