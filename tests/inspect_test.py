#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# datlift-inspect against the real datlift: its dry run (--run) must print, exit with and write
# what datlift does, over generated inputs of every kind; its JSON must parse and hold what was
# planted; its verdict must be datlift's without options.
#   inspect_test.py DATLIFT DATLIFT_INSPECT MKSAMPLE
import atexit
import json
import os
import resource
import shutil
import subprocess
import sys
import tempfile

datlift, inspect, mksample = (os.path.abspath(p) for p in sys.argv[1:4])
work = tempfile.mkdtemp(prefix="datlift-inspect-test-")
atexit.register(shutil.rmtree, work, True)  # also where a step fails on the way
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def make(name, *args):
    path = os.path.join(work, name)
    subprocess.run([mksample, path, *args], check=True)
    return path


inputs = {}
for version in ("1.71", "2.00", "2.10", "2.50"):
    for header in ("short", "long"):
        inputs[f"v{version}-{header}"] = make(f"v{version}-{header}", "--version", version,
                                               "--header", header, "--name", "0=PLANTED",
                                               "--general", "GEN\xe4", "--text3", "CELL 7")
# Inside every block of a V2.10 file, and one byte short of the whole.
for size in (0, 127, 500, 12295, 12296, 13030, 13044, 15000, 17651):
    inputs[f"cut{size}"] = make(f"cut{size}", "--version", "2.10", "--truncate", str(size))
inputs["lower"] = make("lower", "--model", "plx-8")
inputs["unknown-model"] = make("unknown-model", "--model", "PLX-9000")
inputs["v3"] = make("v3", "--version-token", "V3.00")
inputs["v171-4k"] = make("v171-4k", "--version", "1.71", "--model", "PLX-4K")
# A general text with the byte 0x80 (passed as that one byte).
inputs["byte80"] = make("byte80", "--general", "GEN\udc80")
inputs["no-ident"] = make("no-ident", "--ident", "NOTHING")
inputs["trailing"] = make("trailing", "--append", "3000")

arglists = ["", "/NC", "/V2.00", "/V2.10", "/V3", "/PLX-8200", "/PLX-4K /V2.10",
            "/AX-AXIS /AY", "/X", "/PLX-8 /PLX-8"]

cases = 0
for name, path in sorted(inputs.items()):
    for args in arglists:
        cases += 1
        run_dir = tempfile.mkdtemp(dir=work)
        with open(path, "rb") as src, open(os.path.join(run_dir, "SYSTEM.DAT"), "wb") as dst:
            dst.write(src.read())
        system = os.path.join(run_dir, "SYSTEM.DAT")
        before = os.stat(system).st_ino
        real = subprocess.run([datlift, *args.split()], cwd=run_dir, capture_output=True)
        # A file that was written is a new file under the name.
        written = {}
        if os.stat(system).st_ino != before:
            written["SYSTEM.DAT"] = os.path.getsize(system)
        if os.path.exists(os.path.join(run_dir, "MCFG.DAT")):
            written["MCFG.DAT"] = os.path.getsize(os.path.join(run_dir, "MCFG.DAT"))
        dry = subprocess.run([inspect, "--json", "--run", args, path], capture_output=True)
        report = json.loads(dry.stdout.decode("utf-8"))[0]
        tag = f"{name} with '{args}'"
        check(report["run"]["exit"] == real.returncode, f"{tag}: exit")
        check(report["run"]["stdout"].encode("latin-1") == real.stdout, f"{tag}: stdout")
        check(report["run"]["writes"] == written, f"{tag}: writes {report['run']['writes']}")
        if args == "":
            check(report["verdict"]["exit"] == real.returncode, f"{tag}: verdict")
            last = real.stdout.decode("latin-1").rstrip("\n").split("\n")[-1]
            check(report["verdict"]["message"] == last, f"{tag}: verdict message")
            check(dry.returncode == (0 if real.returncode in (0, 13) else 1), f"{tag}: exit code")
            # In text, each line that datlift prints, indented; a last one without its line end
            # said so.
            text = subprocess.run([inspect, "--run", args, path], capture_output=True).stdout
            *whole, rest = real.stdout.split(b"\n")
            shown = b"".join(b"    " + line + b"\n" for line in whole)
            if rest:
                shown += b"    " + rest + b" (no line end)\n"
            check(b"\n  output:\n" + shown + b"  writes:" in text, f"{tag}: output in text")

# What was planted is reported; what a file does not hold whole is null.
full = json.loads(subprocess.run([inspect, "--json", inputs["v2.10-short"], inputs["cut13030"]],
                                 capture_output=True).stdout)
check(full[0]["axis_names"][0] == "PLANTED" and full[0]["axis_names"][17] == "AXIS17", "names")
# The planted text arrived as UTF-8 bytes; each byte is one code point in the JSON.
check(full[0]["general_text"] == "GEN\xc3\xa4", "general text, byte for byte")
check(full[0]["header_texts"][2] == "CELL 7", "header text 3")
check(full[0]["trailing_bytes"] == 0 and full[0]["header"] == "short", "header and trailing")
check(full[1]["general_text"] is None and full[1]["axis_names"][0] == "AXIS0", "absent block")
check(full[1]["verdict"]["why"] == "ends inside its general record: 13030 of the 13044 bytes that "
      "V2.10 needs", "why with the numbers, one line")

