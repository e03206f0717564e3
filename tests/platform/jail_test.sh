#!/usr/bin/env bash
# The jail holds: a Windows program in the sandbox cannot create a file anywhere on the host outside
# the build tree, through \\?\unix\ or Z:, and can inside it.
#   jail_test.sh BUILD JAIL_PROBE_EXE
set -euo pipefail
build=$(cd "$1" && pwd) probe=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
tag="brisko-jail-$$"
fail=0

# unix PATH: Wine's spelling of a host path.
unix() { printf '\\\\?\\unix%s' "${1//\//\\}"; }

outside=(/tmp "$root" "$HOME" "$(dirname "$build")")
inside=("$build")
args=()
for dir in "${outside[@]}" "${inside[@]}"; do args+=("$(unix "$dir/$tag")"); done
args+=("Z:\\tmp\\$tag-z" "Y:\\$tag-y")

out=$("$root/scripts/sandbox" exec "$build" "$probe" "${args[@]}")
echo "$out"
for file in "${outside[@]/%//$tag}" "/tmp/$tag-z"; do
  if [ -e "$file" ]; then
    echo "FAIL: the sandbox wrote $file on the host" >&2
    rm -f "$file"
    fail=1
  fi
done
for file in "$build/$tag" "$build/$tag-y"; do
  if [ -e "$file" ]; then rm -f "$file"; else echo "FAIL: the build tree is not writable: $file" >&2; fail=1; fi
done
rm -f "$build/sandbox/tmp/$tag" # the private /tmp is the build tree's
exit "$fail"
