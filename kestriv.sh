#!/usr/bin/env bash
# Builds kestriv when needed and runs it with the given arguments.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
build="$root/build/release"
missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v g++ >/dev/null || missing+=(g++)
command -v make >/dev/null || missing+=(make)
if [ ${#missing[@]} -gt 0 ]; then
  echo "kestriv.sh: installing ${missing[*]}" >&2
  apt-get update -qq >/dev/null && apt-get install -y -qq "${missing[@]}" >/dev/null
fi
if [ ! -x "$build/kestriv" ] || [ -n "$(find "$root/frontend" "$root/search" "$root/services" "$root/CMakeLists.txt" -newer "$build/kestriv" -print -quit)" ]; then
  # Only this wrapper speaks on standard error, and only when it builds.
  first=""
  [ -x "$build/kestriv" ] || first=", about 20 s the first time"
  echo "kestriv.sh: building kestriv in build/release$first" >&2
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKESTRIV_TESTS=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target kestriv >/dev/null
fi
exec "$build/kestriv" "$@"
