#!/usr/bin/env bash
# Installs what building and testing Norvane needs on Debian 12 (as root, or
# through sudo): host and MinGW-w64 compilers (64- and 32-bit Windows), clang
# 14 with libFuzzer for the fuzz targets, CMake, GoogleTest, 64-bit Wine and
# its fonts (Marlett draws the caption buttons), Xvfb and the screenshot tools,
# iproute2 for the life cycle's network namespaces, osslsigncode to sign the
# release (openssl makes the signing test's throw-away certificates).
# Does nothing when everything is there.
set -euo pipefail

packages=(
  cmake make g++ git googletest libgtest-dev clang-format
  clang-14 libclang-rt-14-dev
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools
  wine wine64 fonts-wine xvfb xauth x11-apps imagemagick tinyproxy
  python3 iproute2 osslsigncode openssl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
