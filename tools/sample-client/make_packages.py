#!/usr/bin/env python3
"""Packs the sample client and the archives the extraction tests read.

usage: make_packages.py --7zz PATH --out DIR --program NAME=EXE ...

DIR/KivoClient.7z   the sample client package: solid LZMA2 with directory
                    entries, each program of the real package at its place.
DIR/CefSharp.7z     the browser-runtime package: NewSetting.json and one
                    version directory with its "cfg" flag file.
DIR/tests/*.7z      small archives for the extraction tests (see ARCHIVES).
"""

import argparse
import os
import random
import shutil
import subprocess
import sys
from pathlib import Path

CEF_VERSION = "99.2.120"

# Where each sample program sits in the client package.
CLIENT_LAYOUT = {
    "kivo": "kivo.exe",
    "unins": "unins.exe",
    "repair": "Repair/KivoRepair.exe",
    "serviceinstaller": "Services/KivoServerInstaller.exe",
    "uacservice": "Services/UacService/KivoUacService.exe",
    "external": "Client/KvExternal.exe",
}


def seven_zip(tool, archive, inputs, cwd, extra=()):
    archive = Path(archive).resolve()
    archive.unlink(missing_ok=True)
    subprocess.run([tool, "a", "-bso0", "-bsp0", "-t7z", "-m0=lzma2", "-ms=on", *extra, str(archive), *inputs],
                   cwd=cwd, check=True)


def rename_entry(tool, archive, old, new):
    subprocess.run([tool, "rn", "-bso0", "-bsp0", str(archive), old, new], check=True)


def fresh_dir(path):
    shutil.rmtree(path, ignore_errors=True)
    path.mkdir(parents=True)
    return path


def write(path, data):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data if isinstance(data, bytes) else data.encode())


def low_entropy_bytes(size, seed):
    """Bytes LZMA cannot match but codes as literals, so decoding them takes time."""
    table = bytes(ord("a") + (i % 16) for i in range(256))
    return random.Random(seed).randbytes(size).translate(table)


def make_client(tool, out, stage, programs):
    root = fresh_dir(stage / "client")
    for key, relative in CLIENT_LAYOUT.items():
        target = root / relative
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(programs[key], target)
    write(root / "Resources" / "client.ini", "[Client]\r\nName=Kivo\r\n")
    write(root / "Resources" / "Locale" / "zh-CN.txt", "直播\r\n")
    write(root / "Resources" / "empty.dat", b"")
    seven_zip(tool, out / "KivoClient.7z", sorted(os.listdir(root)), root)


def make_cef(tool, out, stage):
    root = fresh_dir(stage / "cef")
    write(root / "NewSetting.json", '{"Versions": [{"LatestVersion": "%s"}], "Channel": "stable"}\n' % CEF_VERSION)
    write(root / CEF_VERSION / "cfg", "installed\r\n")
    write(root / CEF_VERSION / "libcef.dll", low_entropy_bytes(256 * 1024, 7))
    seven_zip(tool, out / "CefSharp.7z", sorted(os.listdir(root)), root)


def make_test_archives(tool, out, stage):
    tests = fresh_dir(out / "tests")

    # Directory entries, forward-slash names, an empty file.
    root = fresh_dir(stage / "tree")
    write(root / "dir" / "a.txt", "alpha\r\n")
    write(root / "dir" / "sub" / "b.bin", bytes(range(256)) * 64)
    write(root / "empty.txt", b"")
    write(root / "top.txt", "top level\r\n")
    seven_zip(tool, tests / "tree.7z", ["dir", "empty.txt", "top.txt"], root)

    # A file whose parent directory has no entry of its own.
    root = fresh_dir(stage / "noparent")
    write(root / "missing" / "orphan.txt", "orphan\r\n")
    seven_zip(tool, tests / "noparent.7z", ["missing/orphan.txt"], root)

    # Stored from a POSIX system: mode bits in the upper half, read-only below.
    root = fresh_dir(stage / "readonly")
    write(root / "ro.txt", "read only\r\n")
    os.chmod(root / "ro.txt", 0o444)
    seven_zip(tool, tests / "readonly.7z", ["ro.txt"], root)

    # One large solid block that takes a while to decode, then a small file.
    root = fresh_dir(stage / "large")
    write(root / "large.bin", low_entropy_bytes(32 * 1024 * 1024, 11))
    seven_zip(tool, tests / "large.7z", ["large.bin"], root, extra=("-mx=1",))

    # A byte of the packed data flipped: the decoder's CRC check must catch it.
    root = fresh_dir(stage / "corrupt")
    write(root / "data.txt", low_entropy_bytes(64 * 1024, 13))
    seven_zip(tool, tests / "corrupt.7z", ["data.txt"], root)
    data = bytearray((tests / "corrupt.7z").read_bytes())
    data[32 + 1000] ^= 0x55
    (tests / "corrupt.7z").write_bytes(bytes(data))

    write(tests / "notarchive.7z", "this is not a 7z archive\r\n" * 20)

    # Hostile names after a safe entry, so a test sees that nothing at all is written.
    hostile = {
        "dotdot": "../evil.txt",
        "nested-dotdot": "dir/../../evil.txt",
        "absolute": "/evil.txt",
        "drive": "C:evil.txt",
        "stream": "safe.txt:evil",
        "device": "dir/nul.txt",
    }
    root = fresh_dir(stage / "hostile")
    write(root / "safe.txt", "safe\r\n")
    write(root / "zz-evil.txt", "evil\r\n")
    for name, entry in hostile.items():
        archive = tests / ("hostile-%s.7z" % name)
        seven_zip(tool, archive, ["safe.txt", "zz-evil.txt"], root)
        rename_entry(tool, archive, "zz-evil.txt", entry)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--7zz", dest="tool", default="7zz")
    parser.add_argument("--out", required=True, type=Path)
    parser.add_argument("--program", action="append", default=[], help="NAME=path of a built sample program")
    args = parser.parse_args()
    programs = dict(item.split("=", 1) for item in args.program)
    missing = set(CLIENT_LAYOUT) - set(programs)
    if missing:
        sys.exit("missing programs: " + ", ".join(sorted(missing)))
    out = args.out
    out.mkdir(parents=True, exist_ok=True)
    stage = fresh_dir(out / "stage")
    make_client(args.tool, out, stage, programs)
    make_cef(args.tool, out, stage)
    make_test_archives(args.tool, out, stage)
    shutil.rmtree(stage)
    (out / "packages.stamp").write_text("ok\n")


if __name__ == "__main__":
    main()
