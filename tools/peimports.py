#!/usr/bin/env python3
"""Lists the DLLs a PE file (EXE or DLL, 32 or 64 bit) imports: the normal
import table, which the Windows loader resolves when the file is mapped, and
the delay-import table, whose DLLs are loaded on first use.

    peimports.py FILE [--json]
    peimports.py --fix-delay-directory FILE

Library use: read_imports(path) -> (normal_dll_names, delay_dll_names).

GNU ld (binutils 2.40) links the delay-import descriptors of dlltool's
--output-delaylib libraries but leaves the header's delay-import directory
empty: the program works, yet no tool can see which DLLs it delay-loads.
cmake/DelayLoad.cmake links a small object that frames the descriptors
(DELAY_TABLE_MARKER before them, a zero descriptor after them) and runs
--fix-delay-directory on every linked executable to fill the directory in.
"""

import argparse
import json
import struct
import sys

IMPORT_DIRECTORY = 1
DELAY_IMPORT_DIRECTORY = 13
DELAY_DESCRIPTOR_SIZE = 32
DELAY_TABLE_MARKER = b"KivoDelayImports"
# Bounds against corrupt files: no real file has more descriptors than this.
MAX_DESCRIPTORS = 4096
MAX_NAME = 512


class PEFormatError(ValueError):
    pass


