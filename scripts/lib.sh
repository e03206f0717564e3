# Shared by the project's scripts: building a tree and how the sandbox runs its programs.
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

# configure_and_build ARCH [TARGET...]: the build tree build/ARCH with the matching toolchain.
configure_and_build() {
  local arch=$1
  shift
  cmake -S "$root" -B "$root/build/$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" >/dev/null
  local targets=()
  for t in "$@"; do targets+=(--target "$t"); done
  cmake --build "$root/build/$arch" -j"$(nproc)" "${targets[@]}"
}

# Where the sandbox finds qemu's 32-bit user-mode emulator (scripts/setup unpacks it there).
qemu_i386() { echo "$root/build/tools/qemu/usr/bin/qemu-i386"; }

# run_mode ARCH: how the sandbox runs that build's programs. "qemu" for the 32-bit build where this
# kernel runs no 32-bit code (or BRISKO_QEMU=1 asks for it), "native" otherwise.
run_mode() {
  if [ "$1" != i686 ]; then
    echo native
  elif [ "${BRISKO_QEMU:-}" = 1 ] || ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo qemu
  else
    echo native
  fi
}

# phase NAME CMD...: runs CMD and says how long it took, so that CI's margin to its limit is known.
phase() {
  local name=$1 start=$SECONDS rc=0
  shift
  "$@" || rc=$?
  echo "phase: $name took $((SECONDS - start)) s" >&2
  return "$rc"
}

# lock_tree TREE: one run per build tree (build/TREE; scripts/test's x86_64 build goes with i686's):
# holds the tree's lock until this script ends, or refuses while another run holds it. On fd 7, which
# the sandbox closes in everything it starts.
lock_tree() {
  mkdir -p "$root/build"
  exec 7>"$root/build/$1.lock"
  flock -n 7 || {
    echo "$(basename "$0"): another run (scripts/test, run, bench or package) is using build/$1; try again once it has ended" >&2
    exit 1
  }
}
