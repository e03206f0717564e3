#!/usr/bin/env bash
# Makes the trace kit's link canaries: a link to a folder outside every target, inside each target
# folder. Wine cannot make links, so the host does, in the sandbox of build tree BUILD.
#   trace_links.sh BUILD TRACE_KIT_EXE
set -euo pipefail
build=${1:?build tree}
kit=${2:?trace_kit.exe}
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/scripts/sandbox" exec "$build" "$kit" links | while IFS=$'\t' read -r link target; do
  [ -n "$link" ] && [ -n "$target" ] || continue
  [ -L "$link" ] || [ -e "$link" ] || ln -s "$target" "$link"
done
