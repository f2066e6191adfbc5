#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Makes a package that cpack has written the same bytes from any build of the same source:
# - a zip is written again, its files in the order of their names, each at SOURCE_DATE_EPOCH
#   (1980-01-01 at the earliest, as a zip holds no earlier time), mode 0755 where it was
#   executable and 0644 where not, with no owner and no extra field;
# - a Debian package keeps its bytes but for the mode of its three members, which cpack takes
#   from the files it made under the build's umask: 0644, as dpkg-deb writes them.
#   pack_again.py PACKAGE...
import os
import sys
import time
import zipfile

AR_MAGIC = b"!<arch>\n"
AR_HEADER = 60
AR_MODE = slice(40, 48)


def zip_again(path):
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "315532800"))
    when = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(path) as old:
        members = sorted((info.filename, old.read(info), info.external_attr >> 16)
                         for info in old.infolist() if not info.is_dir())
    with zipfile.ZipFile(path + ".new", "w") as new:
        for name, data, mode in members:
            info = zipfile.ZipInfo(name, when)
            info.create_system = 3
            info.external_attr = (0o100755 if mode & 0o111 else 0o100644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            new.writestr(info, data, compresslevel=9)
    os.replace(path + ".new", path)


def deb_again(path):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    if not data.startswith(AR_MAGIC):
        sys.exit(f"pack_again.py: {path}: not an ar archive")
    at = len(AR_MAGIC)
    while at < len(data):
        header = data[at:at + AR_HEADER]
        if len(header) < AR_HEADER or header[58:60] != b"`\n":
            sys.exit(f"pack_again.py: {path}: a member's header is cut or malformed")
        header[AR_MODE] = b"100644  "
        data[at:at + AR_HEADER] = header
        size = int(header[48:58])
        at += AR_HEADER + size + (size & 1)
    with open(path + ".new", "wb") as f:
        f.write(data)
    os.replace(path + ".new", path)


for package in sys.argv[1:]:
    if package.endswith(".zip"):
        zip_again(package)
    elif package.endswith(".deb"):
        deb_again(package)
    else:
        sys.exit(f"pack_again.py: {package}: neither a zip nor a Debian package")
