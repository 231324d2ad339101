#!/usr/bin/env bash
# A longer random differential run than ./test.sh differential makes: 20
# random trees with 100 command lines each (2,000 cases) by default, on the
# builds in build/posix and build/win32 (./test.sh posix win32 makes them).
#
#   tests/differential_long.sh [SEED [TREES [COMMANDS]]]
#
# The seed defaults to the time; it is printed, and with --seed SEED --tree K
# tests/differential.py makes a tree that disagreed, and its command lines,
# again.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seed="${1:-$(date +%s)}"
echo "seed $seed"
exec python3 "$root/tests/differential.py" --random-only --seed "$seed" \
  --trees "${2:-20}" --commands "${3:-100}" \
  "$root/build/posix/kestriv" "$root/build/win32/kestriv.exe"
