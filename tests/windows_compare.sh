#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Linux program and the Windows program under wine, run on the same generated inputs with the
# same argument lists: exit codes, written files and standard output must be identical, but for
# the line ends, which are CR LF on Windows.
# datlift-inspect likewise, on each input with a dry run, as JSON.
#   windows_compare.sh LINUX_DATLIFT MKSAMPLE DATLIFT_EXE LINUX_INSPECT INSPECT_EXE
set -euo pipefail
linux=$(realpath "$1")
mksample=$(realpath "$2")
exe=$(realpath "$3")
linux_inspect=$(realpath "$4")
inspect_exe=$(realpath "$5")
work=$(mktemp -d "${TMPDIR:-/tmp}/datlift-compare-XXXXXX")
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
# One prefix and one wine server for all runs: starting them is most of wine's cost.
wineserver -p >/dev/null 2>&1 || true
wineboot -i >/dev/null 2>&1 || true

inputs="$work/inputs"
mkdir -p "$inputs"
make_input() {  # NAME MKSAMPLE-ARGS...
  local name=$1
  shift
  "$mksample" "$inputs/$name" "$@"
}
for v in 1.71 2.00 2.10 2.50; do
  for h in short long; do make_input "v$v-$h" --version "$v" --header "$h" --name 0=OLDNAME; done
done
# Truncated inside each block of a V2.10 file (header, axis records, names, general record,
# tables A and B), and just one byte short.
for size in 0 100 127 1000 5000 12296 13040 15347 17651; do
  make_input "v2.10-cut$size" --version 2.10 --truncate "$size"
done
make_input "v2.50-cut18619" --version 2.50 --header long --truncate 18619
make_input model-lower --version 2.10 --model plx-8
make_input model-unknown --version 2.10 --model PLX-9000
make_input model-4k --version 2.10 --model PLX-4K
make_input model-4200 --version 2.00 --model PLX-4200
make_input v1.71-4k --version 1.71 --model PLX-4K
make_input version-3 --version 2.10 --version-token V3.00
make_input no-ident --version 2.10 --ident "NOTHING HERE"
make_input trailing --version 2.10 --append 5000

arglists=(
  ""
  "/NC"
  "/V2.00"
  "/V2.10"
  "/V2.5"
  "/V3"
  "/v2.10 /plx-8"
  "/PLX-8200"
  "/PLX-4K"
  "/PLX-4300 /V2.10"
  "/AX-AXIS /AY-AXIS /AZ.LONGER_THAN_ELEVEN"
  "/PLX-8 /ANEW"
  "/X"
  "/A"
  "/PLX-8 /PLX-8"
)

cases=0
matched=0
run_one() {  # DIR PROGRAM... ; leaves out, code in DIR/../
  local dir=$1
  shift
  local code=0
  (cd "$dir" && "$@" >"$dir.out" 2>/dev/null) || code=$?
  echo "$code" >"$dir.code"
}
for input in missing "$inputs"/*; do
  for args in "${arglists[@]}"; do
    cases=$((cases + 1))
    a="$work/a$cases" b="$work/b$cases"
    mkdir "$a" "$b"
    if [ "$input" != missing ]; then
      cp "$input" "$a/SYSTEM.DAT"
      cp "$input" "$b/SYSTEM.DAT"
    fi
    printf 'old settings' >"$a/MCFG.DAT"
    printf 'old settings' >"$b/MCFG.DAT"
    # shellcheck disable=SC2086
    run_one "$a" "$linux" $args
    # shellcheck disable=SC2086
    run_one "$b" wine "$exe" $args
    perl -pe 's/\n/\r\n/' <"$a.out" >"$a.crlf"
    if [ "$(cat "$a.code")" = "$(cat "$b.code")" ] && cmp -s "$a.crlf" "$b.out" &&
      diff -r "$a" "$b" >/dev/null; then
      matched=$((matched + 1))
    else
      echo "differs: $(basename "$input") with '$args': exit $(cat "$a.code") / $(cat "$b.code")"
      diff "$a.crlf" "$b.out" | head -n 6 || true
      diff -r "$a" "$b" | head -n 3 || true
    fi
    rm -rf "$a" "$b" "$a".* "$b".*
  done
done
# The inspector, on every input at once, named relative to the folder so that both see one path.
inspected=0
(cd "$inputs" && "$linux_inspect" --json --run "/V2.10 /AX-AXIS" * >"$work/inspect.linux" || true)
(cd "$inputs" && wine "$inspect_exe" --json --run "/V2.10 /AX-AXIS" * >"$work/inspect.win" 2>/dev/null ||
  true)
perl -pe 's/\n/\r\n/' <"$work/inspect.linux" >"$work/inspect.crlf"
if cmp -s "$work/inspect.crlf" "$work/inspect.win"; then
  inspected=$(ls "$inputs" | wc -l)
else
  echo "differs: datlift-inspect"
  diff "$work/inspect.crlf" "$work/inspect.win" | head -n 6 || true
fi
echo "windows compare: $matched of $cases cases identical; datlift-inspect identical on $inspected files"
[ "$matched" -eq "$cases" ] && [ "$inspected" -gt 0 ]
