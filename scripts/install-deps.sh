#!/bin/sh
# Installs what building and testing need on a Debian 12 machine. Safe to run again:
# it only asks apt for what is missing.
set -eu

# locales compiles the Russian and Japanese locales the translated screenshots run Wine in, and
# fonts-ipafont-gothic draws their Japanese glyphs (scripts/screenshots.sh). python3-jsonschema checks
# manifests against docs/manifest.schema.json (scripts/validate-manifest.py and its host test);
# clang-format keeps the C++ sources in the checked-in format (scripts/check-format.sh).
# wine32:i386 runs the shipped 32-bit uninstaller; where the kernel cannot execute 32-bit programs
# itself, qemu-i386 runs them (below). wine64 and the x86-64 cross compiler run the x86-64 build.
PACKAGES="wine wine32:i386 wine64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 cmake make g++ googletest \
  nlohmann-json3-dev libcli11-dev xvfb x11-utils imagemagick fonts-liberation fonts-wine \
  python3 python3-jsonschema clang clang-format libclang-rt-14-dev locales fonts-ipafont-gothic openssl osslsigncode"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=""
for p in $PACKAGES; do
  installed "$p" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  # Packages of an added architecture are unknown to apt until the lists are read again.
  echo "install-deps: installing$missing" >&2
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# --- 32-bit programs on kernels that refuse them -------------------------------------------------
# Some kernels are built without (or run with disabled) IA-32 emulation: every i386 ELF, Wine's
# 32-bit loader among them, fails with "Exec format error". A binfmt_misc handler that hands i386 ELF
# to a static qemu user-mode emulator makes them run. Only qemu 10 or later is usable with Wine
# (bookworm's 7.2 crashes in wineboot), so on bookworm it comes from the backports suite.
LOADER32=/usr/lib/wine/wine
QEMU=/usr/bin/qemu-i386
QEMU_MIN_MAJOR=10
BINFMT=/proc/sys/fs/binfmt_misc
# Magic and mask of an i386 ELF executable or shared object. Flag F: the kernel opens the emulator
# when the handler is registered, so it keeps working in chroots and while the package is replaced.
HANDLER=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F'

say32() { echo "install-deps: $1; the Windows tests run the x86-64 build under wine64 instead" >&2; }

# The version of the emulator that runs i386 programs now: qemu's user-mode emulators print their
# version and stop when QEMU_VERSION is set, so asking the loader tells which handler (if any) ran it.
# Prints "native" when the kernel runs the loader itself, nothing when it does not run at all.
running_emulator() {
  out=$(QEMU_VERSION=1 "$LOADER32" --version 2>/dev/null) || return 0
  case "$out" in
    "qemu-i386 version "*) echo "$out" | sed -n '1s/^qemu-i386 version \([0-9.]*\).*/\1/p' ;;
    *) echo native ;;
  esac
}
installed_emulator() {
  [ -x "$QEMU" ] && "$QEMU" -version 2>/dev/null | sed -n '1s/^qemu-i386 version \([0-9.]*\).*/\1/p'
}
major() { echo "${1%%.*}"; }

# The address of the Debian archive this machine already uses for its release (deb822 .sources
# files or one-line .list files): the backports entry must come from the same place.
archive_entry() {
  codename=$1
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v s="$codename" '$1 == "deb" { i = 2; if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
                                     if ($(i + 1) == s) { print "URIs: " $i; exit } }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v s="$codename" 'function flush() { if (deb && on && suite && uri != "") { print "URIs: " uri; if (key != "") print "Signed-By: " key; found = 1; exit } }
      /^[ \t]*$/ { flush(); deb = 0; on = 1; suite = 0; uri = ""; key = ""; next }
      BEGIN { on = 1 }
      tolower($1) == "types:" { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
      tolower($1) == "enabled:" { on = (tolower($2) != "no") }
      tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == s) suite = 1 }
      tolower($1) == "uris:" { uri = $2 }
      tolower($1) == "signed-by:" { key = $2 }
      END { if (!found) flush() }' "$f"
  done | head -n 2 | awk 'NR == 1 || /^Signed-By/'
}

install_emulator() {
  . /etc/os-release
  suite="$VERSION_CODENAME-backports"
  list=/etc/apt/sources.list.d/$suite.sources
  if [ ! -f "$list" ]; then
    entry=$(archive_entry "$VERSION_CODENAME")
    if [ -z "$entry" ]; then
      say32 "no Debian archive for $VERSION_CODENAME found in the apt sources to take $suite from"
      return 1
    fi
    printf 'Types: deb\n%s\nSuites: %s\nComponents: main\n' "$entry" "$suite" | $SUDO tee "$list" >/dev/null
    $SUDO apt-get update -qq
  elif ! apt-cache policy qemu-user 2>/dev/null | grep -q " $suite/"; then
    $SUDO apt-get update -qq
  fi
  # Only this package from backports (package/suite); its dependencies come from the release.
  echo "install-deps: installing qemu-user from $suite" >&2
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "qemu-user/$suite" >/dev/null
}

enable_32bit() {
  [ -e "$LOADER32" ] || return 0
  running=$(running_emulator)
  [ "$running" = native ] && return 0     # the kernel runs 32-bit programs itself: nothing to do
  want=$(installed_emulator)
  if [ -n "$running" ] && [ "$(major "$running")" -ge "$QEMU_MIN_MAJOR" ] && [ "$running" = "$want" ]; then
    return 0                                # already handled by the current emulator
  fi
  if [ "$(id -u)" -ne 0 ] && ! sudo -n true 2>/dev/null; then
    say32 "this kernel cannot run 32-bit programs and registering an emulator for them needs root"
    return 0
  fi
  if [ ! -e "$BINFMT/register" ]; then
    $SUDO mount -t binfmt_misc binfmt_misc "$BINFMT" 2>/dev/null
    if [ ! -e "$BINFMT/register" ]; then
      say32 "this kernel cannot run 32-bit programs and has no binfmt_misc to hand them to an emulator"
      return 0
    fi
  fi
  if [ -z "$want" ] || [ "$(major "$want")" -lt "$QEMU_MIN_MAJOR" ]; then
    install_emulator || return 0
    want=$(installed_emulator)
    if [ -z "$want" ] || [ "$(major "$want")" -lt "$QEMU_MIN_MAJOR" ]; then
      say32 "qemu-user $QEMU_MIN_MAJOR or later is not available from apt (found ${want:-none})"
      return 0
    fi
  fi
  # Replace a handler of the same name (an older emulator, or one opened before an upgrade).
  if [ -e "$BINFMT/qemu-i386" ]; then echo -1 | $SUDO tee "$BINFMT/qemu-i386" >/dev/null; fi
  printf '%s' "$HANDLER" | $SUDO tee "$BINFMT/register" >/dev/null
  running=$(running_emulator)
  if [ "$running" != "$want" ]; then
    say32 "the i386 handler for qemu $want was registered but Wine's 32-bit loader still does not run through it"
    return 0
  fi
  echo "install-deps: 32-bit programs run through qemu-i386 $want (this kernel cannot run them itself)" >&2
}
enable_32bit || true   # never fails the install: the tests then run the x86-64 build
