#!/bin/sh
# Installs what building and testing need on a Debian 12 machine. Safe to run again:
# it only asks apt for what is missing.
set -eu

# wine32:i386 runs the shipped 32-bit uninstaller where the kernel can execute 32-bit programs;
# wine64 and the x86-64 cross compiler run the tests where it cannot (see README, "Testing").
PACKAGES="wine wine32:i386 wine64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 cmake make g++ googletest \
  nlohmann-json3-dev libcli11-dev xvfb x11-utils imagemagick fonts-liberation fonts-wine \
  python3 clang libclang-rt-14-dev"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
if [ -z "$missing" ]; then
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
# Packages of an added architecture are unknown to apt until the lists are read again.
echo "install-deps: installing$missing" >&2
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
