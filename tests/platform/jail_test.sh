#!/usr/bin/env bash
# The jail holds: a Windows program in the sandbox cannot create a file anywhere on the host outside
# the build tree, through \\?\unix\ or Z:, and can inside it.
#   jail_test.sh BUILD
set -euo pipefail
build=$(cd "$1" && pwd)
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

# Wine's own cmd writes each file, as any Windows program in the sandbox could.
writes=$(printf 'echo probe> %s & ' "${args[@]}")
"$root/scripts/sandbox" exec "$build" cmd /c "${writes% & }" || true
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
