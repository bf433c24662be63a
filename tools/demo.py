#!/usr/bin/env python3
"""The main job, shown: a real silent installation of the sample client from
the local package service, in a fresh Wine prefix, and what it left behind.

Usage: demo.py [--kind win7|win10] [--keep]
Run through scripts/demo, which builds everything first."""

import argparse
import os
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
from harness import (APP_KEY, INSTALLER_EXE, QUIET_WINE, SOURCE_DIR, UNINSTALL_KEY, Prefix,  # noqa: E402
                     log_lines, private_user_folders, read_links, sample_service, user_folders)

INSTALL_DIR = "C:\\Program Files\\KivoClient"


def section(title):
    print("\n==== %s ====" % title)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kind", default="win10", choices=["win7", "win10"])
    parser.add_argument("--keep", action="store_true", help="keep the Wine prefix")
    options = parser.parse_args()
    if options.keep:
        os.environ["KIVO_KEEP_PREFIX"] = "1"

    with Prefix(options.kind) as prefix, \
            sample_service(DesktopIconUrl="{base}/pkg/kivo.ico", LaunchCommand="--from-installer") as service:
        private_user_folders(prefix)
        service.add_file("pkg/kivo.ico", (SOURCE_DIR / "res" / "kivo.ico").read_bytes())
        print("installer: %s" % INSTALLER_EXE)
        print("prefix:    %s (%s)" % (prefix.path, options.kind))
        print("service:   %s" % service.url())

        before = set(prefix.logs())
        result = prefix.run([INSTALLER_EXE, "/S", "/dev"], timeout=600, env=QUIET_WINE)
        service.wait_for("beacon", 3, timeout=10)

        section("installed files")
        root = prefix.unix_path(INSTALL_DIR)
        for path in sorted(root.rglob("*")):
            kind = "dir " if path.is_dir() else "%8d" % path.stat().st_size
            print("  %s  %s" % (kind, INSTALL_DIR + "\\" + str(path.relative_to(root)).replace("/", "\\")))

        for key in (APP_KEY, UNINSTALL_KEY):
            section("registry " + key)
            print(prefix.reg_query(key)[1].strip())

        section("shortcuts")
        folders = user_folders(prefix)
        links = []
        for folder in ("desktop", "start_menu", "startup", "common_programs", "common_startup"):
            base = prefix.unix_path(folders[folder])
            if base.exists():
                for link in sorted(base.rglob("*.lnk")):
                    links.append(folders[folder] + "\\" + str(link.relative_to(base)).replace("/", "\\"))
        for info in read_links(prefix, links):
            print("  %s\n      -> %s %s (in %s)" % (info.get("link"), info.get("target"), info.get("arguments", ""),
                                                   info.get("workingDirectory", info.get("working_directory", ""))))

        section("log")
        new_logs = [p for p in prefix.logs() if p not in before]
        for line in log_lines(new_logs[-1]) if new_logs else []:
            print("  [%s][%s][%s][%s] %s" % (line[0], line[2], line[3], line[4], line[5]))

        section("beacons at the collector")
        for beacon in service.beacons():
            print("  eid=%s desc=%s os=%s cha=%s prop=%s" % (beacon.get("eid"), beacon.get("eid_desc"),
                                                            beacon.get("os"), beacon.get("cha"),
                                                            (beacon.get("prop") or "").replace("\n", " ")))

        section("exit code")
        print("  %d" % result.returncode)
        return 0 if result.returncode == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
