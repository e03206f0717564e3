#!/usr/bin/env bash
# The jail holds against what runs inside it. A Windows program there can start Linux programs, so
# every way out is tried twice: by a Linux shell in the jail (remounting, a host process's root in
# /proc, a new user namespace) and by Wine's cmd through \\?\unix\ and Z:. Neither may write outside
# the sandbox's own folder: not the host, not what the host reads of the session or the build's
# settings, not the CTest files the host's ctest runs. Both can write the sandbox's own folder, Wine
# through \\?\unix\ too. A program inside reaches no listener of the host, no variable of the caller
# outside the jail's list, and cannot push keys into the caller's terminal; each of those is first
# shown to work from outside. The host reads the jail's answers from its own folder, never the box's.
#   jail_test.sh BUILD
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
sandbox="$root/scripts/sandbox"
probe="$root/tests/platform/jail_probe.py"
tag="brisko-jail-$$"
fail=0
# One session for all tries, so that the sandbox's folder they write is the same.
"$sandbox" start "$build"
"$sandbox" shell "$build" sh -c 'mkdir "$BRISKO_BUILD/sandbox/$1"' _ "$tag"

# Files the host reads (each must stay as it was), and new files the jail must not make.
kept=("$build/session/state" "$build/sandbox.conf" "$build/CTestTestfile.cmake"
  "$build/tests/platform/CTestTestfile.cmake")
made=(/tmp "$root" "$HOME" "$(dirname "$build")" "$build" "$build/session")
made=("${made[@]/%//$tag}")
before=$(sha256sum "${kept[@]}")
# A comment is what each try adds (harmless to CTest and the data reads); the files come back if changed.
saved=$(mktemp -d)
out=$(mktemp -d)
listener=
trap 'kill $listener 2>/dev/null; rm -rf "$saved" "$out"; "$sandbox" stop "$build"' EXIT
for file in "${kept[@]}"; do cp --parents "$file" "$saved"; done

# The Linux shell: each escape, then a write to every target.
# It tries nothing where it finds itself outside the jail (a broken sandbox): that is a failure too.
"$sandbox" shell "$build" bash -c '
  host=$1 box=$BRISKO_BUILD/sandbox/$2 session=$3 checkout=$4
  shift 4
  if [ "$(readlink /proc/self/ns/mnt)" = "$1" ] || [ "$(readlink /proc/$$/ns/pid)" = "$2" ]; then
    echo "runs outside the jail"
    exit
  fi
  shift 2
  mount -o remount,bind,rw / 2>/dev/null && echo "remounted / writable"
  for path in /usr "$checkout" "$BRISKO_BUILD"; do
    [[ ",$(findmnt -nT "$path" -o OPTIONS)," != *,rw,* ]] || echo "$path is mounted writable"
  done
  mount -o remount,bind,rw "$BRISKO_BUILD" 2>/dev/null && echo "remounted the build tree writable"
  mount -t tmpfs none "$BRISKO_BUILD" 2>/dev/null && echo "mounted over the build tree"
  unshare -rm sh -c "mount -o remount,bind,rw / || mount -o remount,bind,rw \"\$1\"" _ "$BRISKO_BUILD" \
    2>/dev/null && echo "remounted from a user namespace of its own"
  [ -e "/proc/$host" ] && echo "sees host process $host"
  [ -n "$(ls -A "$session")" ] && echo "sees what the host keeps of the session"
  for path in /etc/shadow /run /var; do [ -n "$(ls -A "$path" 2>/dev/null)" ] && echo "sees the host'"'"'s $path"; done
  for file in "$@"; do
    echo "# escaped" >>"$file"
    for proc in /proc/[0-9]*; do echo "# escaped" >>"$proc/root$file"; done
  done 2>/dev/null
  echo inside >"$box/linux"
'  _ "$$" "$tag" "$build/session" "$root" "$(readlink /proc/self/ns/mnt)" "$(readlink /proc/self/ns/pid)" \
  "${kept[@]}" "${made[@]}" >"$out/linux" 2>&1 || true

