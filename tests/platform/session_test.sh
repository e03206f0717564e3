#!/usr/bin/env bash
# A killed user changes nothing for the next: its commands end with it, the Windows programs they
# started too; a session counts only the users alive, stops with the last of them, killed or not, and
# every process of its jail with it; it signals no process it did not start; and the next session
# starts from a prefix no earlier one changed. Tried on a tree of its own over this build's pristine
# prefix, so the run's own session is not disturbed.
#   session_test.sh BUILD
set -euo pipefail
build=$(cd "$1" && pwd)
sandbox=$(cd "$(dirname "$0")/../.." && pwd)/scripts/sandbox
tree="$build/tests/platform/session-tree"
rm -rf "$tree"
mkdir -p "$tree/session"
cp "$build/sandbox.conf" "$tree/"
ln -s "$build/session/base" "$tree/session/base"
cp "$build/session/base.ready" "$tree/session/"
out=$(mktemp -d)
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
within() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}
jail() { sed -n 's/^JAIL_PID=//p' "$tree/session/state" 2>/dev/null; }
up() { [ -s "$out/$1" ]; }
users() { [ "$(find "$tree/session/users" -type f | wc -l)" = "$1" ]; }
# Processes in the jail's mount or process namespace (MATCH: only those whose command line has it).
leftovers() {
  local proc line
  for proc in /proc/[0-9]*; do
    [ "$(readlink "$proc/ns/mnt")" = "$mnt" ] || [ "$(readlink "$proc/ns/pid")" = "$pid" ] || continue
    line=$(tr '\0' ' ' <"$proc/cmdline")
    [[ "$line" != *"${1:-}"* ]] || echo "${proc#/proc/} $line"
  done 2>/dev/null
}
namespaces() { mnt=$(readlink "/proc/$1/ns/mnt") pid=$(readlink "/proc/$1/ns/pid"); }

# Whatever it started goes with it, and nothing it started holds CTest's output.
started=()
trap 'kill -9 "${started[@]}" $(jail) 2>/dev/null; rm -rf "$out"' EXIT

# A stale state names a live process of the host that no session started.
sleep 600 >/dev/null 2>&1 &
bystander=$!
started+=("$bystander")
printf 'JAIL_PID=%s\nJAIL_START=1\nDISPLAY=:99\n' "$bystander" >"$tree/session/state"

# Two users: the first leaves a registry key, files (in the home and in a system folder) and a Windows
# program running; both then wait.
"$sandbox" shell "$tree" sh -c '$WINE reg add "HKCU\\Software\\BriskoLeft" /f && echo left >"$HOME/left" &&
  echo left >"$WINEPREFIX/drive_c/windows/system32/left" &&
  ($WINE notepad >/dev/null 2>&1 &) && echo up && exec sleep 601' >"$out/first" 2>/dev/null &
first=$!
started+=("$first")
within 120 up first || fail "the first user did not start"
jail=$(jail)
namespaces "$jail"
within 60 eval '[ -n "$(leftovers notepad)" ]' || fail "the first user's notepad did not start"
"$sandbox" shell "$tree" sh -c 'echo up && exec sleep 600' >"$out/second" 2>/dev/null &
second=$!
started+=("$second")
within 60 up second || fail "the second user did not start"
[ "$(jail)" = "$jail" ] || fail "the second user did not share the session"
kill -0 "$bystander" || fail "the stale state's process was signalled"

kill -9 "$first"
wait "$first" 2>/dev/null || true
within 30 users 1 || fail "the killed user is still counted"
within 30 eval '[ -z "$(leftovers notepad)$(leftovers "sleep 601")" ]' ||
  fail "the killed user's commands outlived it: $(leftovers notepad)$(leftovers "sleep 601")"
kill -0 "$jail" || fail "the session stopped while a user was alive"
kill -9 "$second"
wait "$second" 2>/dev/null || true
within 60 eval '[ -z "$(leftovers)" ]' || fail "processes of the session outlived its last user: $(leftovers)"
[ ! -e "$tree/session/state" ] || fail "the session's state outlived it"
kill -0 "$bystander" || fail "the stale state's process was signalled"

# A user killed together with what holds its lock is not counted either: the next start finds no
# one alive and starts afresh, without the key and the files.
"$sandbox" shell "$tree" sh -c 'echo left >"$HOME/left" && echo up && exec sleep 600' >"$out/third" 2>/dev/null &
third=$!
started+=("$third")
within 60 up third || fail "the third user did not start"
namespaces "$(jail)"
read -r watcher _ <"$(ls "$tree/session/users/$third".*)"
kill -9 "$third" "$watcher"
wait "$third" 2>/dev/null || true
"$sandbox" shell "$tree" sh -c '$WINE reg query "HKCU\\Software\\Wine" >/dev/null &&
  ! $WINE reg query "HKCU\\Software\\BriskoLeft" >/dev/null 2>&1 && [ ! -e "$HOME/left" ] &&
  [ ! -e "$WINEPREFIX/drive_c/windows/system32/left" ]' ||
  fail "the next session started from what the killed one left"
[ -z "$(leftovers)" ] || fail "processes outlived the session: $(leftovers)"
rm -rf "$tree"
echo "sessions start afresh and end with their last user"
