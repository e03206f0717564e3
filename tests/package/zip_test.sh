#!/usr/bin/env bash
# The portable ZIP holds exactly Brisko.exe as built, the README and the licence; SHA256SUMS lists
# both packages and matches them.
#   zip_test.sh PACKAGE_DIR PACKAGE_BASE BRISKO_EXE README LICENSE
set -euo pipefail
dir=$1 base=$2 exe=$3 readme=$4 license=$5
zip="$dir/$base.zip"
fail() { echo "FAIL: $*" >&2; exit 1; }

names=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$names" = "Brisko.exe LICENSE.txt README.txt " ] || fail "$zip holds: $names"
unzip -p "$zip" Brisko.exe | cmp - "$exe" || fail "Brisko.exe in the ZIP is not the one built"
unzip -p "$zip" README.txt | cmp - "$readme" || fail "README.txt differs from the README"
unzip -p "$zip" LICENSE.txt | cmp - "$license" || fail "LICENSE.txt differs from the licence"

listed=$(awk '{ print $2 }' "$dir/SHA256SUMS" | sort | tr '\n' ' ')
[ "$listed" = "$base-setup.exe $base.zip " ] || fail "SHA256SUMS lists: $listed"
(cd "$dir" && sha256sum --strict --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
echo "ZIP and SHA256SUMS as expected"