# The host's listeners (loopback and abstract unix), the caller's variables, the caller's terminal.
python3 "$probe" listen "$out/listener" &
listener=$!
end=$((SECONDS + 10))
while [ ! -s "$out/listener" ] && [ "$SECONDS" -lt "$end" ]; do sleep 0.1; done
read -r port name <"$out/listener"
reached=$(python3 "$probe" reach "$port" "$name")
[ "$(grep -c '^reached' <<<"$reached")" = 2 ] || echo "the host's own client did not reach its listeners" >>"$out/linux"
SSH_AUTH_SOCK=$out/agent DBUS_SESSION_BUS_ADDRESS=unix:path=$out/bus "$sandbox" shell "$build" \
  python3 "$probe" reach "$port" "$name" >>"$out/linux" 2>&1 || true
# As root, the jail's user is not the host's root (where its own id can read the checkout).
jail=$(sed -n 's/^JAIL_PID=//p' "$build/session/state")
[ "$(id -u)" != 0 ] || [ "$(stat -c %u "/proc/$jail")" != 0 ] ||
  ! setpriv --reuid=65533 --regid=65533 --clear-groups -- test -r "$sandbox" -a -x "$build" ||
  echo "runs as the host's root" >>"$out/linux"
# The host's shared memory.
shm=$(ipcmk -M 4096 | grep -o '[0-9]*$')
ipcs -m | grep -qw "$shm" || echo "the host does not see its own shared memory" >>"$out/linux"
"$sandbox" shell "$build" ipcs -m | grep -qw "$shm" && echo "sees the host's shared memory" >>"$out/linux"
ipcrm -m "$shm"
# TIOCSTI from a pseudo-terminal, first by a process without privileges outside the jail.
drop=()
[ "$(id -u)" != 0 ] || drop=(setpriv --bounding-set=-all --inh-caps=-all --)
# (The terminal echoes the key pushed.)
if ! script -qc "$(printf '%q ' "${drop[@]}" python3 "$probe" push)" /dev/null </dev/null | grep -q pushed; then
  echo "skipped: TIOCSTI, which this kernel refuses to a program without privileges"
else
  script -qc "$(printf '%q ' "$sandbox" shell "$build" python3 "$probe" push)" /dev/null </dev/null |
    grep -o pushed | sed 's/^/keys /' >>"$out/linux" || true
fi
sed 's/^/FAIL: from a Linux program: /' "$out/linux" >&2
[ -s "$out/linux" ] && fail=1

# Wine's cmd: every target spelt \\?\unix\<path>, then the host's root as Z: and a host process's
# root through /proc, the build tree as Y:.
unix() { printf '\\\\?\\unix%s' "${1//\//\\}"; }
args=()
for file in "${kept[@]}" "${made[@]}" "/proc/$$/root/tmp/$tag"; do args+=("$(unix "$file")"); done
args+=("Z:\\tmp\\$tag" "Y:\\$tag" "Y:\\sandbox.conf" "Y:\\CTestTestfile.cmake" "Y:\\sandbox\\$tag\\wine"
  "$(unix "$build")\\sandbox\\$tag\\unix")
writes=$(printf 'echo # escaped>> %s & ' "${args[@]}")
"$sandbox" exec "$build" cmd /c "${writes% & }" >/dev/null 2>&1 || true

for file in "${made[@]}"; do
  if [ -e "$file" ]; then
    echo "FAIL: the jail made $file" >&2
    rm -f "$file"
    fail=1
  fi
done
after=$(sha256sum "${kept[@]}")
[ "$before" = "$after" ] || { echo "FAIL: the jail changed what the host reads:" && diff <(echo "$before") <(echo "$after"); } >&2
if [ "$before" != "$after" ]; then
  for file in "${kept[@]}"; do cp "$saved$file" "$file"; done
  fail=1
fi
# What the jail wrote is read, and removed, through the jail.
"$sandbox" shell "$build" sh -c 'cd "$BRISKO_BUILD/sandbox/$1" && ls && cd .. && rm -rf "$1"' _ "$tag" >"$out/written"
for file in linux wine unix; do
  grep -qx "$file" "$out/written" || { echo "FAIL: the sandbox's own folder is not writable ($file)" >&2 && fail=1; }
done
exit "$fail"
