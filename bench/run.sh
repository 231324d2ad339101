#!/usr/bin/env bash
# Benchmark: kestriv against GNU find, bfs and fd on generated trees.
#   bench/run.sh [--small] [--pairs N] [--cold-pairs N] [--share-pairs N]
#                [--before BINARY]
# Builds kestriv (Release, build/release) and the raw getdents64 walk,
# installs bfs and fd where it can, generates the trees when missing, then
# runs bench/pairs.py: one table of time ratios to find and peak memory (warm
# cache, N rounds, default 7), a table of /n*.txt warm, cold (caches dropped
# before each run, root only; default 3 rounds) and over sshfs from an sshd
# this script starts on 127.0.0.1 (default 3 rounds), one of /n* /s1 and
# /n* /d-3650 warm and cold beside the raw walk that reads every status, one
# of kestriv over the raw walk, bfs and fd in each of those, then a
# system-call summary. 0 rounds skips the cold or the network-share rows.
# --before BINARY times an earlier kestriv build beside this one in the same
# rounds, as a "kestriv before" column in every table.
# KESTRIV=<binary> uses another binary; KESTRIV_BENCH_DIR=<dir> keeps the
# trees elsewhere.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"

small=()
pairs=7
cold_pairs=3
share_pairs=3
before=""
while [ $# -gt 0 ]; do
  case "$1" in
    --small) small=(--small) ;;
    --pairs) pairs="${2:?--pairs needs a number}"; shift ;;
    --pairs=*) pairs="${1#--pairs=}" ;;
    --cold-pairs) cold_pairs="${2:?--cold-pairs needs a number}"; shift ;;
    --cold-pairs=*) cold_pairs="${1#--cold-pairs=}" ;;
    --share-pairs) share_pairs="${2:?--share-pairs needs a number}"; shift ;;
    --share-pairs=*) share_pairs="${1#--share-pairs=}" ;;
    --before) before="${2:?--before needs a kestriv binary}"; shift ;;
    --before=*) before="${1#--before=}"
      : "${before:?--before needs a kestriv binary}" ;;
    -h|--help) sed -n 2,17p "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done
# Refused before anything is built or installed.
before_args=()
if [ -n "$before" ]; then
  if [ ! -f "$before" ] || [ ! -x "$before" ]; then
    echo "run.sh: --before: $before is not an executable file" >&2; exit 2
  fi
  before_args=(--before "$before")
