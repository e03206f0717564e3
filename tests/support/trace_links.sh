#!/usr/bin/env bash
# Makes the trace kit's link canaries: a link to a folder outside every target, inside each target
# folder. Wine cannot make links, so the host does, in the sandbox of build tree BUILD.
#   trace_links.sh BUILD TRACE_KIT_EXE
set -euo pipefail
build=${1:?build tree}
kit=${2:?trace_kit.exe}
root=$(cd "$(dirname "$0")/../.." && pwd)
# The links are made inside the jail too, so a wrong path from the kit cannot land on the host.
[ -n "${BRISKO_JAILED:-}" ] || exec "$root/scripts/sandbox" shell "$build" "$0" "$@"
"$root/scripts/sandbox" exec "$build" "$kit" links | while IFS=$'\t' read -r link target; do
  [ -n "$link" ] && [ -n "$target" ] || continue
  [ -L "$link" ] || [ -e "$link" ] || ln -s "$target" "$link"
done
