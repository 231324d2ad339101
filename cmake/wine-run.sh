#!/usr/bin/env bash
# Runs a program of the Windows build under Wine the way its tests do: in
# the given prefix (made on first use), under a Japanese locale (code page
# 932), without Wine's diagnostics, and with the CR of every CR LF taken
# off standard output, so that CMake can read the unit tests' list. The
# exit code is the program's.
#
#   cmake/wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
set -uo pipefail
export WINEPREFIX="$1" WINEDEBUG=-all LC_ALL=ja_JP.UTF-8
shift

if ! test -f "$WINEPREFIX/system.reg"; then
  { wineboot -i && wineserver -w; } </dev/null >/dev/null 2>&1 || exit 1
fi
# A session that outlives this run by 30 seconds, started detached from
# every pipe: Wine's own processes would otherwise inherit this run's
# standard error and hold it open until the session ends. The server
# refuses to start (exit code 2) while one runs; that one serves as well.
if wineserver -p30 </dev/null >/dev/null 2>&1; then
  wine cmd /c exit </dev/null >/dev/null 2>&1
fi
wine "$@" | tr -d '\r'