fi

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
# Installs the packages named, saying so; apt-get's errors stay on stderr.
apt_install() {
  echo "installing: $*"
  apt-get update -qq >/dev/null && apt-get install -y -qq "$@" >/dev/null
}
if [ ${#missing[@]} -gt 0 ]; then
  apt_install "${missing[@]}"
fi
# The peers: a run without them (no package source, no root) still times
# kestriv against find.
peers=()
command -v bfs >/dev/null || peers+=(bfs)
command -v fdfind >/dev/null || command -v fd >/dev/null || peers+=(fd-find)
if [ ${#peers[@]} -gt 0 ]; then
  apt_install "${peers[@]}" 2>/dev/null ||
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

# The floor: a walk that reads every directory and does nothing else (with
# -s: every entry's status too).
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

# The network share: a subtree of the tree mounted read-only with sshfs from
# an sshd of our own on the loopback, every cache of the mount off, so that
# each directory read and each status is a round trip. The sshd has its own
# configuration, host key and client key in a temporary directory and a
# port picked free; the trap unmounts and stops it however the run ends.
share_tmp=""
share_dir=""
sshd_pid=""
# shellcheck disable=SC2317  # called by the trap
stop_share() {
  if [ -n "$share_dir" ] && mountpoint -q "$share_dir" 2>/dev/null; then
    fusermount3 -u "$share_dir" 2>/dev/null || fusermount -u "$share_dir" \
      2>/dev/null || umount -l "$share_dir" 2>/dev/null || true
  fi
  if [ -n "$sshd_pid" ]; then
    kill "$sshd_pid" 2>/dev/null || true
  fi
  if [ -n "$share_tmp" ]; then
    rm -rf "$share_tmp"
  fi
}
trap stop_share EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Mounts the share at $share_dir, or leaves the reason why not in
# $share_skipped and fails.
start_share() {
  local subtree="$1"
  if [ "$share_pairs" -eq 0 ]; then
    share_skipped="--share-pairs 0"; return 1
  fi
  if [ "$(id -u)" -ne 0 ]; then
    share_skipped="not root"; return 1
  fi
  if [ ! -c /dev/fuse ]; then
    share_skipped="no /dev/fuse device"; return 1
  fi
  local sshd
  sshd="$(command -v sshd || echo /usr/sbin/sshd)"
  local need=()
  [ -x "$sshd" ] || need+=(openssh-server)
  { command -v ssh && command -v ssh-keygen; } >/dev/null ||
    need+=(openssh-client)
  command -v sshfs >/dev/null || need+=(sshfs)
  if [ ${#need[@]} -gt 0 ]; then
    if ! apt_install "${need[@]}" 2>/dev/null; then
      share_skipped="could not install ${need[*]}"; return 1
    fi
    sshd="$(command -v sshd || echo /usr/sbin/sshd)"
  fi
  share_tmp="$(mktemp -d /tmp/kestriv-bench-ssh.XXXXXX)"
  local t="$share_tmp" port user
  user="$(id -un)"
  port="$(python3 -c 'import socket; s = socket.socket()
s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
  ssh-keygen -q -t ed25519 -N '' -f "$t/host_key"
  ssh-keygen -q -t ed25519 -N '' -f "$t/client_key"
  cp "$t/client_key.pub" "$t/authorized_keys"
  echo "[127.0.0.1]:$port $(cat "$t/host_key.pub")" >"$t/known_hosts"
  # StrictModes off: the key files sit below /tmp, which anyone may write.
  printf '%s\n' "ListenAddress 127.0.0.1" "Port $port" \
    "HostKey $t/host_key" "PidFile $t/sshd.pid" \
    "AuthorizedKeysFile $t/authorized_keys" \
    "PermitRootLogin prohibit-password" "PubkeyAuthentication yes" \
    "PasswordAuthentication no" "KbdInteractiveAuthentication no" \
    "UsePAM no" "StrictModes no" "AllowUsers $user" \
    "Subsystem sftp internal-sftp" >"$t/sshd_config"
  # sshd refuses to start without its privilege separation directory.
  mkdir -p /run/sshd
  if ! "$sshd" -f "$t/sshd_config" -E "$t/sshd.log"; then
    share_skipped="sshd did not start: $(tail -n 1 "$t/sshd.log")"
    return 1
  fi
  local tries=0
  while [ ! -s "$t/sshd.pid" ] && [ "$tries" -lt 50 ]; do
    sleep 0.1; tries=$((tries + 1))
  done
  sshd_pid="$(cat "$t/sshd.pid" 2>/dev/null || true)"
  local ssh_opts=(-F /dev/null -o IdentityFile="$t/client_key"
    -o IdentitiesOnly=yes -o UserKnownHostsFile="$t/known_hosts"
    -o StrictHostKeyChecking=yes -o BatchMode=yes -o ConnectTimeout=5)
  tries=0
  until ssh "${ssh_opts[@]}" -p "$port" "$user@127.0.0.1" true \
      2>"$t/ssh.err"; do
    tries=$((tries + 1))
    if [ "$tries" -ge 20 ]; then
      share_skipped="no ssh login: $(tail -n 1 "$t/ssh.err")"; return 1
    fi
    sleep 0.2
  done
  share_dir="$t/share"
  mkdir "$share_dir"
  # No cache of sshfs's own (dir_cache=no), none in the kernel: direct_io
  # and no kernel_cache for file data, zero timeouts for names, attributes
  # and absent names.
  if ! sshfs "${ssh_opts[@]}" -p "$port" -o ro \
      -o dir_cache=no,direct_io,attr_timeout=0,entry_timeout=0 \
      -o negative_timeout=0 \
      "$user@127.0.0.1:$subtree" "$share_dir" 2>"$t/sshfs.err"; then
    share_skipped="sshfs failed: $(tail -n 1 "$t/sshfs.err")"
    share_dir=""
    return 1
  fi
}

share_args=()
share_skipped=""
subtree="$(python3 "$here/make_tree.py" "${small[@]}" --share-subtree \
  "$dir" 2>/dev/null)"
if start_share "$subtree"; then
  share_label="network share (sshfs over the loopback, caches off,"
  share_label+=" tree/${subtree##*/})"
  share_args=(--share "$share_dir" --share-pairs "$share_pairs"
    --share-label "$share_label")
else
  echo "run.sh: no network-share row: $share_skipped"
  share_args=(--share-skipped "$share_skipped")
fi

echo "kestriv: $binary"
if [ -n "$before" ]; then
  echo "before:  $before"
fi
echo "trees:   $dir/{tree,chain,wide} ($(uname -sr), $(nproc) CPUs)"
status=0
python3 "$here/pairs.py" --kestriv "$binary" --tree "$tree" \
  --chain "$chain" --wide "$wide" --floor "$floor" --pairs "$pairs" \
  --cold-pairs "$cold_pairs" "${share_args[@]}" "${before_args[@]}" \
  || status=$?
exit "$status"
