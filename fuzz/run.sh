#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) in build/fuzz and runs
# each one, one after another, for the given time. The seed corpus is
# copied to a scratch directory under build/fuzz first, so the repository
# is never written; the saved regression inputs are replayed before.
# Prints the executions per target and exits non-zero on any crash.
#
#   fuzz/run.sh [seconds_per_target]     (default 60)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
build="$root/build/fuzz"

# clang and libFuzzer, installed when missing.
missing=()
for p in clang libfuzzer-14-dev cmake make; do
  status="$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)"
  [[ "$status" == *"ok installed"* ]] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi
compiler="$(command -v clang++-14 || command -v clang++)"

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="$compiler" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRIV_FUZZ=ON -DKESTRIV_TESTS=OFF \
  >/dev/null
cmake --build "$build" -j"$(nproc)" --target kestriv_fuzzers

failed=0
for source in "$root"/fuzz/*_fuzzer.cpp; do
  target="$(basename "$source" _fuzzer.cpp)"
  binary="$build/${target}_fuzzer"
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  log="$build/logs/$target.log"
  rm -rf "$corpus"
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  if [ -d "$root/fuzz/corpus/$target" ]; then
    cp -R "$root/fuzz/corpus/$target/." "$corpus/"
  fi

  # Every input that once found a fault must pass now.
  regressions=("$root/fuzz/regressions/$target"/*)
  if [ -e "${regressions[0]}" ]; then
    if ! "$binary" -rss_limit_mb=2048 -timeout=10 "${regressions[@]}" \
         >"$build/logs/$target.regressions.log" 2>&1; then
      echo "$target: a saved regression input fails" \
           "(see $build/logs/$target.regressions.log)"
      failed=1
      continue
    fi
  fi

  options=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10
           -print_final_stats=1 -artifact_prefix="$artifacts/")
  if [ -f "$root/fuzz/$target.dict" ]; then
    options+=(-dict="$root/fuzz/$target.dict")
  fi
  status=0
  "$binary" "${options[@]}" "$corpus" >"$log" 2>&1 || status=$?
  executions="$(awk '/stat::number_of_executed_units/ {n = $2} END {print n}' "$log")"
  if [ "$status" -eq 0 ]; then
    echo "$target: ${executions:-?} executions, no crash"
  else
    echo "$target: CRASH (exit $status) after ${executions:-?} executions;" \
         "input in $artifacts, log $log"
    grep -E 'PROPERTY FAILED|ERROR: (AddressSanitizer|libFuzzer)|runtime error' \
      "$log" | head -5 || true
    failed=1
  fi
done
exit "$failed"
