#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Runs every case of the conformance corpus (tests/conformance/cases, format in its README)
# against a datlift command, each in a scratch directory of its own, and checks the exit code,
# standard output, both files afterwards, that nothing else appeared or vanished, and the modes.
#   conformance_run.py [--windows] [--cases DIR] [--only CASE...] -- COMMAND...
# COMMAND is the program with any emulator before it ("qemu-aarch64 datlift", "wine datlift.exe").
# --windows: lines end in CR LF, and the cases that Windows cannot express are skipped.
import argparse
import functools
import json
import os
import resource
import shutil
import signal
import stat
import subprocess
import sys
import tempfile

NAMES = ("SYSTEM.DAT", "MCFG.DAT")
UMASK = 0o022


def skip_reason(case, windows):
    if not windows:
        return None
    if case["system"] == "link":
        return "a symbolic link"
    if case["file_size_limit"] is not None:
        return "a file size limit"
    if any(b > 0x7F for a in case["args"] for b in bytes.fromhex(a)):
        return "argument bytes above 0x7F"
    return None


def lay_out(src, case, work):
    """Lays the case out in `work`; returns the input bytes of each name (None where missing)."""
    inputs = {}
    for name in NAMES + ("NOTES.TXT",):
        path = os.path.join(src, name)
        inputs[name] = open(path, "rb").read() if os.path.exists(path) else None
    system = case["system"]
    if system == "file":
        shutil.copyfile(os.path.join(src, "SYSTEM.DAT"), os.path.join(work, "SYSTEM.DAT"))
    elif system == "directory":
        os.mkdir(os.path.join(work, "SYSTEM.DAT"))
        write(os.path.join(work, "SYSTEM.DAT", "inner.bin"), b"inner")
    elif system == "link":
        os.mkdir(os.path.join(work, "sub"))
        if inputs["SYSTEM.DAT"] is None:
            os.symlink("sub/missing.dat", os.path.join(work, "SYSTEM.DAT"))
        else:
            write(os.path.join(work, "sub", "real.dat"), inputs["SYSTEM.DAT"])
            os.symlink("sub/real.dat", os.path.join(work, "SYSTEM.DAT"))
    if case["mcfg"] == "file":
        shutil.copyfile(os.path.join(src, "MCFG.DAT"), os.path.join(work, "MCFG.DAT"))
    elif case["mcfg"] == "directory":
        os.mkdir(os.path.join(work, "MCFG.DAT"))
        write(os.path.join(work, "MCFG.DAT", "keep.txt"), b"keep")
    if case.get("notes"):
        shutil.copyfile(os.path.join(src, "NOTES.TXT"), os.path.join(work, "NOTES.TXT"))
    return inputs


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def listing(work):
    """Every entry of the directory and of sub/: kind and mode, or link text."""
    entries = {}
    for folder in ("", "sub"):
        top = os.path.join(work, folder)
        if not os.path.isdir(top):
            continue
        for name in os.listdir(top):
            rel = os.path.join(folder, name)
            st = os.lstat(os.path.join(work, rel))
            if stat.S_ISLNK(st.st_mode):
                entries[rel] = ("link", os.readlink(os.path.join(work, rel)))
            elif stat.S_ISDIR(st.st_mode):
                entries[rel] = ("directory", sorted(os.listdir(os.path.join(work, rel))))
            else:
                entries[rel] = ("file", stat.S_IMODE(st.st_mode))
    return entries


def content_path(work, case, name):
    """Where the content of `name` lies: the link's target for a linked SYSTEM.DAT."""
    if name == "SYSTEM.DAT" and case["system"] == "link":
        return os.path.join(work, "sub", "real.dat")
    return os.path.join(work, name)


def expected_listing(before, case):
    after = dict(before)
    if case["after"]["MCFG.DAT"] == "file" and "MCFG.DAT" not in before:
        after["MCFG.DAT"] = ("file", 0o666 & ~UMASK)
    if case["after"]["MCFG.DAT"] == "missing":
        after.pop("MCFG.DAT", None)
    return after


