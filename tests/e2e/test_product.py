"""The shipped executable, checked as a file: a 32-bit GUI program whose import
table names only DLLs that Windows always loads from the system directory,
with the resources deployment relies on."""

import os
import struct
import sys
from pathlib import Path

import pytest

from harness import BUILD_DIR, SOURCE_DIR

sys.path.insert(0, str(SOURCE_DIR / "tools"))
import peimports  # noqa: E402

PRODUCT = Path(os.environ.get("KIVO_PRODUCT_EXE", BUILD_DIR / "KivoInstaller.exe"))

# DLLs Windows loads from the system directory whatever the application
# directory holds (KnownDLLs of Windows 7 to 11), plus ntdll.
SAFE_IMPORTS = {
    "kernel32.dll", "ntdll.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
    "oleaut32.dll", "comdlg32.dll", "shlwapi.dll", "ws2_32.dll", "msvcrt.dll", "rpcrt4.dll", "setupapi.dll",
    "psapi.dll", "imm32.dll", "wldap32.dll", "normaliz.dll", "nsi.dll", "sechost.dll", "usp10.dll", "msctf.dll",
    "clbcatq.dll", "imagehlp.dll", "difxapi.dll", "combase.dll",
}


@pytest.fixture(scope="module")
def pe():
    if not PRODUCT.exists():
        pytest.skip("product not built: %s" % PRODUCT)
    return PRODUCT.read_bytes()


def headers(data):
    pe_offset = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe_offset:pe_offset + 4] == b"PE\0\0"
    machine, sections, _, _, _, opt_size, characteristics = struct.unpack_from("<HHIIIHH", data, pe_offset + 4)
    opt = pe_offset + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    subsystem = struct.unpack_from("<H", data, opt + 68)[0]
    return machine, magic, subsystem, sections, opt, opt_size


def sections(data):
    machine, magic, _, count, opt, opt_size = headers(data)
    table = opt + opt_size
    out = []
    for i in range(count):
        name, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
        out.append((name.rstrip(b"\0").decode(), va, max(vsize, rawsize), rawptr))
    return out


def rva_to_offset(data, rva):
    for _, va, size, raw in sections(data):
        if va <= rva < va + size:
            return raw + rva - va
    raise ValueError(rva)


def resources(data):
    """{(type, id): bytes} of the resource directory; names as str, ids as int."""
    _, magic, _, _, opt, _ = headers(data)
    dirs = opt + (96 if magic == 0x10B else 112)
    rva, size = struct.unpack_from("<II", data, dirs + 2 * 8)
    base = rva_to_offset(data, rva)

    def name_of(entry_name):
        if entry_name & 0x80000000:
            off = base + (entry_name & 0x7FFFFFFF)
            length = struct.unpack_from("<H", data, off)[0]
            return data[off + 2:off + 2 + 2 * length].decode("utf-16-le")
        return entry_name

    def entries(off):
        named, ids = struct.unpack_from("<HH", data, off + 12)
        for i in range(named + ids):
            n, target = struct.unpack_from("<II", data, off + 16 + 8 * i)
            yield name_of(n), target

    out = {}
    for rtype, t in entries(base):
        for rid, i in entries(base + (t & 0x7FFFFFFF)):
            for lang, leaf in entries(base + (i & 0x7FFFFFFF)):
                data_rva, data_size = struct.unpack_from("<II", data, base + leaf)
                off = rva_to_offset(data, data_rva)
                out[(rtype, rid)] = (lang, data[off:off + data_size])
    return out


def test_pe32_gui_program(pe):
    machine, magic, subsystem, *_ = headers(pe)
    assert machine == 0x14C, "i386"
    assert magic == 0x10B, "PE32"
    assert subsystem == 2, "Windows GUI subsystem"


def test_imports_only_known_system_dlls(pe):
    normal, delayed = peimports.read_imports(str(PRODUCT))
    names = {n.lower() for n in normal}
    assert names <= SAFE_IMPORTS, "planting risk: %s" % sorted(names - SAFE_IMPORTS)
    assert not any(n.lower().startswith(("libstdc++", "libgcc", "libwinpthread", "zlib1", "libcurl")) for n in
                   normal + delayed)
    # What is not a known DLL is loaded late, from the system directory.
    assert {"version.dll"} <= {n.lower() for n in delayed}


def test_resources(pe):
    res = resources(pe)
    lang, config = res[("CFG", 2000)]
    assert config == b'{\r\n    "Channel":  "official",\r\n    "Silent":  false\r\n}'
    assert len(config) == 55
    _, blob = res[("BINARY", 3000)]
    assert len(blob) == 1048576
    assert set(blob) <= set(b"0123456789abcdefABCDEF")
    assert (14, 107) in res, "icon group 107"
    _, manifest = res[(24, 1)]
    assert b'level="requireAdministrator"' in manifest
    assert b"Microsoft.Windows.Common-Controls" in manifest and b'version="6.0.0.0"' in manifest
    for os_id in (b"35138b9a-5d96-4fbd-8e2d-a2440225f93a", b"4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                  b"1f676c76-80e1-4239-95bb-83d0f6d0da78", b"8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"):
        assert os_id in manifest
    _, version = res[(16, 1)]
    text = version.decode("utf-16-le", "replace")
    for key, value in (("FileVersion", "1.0.0.0"), ("ProductVersion", "1.0.0.0"), ("FileDescription", "安装程序"),
                       ("InternalName", "KivoInstaller.exe"), ("OriginalFilename", "KivoInstaller.exe"),
                       ("CompanyName", "Kivo信息科技有限公司")):
        assert key + "\0" in text and value + "\0" in text, key
    fixed = version.find(struct.pack("<I", 0xFEEF04BD))
    ms, ls = struct.unpack_from("<II", version, fixed + 8)
    assert (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF) == (1, 0, 0, 0)


def test_skin_package_resource(pe):
    res = resources(pe)
    if ("ZIPRES", 1000) not in res:
        pytest.fail("skin package resource ZIPRES 1000 missing")
    lang, package = res[("ZIPRES", 1000)]
    assert lang == 2052
    assert package.startswith(b"PK\x03\x04")
