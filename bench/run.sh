#!/usr/bin/env bash
# Benchmark: kestriv against GNU find, bfs and fd on generated trees.
#   bench/run.sh [--small] [--pairs N]
# Builds kestriv (Release, build/release) and the raw getdents64 walk,
# installs bfs and fd where it can, generates the trees when missing, then
# runs bench/pairs.py: one table of time ratios to find and peak memory,
# then a system-call summary. KESTRIV=<binary> uses another binary;
# KESTRIV_BENCH_DIR=<dir> keeps the trees elsewhere.
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
command -v cc >/dev/null || missing+=(gcc)
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  apt-get update -qq >/dev/null && apt-get install -y -qq "${missing[@]}" >/dev/null
fi
# The peers: a run without them (no package source, no root) still times
# kestriv against find.
peers=()
command -v bfs >/dev/null || peers+=(bfs)
command -v fdfind >/dev/null || command -v fd >/dev/null || peers+=(fd-find)
if [ ${#peers[@]} -gt 0 ]; then
  echo "installing: ${peers[*]}"
  { apt-get update -qq && apt-get install -y -qq "${peers[@]}"; } >/dev/null 2>&1 ||
    echo "run.sh: could not install ${peers[*]}; timing without them"
fi

binary="${KESTRIV:-}"
if [ -z "$binary" ]; then
  # Brought up to date on every run, so a stale binary is never timed.
  build="$root/build/release"
  binary="$build/kestriv"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKESTRIV_TESTS=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target kestriv >/dev/null
fi

# The floor: a walk that reads every directory and does nothing else.
floor="$root/build/bench/getdents_walk"
if [ ! -x "$floor" ] || [ "$here/getdents_walk.c" -nt "$floor" ]; then
  mkdir -p "$(dirname "$floor")"
  cc -O2 -pthread -o "$floor" "$here/getdents_walk.c"
fi

if [ ${#small[@]} -gt 0 ]; then
  dir="${KESTRIV_BENCH_DIR:-/tmp/kestriv-bench-tree-small}"
else
  dir="${KESTRIV_BENCH_DIR:-/tmp/kestriv-bench-tree}"
fi
tree="$(python3 "$here/make_tree.py" "${small[@]}" "$dir")"
chain="$(python3 "$here/make_tree.py" "${small[@]}" --kind chain "$dir")"
wide="$(python3 "$here/make_tree.py" "${small[@]}" --kind wide "$dir")"

echo "kestriv: $binary"
echo "trees:   $dir/{tree,chain,wide} ($(uname -sr), $(nproc) CPUs)"
exec python3 "$here/pairs.py" --kestriv "$binary" --tree "$tree" \
  --chain "$chain" --wide "$wide" --floor "$floor" --pairs "$pairs"
