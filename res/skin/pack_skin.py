#!/usr/bin/env python3
"""Packs the installer skin into the zip that the executable embeds.

    pack_skin.py [--skin-dir DIR] OUTPUT.zip     write the package
    pack_skin.py [--skin-dir DIR] --list         print the packed file names

The package holds MainWindow.xml, exactly the images it names and the few
images the window code loads by name (CODE_IMAGES), every entry
deflated at the archive root with no directory entries. Entry order, time
stamps and attributes are fixed, so the same inputs always give the same bytes
and the executable only changes when the skin does.
"""

import argparse
import os
import re
import sys
import zipfile

WINDOW_FILE = "MainWindow.xml"
# Images the window loads by name from code rather than from the description:
# the frame of the drop shadow drawn around the window before Windows 8.
CODE_IMAGES = ["shadow.png"]

# 1980-01-01 00:00:00, the earliest time a zip entry can carry.
FIXED_TIME = (1980, 1, 1, 0, 0, 0)
# The DOS "archive" attribute, as written by Windows' own zip tools.
DOS_ARCHIVE = 0x20

_COMMENT = re.compile(r"<!--.*?-->", re.S)
_DECLARATION = re.compile(r"<\?.*?\?>", re.S)
_TAG = re.compile(r"<([A-Za-z_][\w.-]*)((?:\s+[^\s=/>]+\s*=\s*\"[^\"]*\")*)\s*/?>")
_ATTRIBUTE = re.compile(r"([^\s=/>]+)\s*=\s*\"([^\"]*)\"")
_PAIR = re.compile(r"(\w+)='([^']*)'")
# Only the five predefined XML entities are decoded; any other ampersand
# stays as written, as in the window's own reader.
_ENTITY = re.compile(r"&(amp|lt|gt|quot|apos);")
_ENTITY_TEXT = {"amp": "&", "lt": "<", "gt": ">", "quot": '"', "apos": "'"}


def elements(markup):
    """Yields (element name, [(attribute, value), ...]) in document order.

    A plain regular scan rather than an XML parser: window descriptions may
    repeat an attribute on one element, which conforming parsers reject.
    """
    markup = _DECLARATION.sub("", _COMMENT.sub("", markup))
    for tag in _TAG.finditer(markup):
        attributes = [(name, _ENTITY.sub(lambda m: _ENTITY_TEXT[m[1]], value))
                      for name, value in _ATTRIBUTE.findall(tag.group(2))]
        yield tag.group(1), attributes


def image_file(description):
    """The package file an image description draws, or None.

    A description is a bare file name or key='value' pairs separated by one
    space; reading stops at any other separator, exactly as the window does.
    """
    description = description.strip()
    if not description:
        return None
    if "='" not in description:
        return description
    pos = 0
    while True:
        pair = _PAIR.match(description, pos)
        if not pair:
            return None
        key, value = pair.groups()
        if key == "file":
            return value or None
        if key == "res":
            return None
        pos = pair.end()
        if description[pos:pos + 1] != " " or pos + 1 >= len(description):
            return None
        pos += 1


def referenced_images(markup):
    """Image files named by the description, first mention first."""
    seen = []
    for _, attributes in elements(markup):
        for name, value in attributes:
            if not name.lower().endswith("image"):
                continue
            file = image_file(value)
            if file and file not in seen:
                seen.append(file)
    return seen


def package_files(skin_dir):
    with open(os.path.join(skin_dir, WINDOW_FILE), encoding="utf-8") as f:
        markup = f.read()
    images = referenced_images(markup)
    return [WINDOW_FILE] + images + [f for f in CODE_IMAGES if f not in images]


def write_package(skin_dir, output):
    files = package_files(skin_dir)
    missing = [f for f in files if not os.path.isfile(os.path.join(skin_dir, f))]
    if missing:
        sys.exit(f"pack_skin: missing from {skin_dir}: {', '.join(missing)}")
    # Written beside the target and renamed, so an interrupted build never
    # leaves a truncated package that looks up to date.
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    partial = output + ".partial"
    try:
        with zipfile.ZipFile(partial, "w") as archive:
            for name in files:
                entry = zipfile.ZipInfo(name, date_time=FIXED_TIME)
                entry.compress_type = zipfile.ZIP_DEFLATED
                entry.create_system = 0
                entry.external_attr = DOS_ARCHIVE
                with open(os.path.join(skin_dir, name), "rb") as f:
                    archive.writestr(entry, f.read(), compresslevel=9)
        os.replace(partial, output)
    except BaseException:
        if os.path.exists(partial):
            os.remove(partial)
        raise


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--skin-dir",
                        default=os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--list", action="store_true",
                        help="print the files the package would hold")
    parser.add_argument("output", nargs="?")
    args = parser.parse_args(argv)
    if args.list:
        print("\n".join(package_files(args.skin_dir)))
        return
    if not args.output:
        parser.error("the output zip path is required")
    write_package(args.skin_dir, args.output)


if __name__ == "__main__":
    main()
