# Installs the Debian packages the build, the tests and the demo need, only when one is
# missing, so a second run is fast. Needs root (or sudo) when something must be installed.
# shellcheck shell=bash

NOX_PACKAGES=(cmake make g++ pkg-config libwxgtk3.2-dev libssl-dev libgtest-dev libgmock-dev
              iproute2 util-linux procps clang mandoc libexpat1-dev ninja-build)

ensure_packages() {
  local missing=() p
  for p in "${NOX_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# configure_and_build BUILD_DIR [cmake args...]
configure_and_build() {
  local dir="$1"; shift
  cmake -S "$NOX_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}
