#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# The arrows between the rooms of the source, as doc/design.md draws them: each room includes
# only what its row allows (tests aside), and each operating system's file only the interfaces it
# implements.
#   rooms_test.py SOURCE_ROOT
import glob
import os
import re
import sys

root = sys.argv[1]
# The files of a room (a glob under src/), and the headers its files may include.
ALLOWED = [
    ("common/*", ["common/"]),
    ("files/os_*.cc", ["common/bytes.h", "files/os.h"]),
    ("files/*", ["common/", "files/"]),
    ("sysfile/*", ["common/", "sysfile/"]),
    ("mcfg/*", ["common/", "mcfg/"]),
    ("upgrade/*", ["common/", "sysfile/", "mcfg/", "upgrade/"]),
    ("run/*", ["common/", "files/", "sysfile/", "mcfg/", "upgrade/", "run/"]),
    ("inspect/*", ["common/", "files/", "sysfile/", "mcfg/", "upgrade/", "run/", "inspect/"]),
    ("web/*", ["common/", "files/", "sysfile/", "mcfg/", "upgrade/", "run/", "inspect/"]),
]

failures = []
checked = set()
for pattern, allowed in ALLOWED:
    for path in sorted(glob.glob(os.path.join(root, "src", pattern))):
        if path.endswith("_test.cc") or path in checked:
            continue
        checked.add(path)
        for n, line in enumerate(open(path, encoding="utf-8"), 1):
            m = re.match(r'#include "([^"]+)"', line)
            if m and not any(m.group(1).startswith(a) for a in allowed):
                failures.append(f"{os.path.relpath(path, root)}:{n}: includes {m.group(1)}")
unplaced = {p for p in glob.glob(os.path.join(root, "src", "*", "*")) if not p.endswith("_test.cc")}
failures += [f"{os.path.relpath(p, root)}: in no room" for p in sorted(unplaced - checked)]
print(f"rooms: {len(checked)} files checked, {len(failures)} arrows the wrong way")
for f in failures:
    print("  " + f)
sys.exit(1 if failures else 0)