def run_case(folder, case, command, windows, scratch):
    work = os.path.join(scratch, os.path.basename(folder))
    os.mkdir(work)
    inputs = lay_out(folder, case, work)
    before = listing(work)
    args = [bytes.fromhex(a) for a in case["args"]]
    limit = case["file_size_limit"]

    def child():
        os.umask(UMASK)
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        if limit is not None:
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

    # The output goes to files: a helper that the program's emulator starts (wine's services) may
    # hold a pipe open long after the program has ended. Under a file size limit, which would cut
    # a file, to pipes (no emulator runs those cases).
    run = functools.partial(subprocess.run, [os.fsencode(c) for c in command] + args, cwd=work,
                            stdin=subprocess.DEVNULL, preexec_fn=child, timeout=120)
    if limit is not None:
        proc = run(stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    else:
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = run(stdout=out, stderr=err)
            out.seek(0)
            err.seek(0)
            proc.stdout, proc.stderr = out.read(), err.read()
    problems = []
    if proc.returncode != case["exit"]:
        problems.append(f"exit {proc.returncode}, expected {case['exit']}")
    wanted = []
    for alt in ("stdout", "stdout-alt"):
        path = os.path.join(folder, "expected", alt)
        if os.path.exists(path):
            text = open(path, "rb").read()
            wanted.append(text.replace(b"\n", b"\r\n") if windows else text)
    if proc.stdout not in wanted:
        problems.append(f"stdout {proc.stdout!r}, expected {wanted[0]!r}")
    for name in NAMES:
        problems += check_file(folder, work, case, name, inputs[name])
    if case.get("notes") and read(os.path.join(work, "NOTES.TXT")) != inputs["NOTES.TXT"]:
        problems.append("NOTES.TXT changed")
    now, wanted_listing = listing(work), expected_listing(before, case)
    if now != wanted_listing:
        changed = sorted(k for k in set(now) | set(wanted_listing) if now.get(k) != wanted_listing.get(k))
        for k in changed:
            problems.append(f"{k}: {describe(now.get(k))}, expected {describe(wanted_listing.get(k))}")
    if not problems:
        shutil.rmtree(work)
    return problems, proc.stderr


def describe(entry):
    if entry is None:
        return "absent"
    kind, detail = entry
    return f"{kind} mode {detail:04o}" if kind == "file" else f"{kind} {detail}"


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def check_file(folder, work, case, name, input_bytes):
    want = case["after"][name]
    path = content_path(work, case, name)
    layout = case["system"] if name == "SYSTEM.DAT" else case["mcfg"]
    if want == "missing":
        return [] if not os.path.exists(os.path.join(work, name)) else [f"{name} exists, expected missing"]
    if want == "unchanged" and layout == "directory":
        return [] if os.path.isdir(path) else [f"{name} is no longer the directory"]
    if want == "unchanged" and input_bytes is None:
        return [] if not os.path.exists(path) else [f"{name} appeared"]
    expected = input_bytes if want == "unchanged" else read(os.path.join(folder, "expected", name))
    got = read(path)
    if got == expected:
        return []
    if got is None:
        return [f"{name} missing, expected {want}"]
    first = next((i for i, (a, b) in enumerate(zip(got, expected)) if a != b), min(len(got), len(expected)))
    return [f"{name} differs from {want} content: {len(got)} bytes, expected {len(expected)}, "
            f"first difference at byte {first}"]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("--cases", default=os.path.join(here, "conformance", "cases"))
    parser.add_argument("--only", nargs="*", default=None)
    parser.add_argument("command", nargs="+")
    opts = parser.parse_args()
    command = [shutil.which(opts.command[0]) or opts.command[0]] + opts.command[1:]
    command[-1] = os.path.abspath(command[-1])
    scratch = tempfile.mkdtemp(prefix="datlift-conformance-")
    passed = failed = skipped = 0
    for name in sorted(os.listdir(opts.cases)):
        if opts.only is not None and name not in opts.only:
            continue
        folder = os.path.join(opts.cases, name)
        case = json.load(open(os.path.join(folder, "case.json")))
        reason = skip_reason(case, opts.windows)
        if reason is not None:
            skipped += 1
            continue
        problems, stderr = run_case(folder, case, command, opts.windows, scratch)
        if problems:
            failed += 1
            print(f"FAIL {name}: " + "; ".join(problems))
            for line in stderr.decode("latin-1").splitlines()[:3]:
                print(f"  stderr: {line}")
        else:
            passed += 1
    if failed == 0:
        shutil.rmtree(scratch)
    else:
        print(f"failed cases left in {scratch}")
    print(f"{passed} passed, {failed} failed, {skipped} skipped")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
