#!/usr/bin/env bash
# The manual page lints clean, its synopsis is the usage line, and an
# install puts the tool and the page where they belong.
# Usage: manual_test.sh SOURCE_DIR BUILD_DIR TOOL
set -u
source_dir=$1 build_dir=$2 tool=$3
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Complaints about the system's stale manual database are not about the page.
lint=$(mandoc -Tlint "$source_dir/quadsmith.1" 2>&1 | grep -v 'mandoc\.db')
[ -z "$lint" ] || fail "mandoc -Tlint: $lint"

synopsis=$(MANWIDTH=200 mandoc -Tascii -O width=200 "$source_dir/quadsmith.1" | col -b |
  sed -n '/^SYNOPSIS/{n;p;}' | sed 's/^ *//')
usage=$("$tool" -h | head -n 1)
[ "$synopsis" = "$usage" ] || fail "synopsis '$synopsis' is not the usage line '$usage'"

version=$("$tool" -v)
[ "$version" = "quadsmith 1.2.0" ] || fail "version line is '$version'"

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build_dir" --prefix "$prefix" > /dev/null || fail "cmake --install failed"
[ -x "$prefix/bin/quadsmith" ] || fail "no $prefix/bin/quadsmith"
[ -f "$prefix/share/man/man1/quadsmith.1" ] || fail "no $prefix/share/man/man1/quadsmith.1"
[ "$("$prefix/bin/quadsmith" -v)" = "quadsmith 1.2.0" ] || fail "installed tool does not run"

[ $failed -eq 0 ] && echo "manual page and install: ok"
exit $failed