# MCFG.DAT: the default image decoded.
mcfg_dir = tempfile.mkdtemp(dir=work)
with open(inputs["v2.10-short"], "rb") as src, open(os.path.join(mcfg_dir, "SYSTEM.DAT"), "wb") as d:
    d.write(src.read())
subprocess.run([datlift], cwd=mcfg_dir, capture_output=True, check=True)
mcfg = json.loads(subprocess.run([inspect, "--json", os.path.join(mcfg_dir, "MCFG.DAT")],
                                 capture_output=True, check=True).stdout)[0]
values = {f["name"]: f["value"] for f in mcfg["fields"]}
check(mcfg["is_default"] and mcfg["stray_bytes"] == [], "default MCFG")
check(values["value 4"] == 1000.0 and values["integer 22"] == 1, "MCFG numbers")
check(values["colour slot 4"] == "LGREEN" and values["integer 1"] == 0, "MCFG texts")
mcfg_text = subprocess.run([inspect, os.path.join(mcfg_dir, "MCFG.DAT")],
                           capture_output=True).stdout
check(mcfg_text.endswith(b"\nstray bytes: none\n"), "default MCFG, in text")

# The byte 0x80 is the code point U+0080 in the JSON, which is UTF-8 throughout.
with_80 = json.loads(subprocess.run([inspect, "--json", inputs["byte80"]],
                                    capture_output=True).stdout.decode("utf-8"))
check(with_80[0]["general_text"] == "GEN\x80", "byte 0x80 in JSON")

# Usage errors: 2, nothing on standard output, and the usage on standard error, whole, with its
# own line ends, after what was wrong (an unknown option, "--run" without its options, no file).
for argv, first in ((["--bogus", inputs["lower"]], b"datlift-inspect: unknown option --bogus\n"),
                    (["--run"], b"datlift-inspect: unknown option --run\n"),
                    (["--run", "/V2.00"], b""), ([], b"")):
    bad = subprocess.run([inspect, *argv], capture_output=True)
    check(bad.returncode == 2 and bad.stdout == b"", f"usage error {argv}: exit and output")
    check(bad.stderr.startswith(first + b"usage: datlift-inspect [--json] [--run ARGS] FILE...\n"
                                b"Reports") and bad.stderr.endswith(b"cannot be read.\n"),
          f"usage error {argv}: the usage as it is")

# Files that are not regular are closed again: with few descriptors allowed, many of them before
# a file leave it readable.
few = subprocess.run([inspect, *[work] * 40, inputs["lower"]], capture_output=True,
                     preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (16, 16)))
check(few.stderr.count(b": not a regular file\n") == 40 and
      b"path: " + os.fsencode(inputs["lower"]) + b"\n" in few.stdout, "descriptors closed")

# A file that cannot be read: 2, and what the system said.
for name, said in (("missing", b"No such file or directory"), ("", b"not a regular file")):
    unread = subprocess.run([inspect, os.path.join(work, name)], capture_output=True)
    check(unread.returncode == 2 and unread.stderr == b"datlift-inspect: " +
          os.fsencode(os.path.join(work, name)) + b": " + said + b"\n", f"unreadable {name!r}")

# The usage asked for: on standard output, whole, and nothing more.
for argv in (["--help"], ["--json", "--help"]):
    asked = subprocess.run([inspect, *argv], capture_output=True)
    check(asked.returncode == 0 and asked.stdout.startswith(b"usage: datlift-inspect ") and
          asked.stdout.endswith(b"cannot be read.\n") and b"\0" not in asked.stdout, f"{argv}")

# A file named "-" is a file.
os.symlink(inputs["lower"], os.path.join(work, "-"))
check(subprocess.run([inspect, "-"], cwd=work, capture_output=True).returncode == 1, "a file -")

# Text is the default form; "--" ends the options, so a file may begin with "-".
os.symlink(inputs["no-ident"], os.path.join(work, "-odd-name"))
text = subprocess.run([inspect, "--run", "/V2.00", "--", "-odd-name"], cwd=work,
                      capture_output=True).stdout.decode("latin-1")
check(text.startswith("path: -odd-name\nsize: "), "text by default, file after --")
check("\nheader: none (no identification string found)\n" in text, "no header, in text")
check(text.endswith("\n  writes: nothing\n"), "writes nothing, in text")
planted = subprocess.run([inspect, inputs["v2.10-short"]], capture_output=True).stdout
check(b"\nheader text 1: HEADER TEXT1\nheader text 2: HEADER TEXT2\nheader text 3: CELL 7\n"
      b"general text: GEN\\xC3\\xA4\n" in planted, "the texts, each under its own label")

# A file's name and its tokens reach a terminal escaped: no byte of them acts on it.
odd = make("odd\n\x1b[2Jname", "--model", "PLX\x1b]0;owned\x07")
shown = subprocess.run([inspect, "--run", "/V2.10", odd, os.path.join(work, "gone\x1b[0m")],
                       capture_output=True)
check(all(b >= 0x20 or b == 0x0A for b in shown.stdout + shown.stderr), "control bytes escaped")
check(b"path: " + os.fsencode(work) + b"/odd\\x0A\\x1B[2Jname\n" in shown.stdout, "path escaped")
check(b"why: model PLX\\x1B]0;owned\\x07 is none" in shown.stdout, "token escaped")

print(f"inspect: {cases} dry runs compared with datlift; {len(failures)} failures")
for f in failures[:20]:
    print("  " + f)
sys.exit(1 if failures else 0)
