#!/usr/bin/env bash
# The jail holds against what runs inside it. A Windows program there can start Linux programs, so
# every way out is tried twice: by a Linux shell in the jail (remounting, a host process's root in
# /proc, a new user namespace) and by Wine's cmd through \\?\unix\ and Z:. Neither may write outside
# the sandbox's own folder: not the host, not what the host reads of the session or the build's
# settings, not the CTest files the host's ctest runs. Both can write the sandbox's own folder.
#   jail_test.sh BUILD
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
tag="brisko-jail-$$"
fail=0
# One session for both tries, so that the sandbox's folder they write is the same.
"$root/scripts/sandbox" start "$build"
mkdir -p "$build/sandbox/$tag"

# Files the host reads (each must stay as it was), and new files the jail must not make.
kept=("$build/session/state" "$build/sandbox.conf" "$build/CTestTestfile.cmake"
  "$build/tests/platform/CTestTestfile.cmake")
made=(/tmp "$root" "$HOME" "$(dirname "$build")" "$build" "$build/session")
made=("${made[@]/%//$tag}")
before=$(sha256sum "${kept[@]}")
# A comment is what each try adds (harmless to CTest and the data reads); the files come back if changed.
saved=$(mktemp -d)
trap 'rm -rf "$saved"; "$root/scripts/sandbox" stop "$build"' EXIT
for file in "${kept[@]}"; do cp --parents "$file" "$saved"; done

# The Linux shell: each escape, then a write to every target.
# It tries nothing where it finds itself outside the jail (a broken sandbox): that is a failure too.
"$root/scripts/sandbox" shell "$build" bash -c '
  host=$1 box=$2 session=$3
  shift 3
  if [ "$(readlink /proc/self/ns/mnt)" = "$4" ] || [ "$(readlink /proc/$$/ns/pid)" = "$5" ]; then
    echo "runs outside the jail"
    exit
  fi
  shift 2
  mount -o remount,bind,rw / 2>/dev/null && echo "remounted / writable"
  mount -o remount,bind,rw "$BRISKO_BUILD" 2>/dev/null && echo "remounted the build tree writable"
  mount -t tmpfs none "$BRISKO_BUILD" 2>/dev/null && echo "mounted over the build tree"
  unshare -rm sh -c "mount -o remount,bind,rw / || mount -o remount,bind,rw \"\$1\"" _ "$BRISKO_BUILD" \
    2>/dev/null && echo "remounted from a user namespace of its own"
  [ -e "/proc/$host" ] && echo "sees host process $host"
  [ -n "$(ls -A "$session")" ] && echo "sees what the host keeps of the session"
  for file in "$@"; do
    echo "# escaped" >>"$file"
    for proc in /proc/[0-9]*; do echo "# escaped" >>"$proc/root$file"; done
  done 2>/dev/null
  echo inside >"$box/linux"
' _ "$$" "$build/sandbox/$tag" "$build/session" "$(readlink /proc/self/ns/mnt)" "$(readlink /proc/self/ns/pid)" \
  "${kept[@]}" "${made[@]}" >"$build/sandbox/$tag.out" 2>&1 || true
sed 's/^/FAIL: from a Linux program: /' "$build/sandbox/$tag.out" >&2
[ -s "$build/sandbox/$tag.out" ] && fail=1

# Wine's cmd: every target spelt \\?\unix\<path>, then the host's root as Z: and a host process's
# root through /proc, the build tree as Y:.
unix() { printf '\\\\?\\unix%s' "${1//\//\\}"; }
args=()
for file in "${kept[@]}" "${made[@]}" "/proc/$$/root/tmp/$tag"; do args+=("$(unix "$file")"); done
args+=("Z:\\tmp\\$tag" "Y:\\$tag" "Y:\\sandbox.conf" "Y:\\CTestTestfile.cmake" "Y:\\sandbox\\$tag\\wine")
writes=$(printf 'echo # escaped>> %s & ' "${args[@]}")
"$root/scripts/sandbox" exec "$build" cmd /c "${writes% & }" >/dev/null 2>&1 || true

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
for file in linux wine; do
  [ -e "$build/sandbox/$tag/$file" ] || { echo "FAIL: the sandbox's own folder is not writable ($file)" >&2 && fail=1; }
done
rm -rf "${build:?}/sandbox/$tag" "$build/sandbox/$tag.out"
exit "$fail"
