#!/usr/bin/env bash
# Installs what is missing, builds every variant and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
cd "$root"

packages=(cmake g++ make python3 libgtest-dev)
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

jobs="$(nproc)"
build() {  # name, cmake options...
  local dir="build/$1"; shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}
check() {  # name
  (cd "build/$1" && ctest --output-on-failure)
}

build release -DCMAKE_BUILD_TYPE=Release
check release