class _Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PEFormatError("not an MZ executable")
        pe = self._unpack("<I", 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise PEFormatError("no PE signature")
        sections, opt_size = self._unpack("<2xH12xH", pe + 4)
        opt = pe + 24
        self.checksum_at = opt + 64
        magic = self._unpack("<H", opt)[0]
        if magic == 0x10B:
            self.image_base = self._unpack("<I", opt + 28)[0]
            dirs_count_at, dirs_at = opt + 92, opt + 96
        elif magic == 0x20B:
            self.image_base = self._unpack("<Q", opt + 24)[0]
            dirs_count_at, dirs_at = opt + 108, opt + 112
        else:
            raise PEFormatError("unknown optional header magic 0x%x" % magic)
        self.dirs_count = self._unpack("<I", dirs_count_at)[0]
        self.dirs_at = dirs_at
        self.sections = []
        table = opt + opt_size
        for i in range(sections):
            vsize, va, rawsize, rawptr = self._unpack("<8xIIII", table + 40 * i)
            self.sections.append((va, max(vsize, rawsize), rawsize, rawptr))

    def _unpack(self, fmt, offset):
        if offset < 0 or offset + struct.calcsize(fmt) > len(self.data):
            raise PEFormatError("truncated file")
        return struct.unpack_from(fmt, self.data, offset)

    def directory(self, index):
        if index >= self.dirs_count:
            return 0, 0
        return self._unpack("<II", self.dirs_at + 8 * index)

    def directory_at(self, index):
        if index >= self.dirs_count:
            raise PEFormatError("no data directory %d" % index)
        return self.dirs_at + 8 * index

    def rva(self, offset):
        for va, _, rawsize, rawptr in self.sections:
            if rawptr <= offset < rawptr + rawsize:
                return va + offset - rawptr
        raise PEFormatError("file offset 0x%x outside every section" % offset)

    def offset(self, rva):
        for va, size, rawsize, rawptr in self.sections:
            if va <= rva < va + size:
                if rva - va >= rawsize:
                    raise PEFormatError("RVA 0x%x has no file data" % rva)
                return rawptr + rva - va
        raise PEFormatError("RVA 0x%x outside every section" % rva)

    def unpack_rva(self, fmt, rva):
        return self._unpack(fmt, self.offset(rva))

    def string(self, rva):
        start = self.offset(rva)
        end = self.data.find(b"\0", start, start + MAX_NAME)
        if end < 0:
            raise PEFormatError("unterminated name at RVA 0x%x" % rva)
        return self.data[start:end].decode("ascii", "replace")


def _normal_imports(image):
    rva, _ = image.directory(IMPORT_DIRECTORY)
    names = []
    if not rva:
        return names
    for i in range(MAX_DESCRIPTORS):
        original_thunk, _, _, name_rva, first_thunk = image.unpack_rva("<IIIII", rva + 20 * i)
        if not (original_thunk or name_rva or first_thunk):
            return names
        names.append(image.string(name_rva))
    raise PEFormatError("import table not terminated")


def _delay_imports(image):
    rva, _ = image.directory(DELAY_IMPORT_DIRECTORY)
    names = []
    if not rva:
        return names
    for i in range(MAX_DESCRIPTORS):
        attributes, name = image.unpack_rva("<II", rva + 32 * i)
        if not (attributes or name):
            return names
        # Bit 0 set: fields are RVAs; clear (old Visual C++ format): VAs.
        if not attributes & 1:
            name -= image.image_base
        names.append(image.string(name))
    raise PEFormatError("delay-import table not terminated")


def _framed_delay_table(image):
    """(rva, count) of the descriptors that follow DELAY_TABLE_MARKER, or
    None when the file has no marker."""
    data = image.data
    marker = data.find(DELAY_TABLE_MARKER)
    if marker < 0:
        return None
    if data.find(DELAY_TABLE_MARKER, marker + 1) >= 0:
        raise PEFormatError("delay-import table marker found twice")
    start = marker + len(DELAY_TABLE_MARKER)
    rva = image.rva(start)
    for count in range(MAX_DESCRIPTORS):
        attributes, name = image.unpack_rva("<II", rva + DELAY_DESCRIPTOR_SIZE * count)
        entry = data[start + DELAY_DESCRIPTOR_SIZE * count:start + DELAY_DESCRIPTOR_SIZE * (count + 1)]
        if entry == bytes(DELAY_DESCRIPTOR_SIZE):
            return rva, count
        if attributes != 1 or not image.string(name).lower().endswith(".dll"):
            raise PEFormatError("no delay-import descriptor at RVA 0x%x" % (rva + DELAY_DESCRIPTOR_SIZE * count))
    raise PEFormatError("delay-import table not terminated")


def _pe_checksum(data, checksum_at):
    total = 0
    padded = data + b"\0" * (len(data) % 2)
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
    # The checksum field itself counts as zero.
    total -= sum(struct.unpack_from("<HH", data, checksum_at))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def fix_delay_directory(path):
    """Points the delay-import directory of the PE file at path to its
    framed descriptor table (see the module text). Returns the number of
    delay-loaded DLLs; 0 when the file links none. Safe to run again."""
    with open(path, "rb") as f:
        data = bytearray(f.read())
    image = _Image(bytes(data))
    table = _framed_delay_table(image)
    if table is None or table[1] == 0:
        return 0
    rva, count = table
    struct.pack_into("<II", data, image.directory_at(DELAY_IMPORT_DIRECTORY), rva,
                     DELAY_DESCRIPTOR_SIZE * (count + 1))
    if struct.unpack_from("<I", data, image.checksum_at)[0]:
        struct.pack_into("<I", data, image.checksum_at, _pe_checksum(bytes(data), image.checksum_at))
    with open(path, "r+b") as f:
        f.write(data)
    return count


def read_imports(path):
    """Returns (normal, delay): the DLL names of the import and delay-import
    tables of the PE file at path, in table order, as the file spells them."""
    with open(path, "rb") as f:
        image = _Image(f.read())
    return _normal_imports(image), _delay_imports(image)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("file", help="EXE or DLL")
    parser.add_argument("--json", action="store_true", help='print {"imports": [...], "delay_imports": [...]}')
    parser.add_argument("--fix-delay-directory", action="store_true",
                        help="fill in the delay-import directory of a freshly linked file")
    args = parser.parse_args(argv)
    try:
        if args.fix_delay_directory:
            fix_delay_directory(args.file)
            return 0
        normal, delay = read_imports(args.file)
    except (OSError, PEFormatError) as e:
        print("peimports: %s: %s" % (args.file, e), file=sys.stderr)
        return 1
    if args.json:
        print(json.dumps({"imports": normal, "delay_imports": delay}))
    else:
        for name in normal:
            print("import %s" % name)
        for name in delay:
            print("delay %s" % name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
