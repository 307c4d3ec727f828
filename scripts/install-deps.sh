#!/usr/bin/env bash
# Installs every Debian package the builds, tests and demo need, and the
# 32-bit Wine loader. Idempotent.
set -euo pipefail
pkgs=(
  cmake make g++ g++-multilib ninja-build
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 mingw-w64-tools
  wine64 libwine-dev
  libomniorb4-dev omniidl omniorb
  libgtest-dev googletest libbenchmark-dev
  nsis zip
  clang libclang-rt-14-dev valgrind qemu-user
  default-jdk-headless
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  # With the i386 architecture added, an i386 index that is mid-sync makes
  # the update fail although every amd64 package can be installed.
  $sudo_cmd apt-get update -qq || true
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
bash "$(dirname "$0")/install-wine32.sh"
