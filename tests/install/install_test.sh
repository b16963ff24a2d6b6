#!/bin/sh
# make install into a staging folder (DESTDIR) under a prefix of its own: exactly the packer, its
# manual page and its bash completion are installed there with their modes, nothing outside the
# staging folder, and nothing is asked of apt or sudo on the way (a user prefix needs no root).
#   install_test.sh SOURCE_DIR HOST_BUILD
set -u
SOURCE=$1
HOST=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
prefix=/opt/uninstpack-install-test-$$
failures=0
fail() { echo "install test: $*" >&2; failures=$((failures + 1)); }

run_make() { make -s -C "$SOURCE" install DESTDIR="$stage/root" PREFIX="$prefix" HOST_BUILD="$HOST" "$@"; }

# What make would run: no dependency installer, apt or sudo.
planned=$(run_make -n) || fail "make -n install failed"
if printf '%s\n' "$planned" | grep -E -q 'install-deps|apt-get|sudo'; then
  fail "make install would run the dependency installer:"
  printf '%s\n' "$planned" >&2
fi

run_make >"$stage/make.log" 2>&1 || { fail "make install failed:"; cat "$stage/make.log" >&2; }
root=$stage/root$prefix

expected="$root/bin/uninstpack 755
$root/share/bash-completion/completions/uninstpack 644
$root/share/man/man1/uninstpack.1 644"
found=$(find "$stage/root" -type f -exec stat -c '%n %a' {} + | sort)
[ "$found" = "$expected" ] || fail "installed files differ; expected:
$expected
found:
$found"
[ ! -e "$prefix" ] || fail "$prefix was made outside DESTDIR"

# The installed packer runs and prints the full reference.
"$root/bin/uninstpack" --help-all >"$stage/help" 2>&1 || fail "the installed packer does not run"
grep -q '^plan' "$stage/help" || fail "--help-all does not list plan"
cmp -s "$SOURCE/docs/uninstpack.1" "$root/share/man/man1/uninstpack.1" || fail "the manual page is not the source's"

# The manual page renders without a warning of the formatter.
if command -v groff >/dev/null 2>&1; then
  warnings=$(groff -man -Tutf8 -ww -z "$root/share/man/man1/uninstpack.1" 2>&1)
  [ -z "$warnings" ] || fail "groff warns about the manual page: $warnings"
fi
if command -v man >/dev/null 2>&1; then
  MANWIDTH=80 man -l "$root/share/man/man1/uninstpack.1" 2>/dev/null | grep -q 'uninstpack - build, check and inspect' ||
    fail "man -l does not render the manual page"
fi

# The completion completes a command and an option of it.
completed=$(bash -c '. "$1"; COMP_WORDS=(uninstpack pl); COMP_CWORD=1; _uninstpack; echo "${COMPREPLY[*]}";
  COMP_WORDS=(uninstpack plan --j); COMP_CWORD=2; _uninstpack; echo "${COMPREPLY[*]}"' _ \
  "$root/share/bash-completion/completions/uninstpack")
[ "$completed" = "plan
--json" ] || fail "the completion gives \"$completed\""

[ "$failures" -eq 0 ] && echo "install test: make install put 3 files under DESTDIR, as expected"
exit "$failures"
