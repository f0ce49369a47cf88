#!/usr/bin/env python3
"""Packs the Windows release ZIP. Run by the zip target of the Windows build:

    make-zip.py --exe clockcast.exe --source-dir DIR --zip clockcast-VERSION-win32.zip

The ZIP holds one folder, named after the ZIP, with clockcast.exe, README.txt,
LICENSE.txt, the manual rendered by groff as plain ASCII text (clockcast.txt)
and SHA256SUMS, in this order. The texts get CR LF line ends, so that Notepad
shows them. Every member carries the release date of the version (the first
trailer line of debian/changelog) and fixed permissions, and nothing of the
machine that built it, so two builds of the same sources give the same
bytes."""

import argparse
import email.utils
import hashlib
import os
import re
import subprocess
import zipfile
from pathlib import Path


def crlf(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("ascii")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--exe", type=Path, required=True)
    parser.add_argument("--source-dir", type=Path, required=True)
    parser.add_argument("--zip", type=Path, required=True)
    options = parser.parse_args()
    source = options.source_dir

    changelog = (source / "debian" / "changelog").read_text()
    trailer = re.search(r"^ -- .*?>  (.*)$", changelog, re.MULTILINE).group(1)
    released = email.utils.parsedate_to_datetime(trailer)

    # groff renders 78 columns, without overstriking or escape sequences.
    manual = subprocess.run(
        ["groff", "-man", "-Tascii", "-P-cbou", str(source / "docs" / "clockcast.1")],
        env=dict(os.environ, LC_ALL="C"), capture_output=True, text=True, check=True).stdout

    members = [
        ("clockcast.exe", options.exe.read_bytes(), 0o755),
        ("README.txt", crlf((source / "packaging" / "windows" / "README.txt").read_text()), 0o644),
        ("LICENSE.txt", crlf((source / "LICENSE").read_text()), 0o644),
        ("clockcast.txt", crlf(manual), 0o644),
    ]
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data, _ in members)
    members.append(("SHA256SUMS", crlf(sums), 0o644))

    top = options.zip.name.removesuffix(".zip")
    partial = options.zip.with_suffix(".zip.part")
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for name, data, mode in members:
            info = zipfile.ZipInfo(f"{top}/{name}", released.timetuple()[:6])
            info.create_system = 3  # Unix, so that the permissions below are kept
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data, compresslevel=9)
    partial.replace(options.zip)


if __name__ == "__main__":
    main()
