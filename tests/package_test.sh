#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the program with cmake --install and as a Debian package into scratch roots, checks
# what a distribution asks of them (lintian, mandoc, a stripped program), and runs the installed
# binary on the shipped sample. For a package of another CPU, ARCH is its Debian architecture and
# EMULATOR the command that runs its programs here (qemu-user).
#   package_test.sh BUILD_DIR SOURCE_DIR [ARCH EMULATOR...]
set -euo pipefail
build=$1
src=$2
arch=${3:-$(dpkg --print-architecture)}
emulator=("${@:4}")
work=$(mktemp -d "${TMPDIR:-/tmp}/datlift-package-XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() {
  echo "package: $*"
  exit 1
}

cmake --install "$build" --prefix "$work/prefix" >/dev/null
for f in bin/datlift bin/datlift-inspect share/man/man1/datlift.1.gz \
  share/man/man1/datlift-inspect.1.gz share/doc/datlift/copyright share/doc/datlift/changelog.gz; do
  test -s "$work/prefix/$f" || fail "cmake --install did not install $f"
done
# Installed stripped: no symbol table, no debug information, no compiler identification.
for program in datlift datlift-inspect; do
  sections=$(readelf -S -W "$work/prefix/bin/$program")
  for section in .symtab .debug_info .comment; do
    if grep -qF " $section " <<<"$sections"; then fail "installed $program has $section"; fi
  done
done

(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null)
deb=$(ls "$work"/pkg/*.deb)
[ "$(dpkg-deb -f "$deb" Package)" = datlift ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "architecture $(dpkg-deb -f "$deb" Architecture)"
# The C library of its own CPU, whatever else an instrumented build needs.
depends=$(dpkg-deb -f "$deb" Depends)
[[ "$depends" =~ (^|,\ )libc6\ \(\>=\ [0-9.]+\)(,|$) ]] || fail "depends: $depends"
# No error and no warning of lintian in its pedantic mode (information is allowed).
tags=$(lintian --pedantic "$deb" 2>/dev/null | grep -E '^[EW]: ' || true)
[ -z "$tags" ] || fail "lintian: $tags"
lint=$(mandoc -T lint "$src/doc/datlift.1" "$src/doc/datlift-inspect.1" || true)
[ -z "$lint" ] || fail "mandoc: $lint"

dpkg-deb -x "$deb" "$work/root"
# The page in the browser, where it has been built, ships beside the programs.
if [ -e "$src/build-web/datlift.html" ]; then
  for root in "$work/prefix/share" "$work/root/usr/share"; do
    cmp -s "$src/build-web/datlift.html" "$root/datlift/datlift.html" || fail "no page in $root"
  done
fi
mkdir "$work/run"
cp "$src/samples/SYSTEM.DAT" "$work/run/"
out=$(cd "$work/run" && ${emulator[@]+"${emulator[@]}"} "$work/root/usr/bin/datlift")
expected='DATLIFT V2.50
System file >> V2.10 << for Motion Control Unit PLX-8 read in!
Conversion from PLX-8 V2.10 --> PLX-8 V2.50
File: -MCFG.DAT- generated!'
[ "$out" = "$expected" ] || fail "unexpected output: $out"
[ "$(stat -c %s "$work/run/SYSTEM.DAT")" = 18620 ] || fail "SYSTEM.DAT size"
[ "$(stat -c %s "$work/run/MCFG.DAT")" = 460 ] || fail "MCFG.DAT size"
# Relative names: qemu-user with -L takes "/" for its prefix, so a walk from "/" would not get here.
(cd "$work/run" && ${emulator[@]+"${emulator[@]}"} "$work/root/usr/bin/datlift-inspect" SYSTEM.DAT MCFG.DAT >/dev/null) ||
  fail "datlift-inspect on the converted files"
echo "package: $(basename "$deb") installed, lintian and mandoc clean, ran on the sample"
