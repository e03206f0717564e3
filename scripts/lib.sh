# Shared by the project's scripts: building a tree and choosing the architecture that can run here.
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

# The architecture whose Windows programs Wine can run on this kernel.
test_arch() {
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then echo i686; else echo x86_64; fi
}
