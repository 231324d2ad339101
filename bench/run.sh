#!/usr/bin/env bash
# Benchmark: kestriv against find on a generated tree.
#   bench/run.sh [--small] [--pairs N]
# Builds kestriv (Release, build/release), brings it up to date, generates the
# tree when it is missing, then runs bench/pairs.py: a table of medians,
# peak memory and a system-call summary. KESTRIV=<binary> uses another
# binary; KESTRIV_BENCH_DIR=<dir> keeps the tree elsewhere.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"

small=()
pairs=7
while [ $# -gt 0 ]; do
  case "$1" in
    --small) small=(--small) ;;
    --pairs) pairs="${2:?--pairs needs a number}"; shift ;;
    --pairs=*) pairs="${1#--pairs=}" ;;
    -h|--help) sed -n 2,7p "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

# Tools: the build, the tree generator, peak memory and system-call counts.
missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v g++ >/dev/null || missing+=(g++)
command -v make >/dev/null || missing+=(make)
command -v python3 >/dev/null || missing+=(python3)
[ -x /usr/bin/time ] || missing+=(time)
command -v strace >/dev/null || missing+=(strace)
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null && apt-get install -y -qq "${missing[@]}" >/dev/null
fi

binary="${KESTRIV:-}"
if [ -z "$binary" ]; then
  # Brought up to date on every run, so a stale binary is never timed.
  build="$root/build/release"
  binary="$build/kestriv"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKESTRIV_TESTS=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target kestriv >/dev/null
fi

if [ ${#small[@]} -gt 0 ]; then
  dir="${KESTRIV_BENCH_DIR:-/tmp/kestriv-bench-tree-small}"
else
  dir="${KESTRIV_BENCH_DIR:-/tmp/kestriv-bench-tree}"
fi
tree="$(python3 "$here/make_tree.py" "${small[@]}" "$dir")"

echo "kestriv: $binary"
echo "tree:    $tree ($(uname -sr), $(nproc) CPUs)"
echo
exec python3 "$here/pairs.py" --kestriv "$binary" --tree "$tree" --pairs "$pairs"
