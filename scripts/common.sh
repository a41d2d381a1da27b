# Shared set-up for scripts/run and scripts/test: installs what is missing
# from Debian's packages (as root) and builds.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="$(nproc 2>/dev/null || echo 2)"
# ccache may reuse objects compiled with a precompiled header (CMake passes it
# with -include), and objects of another clone of the repository.
export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:-pch_defines,time_macros}"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$ROOT}"

PACKAGES=(build-essential cmake g++ qt6-base-dev libgtest-dev libgmock-dev googletest
          libbenchmark-dev libcli11-dev nlohmann-json3-dev libgl1-mesa-dev libboost-dev
          libcsv-dev librandom123-dev ninja-build ccache lld)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}" >&2
    if [ "$(id -u)" -ne 0 ]; then
      echo "Missing packages (${missing[*]}); run as root to install them." >&2
      exit 1
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# The comma-decimal locales the locale tests run under, generated when the
# machine lacks them (the tests skip a locale that is missing).
ensure_test_locales() {
  local wanted=(de_DE.UTF-8 fr_FR.UTF-8) missing=()
  for l in "${wanted[@]}"; do
    locale -a 2>/dev/null | grep -qix "${l/UTF-8/utf8}" || missing+=("$l")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Locales ${missing[*]} are missing; run as root to generate them." >&2
    return 0
  fi
  for l in "${missing[@]}"; do
    grep -q "^$l UTF-8" /etc/locale.gen 2>/dev/null || echo "$l UTF-8" >> /etc/locale.gen
  done
  locale-gen >/dev/null
}

# configure DIR [cmake options...]: Ninja, the compiler through ccache (its
# cache in the user's cache folder, so a second build on the machine reuses
# the first's objects) and lld, where the machine has them. A folder made
# with another generator is configured afresh.
configure() {
  local dir="$1"; shift
  local generator=() launcher=()
  command -v ninja >/dev/null && generator=(-G Ninja)
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  if [ -f "$dir/CMakeCache.txt" ] && [ ${#generator[@]} -gt 0 ] \
      && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$dir/CMakeCache.txt"; then
    rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
  fi
  cmake -S "$ROOT" -B "$dir" "${generator[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}

# build DIR [cmake options...]: configure and build everything
build() {
  configure "$@"
  cmake --build "$1" -j "$JOBS"
}

# phase NAME COMMAND...: runs the command and reports its wall time, so a
# slow phase shows in the log.
phase() {
  local name="$1"; shift
  local start=$SECONDS
  "$@"
  echo "== phase $name: $((SECONDS - start)) s" >&2
}
