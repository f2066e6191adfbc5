#!/usr/bin/env bash
# Installs the program with cmake --install and as a Debian package into scratch roots, and runs
# the installed binary on the shipped sample.
#   package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
src=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/datlift-package-XXXXXX")
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
test -x "$work/prefix/bin/datlift"
test -s "$work/prefix/share/man/man1/datlift.1"

(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null)
deb=$(ls "$work"/pkg/*.deb)
dpkg-deb -x "$deb" "$work/root"
[ "$(dpkg-deb -f "$deb" Package)" = datlift ]
test -s "$work/root/usr/share/man/man1/datlift.1"

mkdir "$work/run"
cp "$src/samples/SYSTEM.DAT" "$work/run/"
out=$(cd "$work/run" && "$work/root/usr/bin/datlift")
expected='DATLIFT V2.50
System file >> V2.10 << for Motion Control Unit PLX-8 read in!
Conversion from PLX-8 V2.10 --> PLX-8 V2.50
File: -MCFG.DAT- generated!'
if [ "$out" != "$expected" ]; then
  printf 'unexpected output:\n%s\n' "$out"
  exit 1
fi
[ "$(stat -c %s "$work/run/SYSTEM.DAT")" = 18620 ]
[ "$(stat -c %s "$work/run/MCFG.DAT")" = 460 ]
echo "package: installed from $(basename "$deb") and ran on the sample"
