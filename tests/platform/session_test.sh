#!/usr/bin/env bash
# A killed user changes nothing for the next: a session counts only the users alive, stops with the
# last of them, killed or not, and every process of its jail with it; it signals no process it did
# not start; and the next session starts from a prefix no earlier one changed. Tried on a tree of its
# own over this build's pristine prefix, so the run's own session is not disturbed.
#   session_test.sh BUILD
set -euo pipefail
build=$(cd "$1" && pwd)
sandbox=$(cd "$(dirname "$0")/../.." && pwd)/scripts/sandbox
tree="$build/tests/platform/session-tree"
rm -rf "$tree"
mkdir -p "$tree/session"
cp "$build/sandbox.conf" "$tree/"
ln -s "$build/session/base" "$tree/session/base"
touch "$tree/session/base.ready"
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
up() { [ -e "$tree/sandbox/$1" ]; }
users() { [ "$(find "$tree/session/users" -type f | wc -l)" = "$1" ]; }
leftovers() { pgrep -f -- "$tree" || true; }

# Whatever it started goes with it, and nothing it started holds CTest's output.
started=()
trap 'kill -9 "${started[@]}" $(jail) 2>/dev/null || true' EXIT

# A stale state names a live process of the host that no session started.
sleep 600 >/dev/null 2>&1 &
bystander=$!
started+=("$bystander")
printf 'JAIL_PID=%s\nJAIL_START=1\nDISPLAY=:99\n' "$bystander" >"$tree/session/state"

# Two users: the first leaves a registry key, files (in the home and in a system folder) and a Windows
# program running; both then wait.
"$sandbox" shell "$tree" sh -c '$WINE reg add "HKCU\\Software\\BriskoLeft" /f && echo left >"$HOME/left" &&
  echo left >"$WINEPREFIX/drive_c/windows/system32/left" &&
  ($WINE notepad >/dev/null 2>&1 &) && touch "$BRISKO_BUILD/sandbox/first" && exec sleep 600' >/dev/null 2>&1 &
first=$!
started+=("$first")
within 120 up first || fail "the first user did not start"
jail=$(jail)
"$sandbox" shell "$tree" sh -c 'touch "$BRISKO_BUILD/sandbox/second" && exec sleep 600' >/dev/null 2>&1 &
second=$!
started+=("$second")
within 60 up second || fail "the second user did not start"
[ "$(jail)" = "$jail" ] || fail "the second user did not share the session"
kill -0 "$bystander" || fail "the stale state's process was signalled"

kill -9 "$first"
wait "$first" 2>/dev/null || true
within 30 users 1 || fail "the killed user is still counted"
kill -0 "$jail" || fail "the session stopped while a user was alive"
kill -9 "$second"
wait "$second" 2>/dev/null || true
within 60 eval '[ -z "$(leftovers)" ]' || fail "processes of the session outlived its last user: $(leftovers)"
[ ! -e "$tree/session/state" ] || fail "the session's state outlived it"
kill -0 "$bystander" || fail "the stale state's process was signalled"

# A user killed together with what holds its lock is not counted either: the next start finds no
# one alive and starts afresh, without the key and the files.
"$sandbox" shell "$tree" sh -c 'echo left >"$HOME/left" && touch "$BRISKO_BUILD/sandbox/third" && exec sleep 600' \
  >/dev/null 2>&1 &
third=$!
started+=("$third")
within 60 up third || fail "the third user did not start"
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
