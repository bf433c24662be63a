"""The skin package as the build embeds it: contents, image sizes and the
window description's exact form."""

import importlib.util
import os
import re
import struct
import subprocess
import sys
import zipfile
import zlib
from pathlib import Path

import pytest

SOURCE_DIR = Path(os.environ.get("KIVO_SOURCE_DIR", Path(__file__).resolve().parents[2]))
SKIN_DIR = SOURCE_DIR / "res" / "skin"
PACKER = SKIN_DIR / "pack_skin.py"

GREY, RGB, PALETTE, RGBA = 0, 2, 3, 6

# name: (width, height, PNG colour type, number of side-by-side states)
IMAGES = {
    "bk.png": (700, 348, PALETTE, 1),
    "back_process.png": (700, 252, RGB, 1),
    "back_success.png": (700, 500, RGB, 1),
    "kivo_logo.png": (260, 105, RGBA, 1),
    "install_btn.png": (680, 46, RGBA, 4),
    "check_box.png": (48, 16, RGBA, 3),
    "open_custom_btn.png": (60, 20, RGBA, 3),
    "close_custom_btn.png": (60, 20, RGBA, 3),
    "input_edit.png": (15, 36, RGBA, 1),
    "chang_path_btn.png": (192, 36, RGBA, 3),
    "progressbar_bg.png": (15, 36, RGBA, 1),
    "progressbar_fg.png": (15, 36, RGBA, 1),
    "retry_btn.png": (390, 38, RGBA, 3),
    "cancel_btn.png": (390, 38, RGBA, 3),
    "success.png": (344, 159, RGBA, 1),
    "success_text.png": (87, 20, RGBA, 1),
    "use_now_btn.png": (510, 46, RGBA, 3),
    "min_normal.png": (36, 48, RGBA, 1),
    "min_hover.png": (36, 48, RGBA, 1),
    "min_push.png": (36, 48, RGBA, 1),
    "close_normal.png": (36, 48, RGBA, 1),
    "close_hover.png": (36, 48, RGBA, 1),
    "close_push.png": (36, 48, RGBA, 1),
    "shadow.png": (218, 344, RGBA, 1),
}


def load_packer():
    loader_spec = importlib.util.spec_from_file_location("pack_skin", PACKER)
    module = importlib.util.module_from_spec(loader_spec)
    loader_spec.loader.exec_module(module)
    return module


packer = load_packer()


def pack(skin_dir, output):
    return subprocess.run([sys.executable, str(PACKER), "--skin-dir", str(skin_dir), str(output)],
                          capture_output=True, text=True)


@pytest.fixture(scope="module")
def package(tmp_path_factory):
    path = tmp_path_factory.mktemp("skin") / "skin.zip"
    result = pack(SKIN_DIR, path)
    assert result.returncode == 0, result.stderr
    with zipfile.ZipFile(path) as archive:
        yield path, {info.filename: (info, archive.read(info)) for info in archive.infolist()}


@pytest.fixture(scope="module")
def markup(package):
    _, entries = package
    return entries["MainWindow.xml"][1]


def png_header(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    length, kind = struct.unpack(">I4s", data[8:16])
    assert kind == b"IHDR" and length == 13
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", data[16:29])
    return width, height, depth, colour, interlace


def png_rows(data):
    """Unfiltered pixel rows of an 8-bit non-interlaced PNG."""
    width, height, _, colour, _ = png_header(data)
    step = {GREY: 1, RGB: 3, PALETTE: 1, RGBA: 4}[colour]
    stream, pos = b"", 8
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if kind == b"IDAT":
            stream += data[pos + 8:pos + 8 + length]
        pos += 12 + length
    raw, stride, prior, rows = zlib.decompress(stream), width * step, bytearray(width * step), []
    for y in range(height):
        kind, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = row[i - step] if i >= step else 0
            b, c = prior[i], prior[i - step] if i >= step else 0
            if kind == 1:
                row[i] = (row[i] + a) & 255
            elif kind == 2:
                row[i] = (row[i] + b) & 255
            elif kind == 3:
                row[i] = (row[i] + (a + b) // 2) & 255
            elif kind == 4:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(row))
        prior = row
    return rows, step


def test_entries_are_deflated_files_at_the_root_with_fixed_stamps(package):
    _, entries = package
    for name, (info, _) in entries.items():
        assert "/" not in name and "\\" not in name and not info.is_dir(), name
        assert info.compress_type == zipfile.ZIP_DEFLATED, name
        assert info.date_time == (1980, 1, 1, 0, 0, 0), name


def test_package_holds_the_description_and_exactly_the_images_it_uses(package, markup):
    _, entries = package
    text = markup.decode("utf-8")
    referenced = set(packer.referenced_images(text))
    assert referenced | {"shadow.png"} == set(IMAGES)
    assert set(entries) == {"MainWindow.xml"} | set(IMAGES)
    assert next(iter(entries)) == "MainWindow.xml"


@pytest.mark.parametrize("name", sorted(IMAGES))
def test_image_size_format_and_distinct_states(package, name):
    _, entries = package
    data = entries[name][1]
    width, height, colour, states = IMAGES[name]
    assert png_header(data) == (width, height, 8, colour, 0)
    rows, step = png_rows(data)
    cell = width // states * step
    cells = [b"".join(row[i * cell:(i + 1) * cell] for row in rows) for i in range(states)]
    assert len(set(cells)) == states, "two states of the strip are identical"


def test_state_and_title_images_differ_between_files(package):
    _, entries = package
    for glyph in ("min", "close"):
        files = {entries[f"{glyph}_{state}.png"][1] for state in ("normal", "hover", "push")}
        assert len(files) == 3, glyph


def test_every_source_rectangle_lies_inside_its_image(markup):
    text = markup.decode("utf-8")
    checked = 0
    for _, attributes in packer.elements(text):
        for name, value in attributes:
            file = packer.image_file(value) if name.endswith("image") else None
            # Pairs after a "; " separator are never read, so only sources
            # that the window really uses are checked.
            used = value.split("; ")[0]
            source = re.search(r"source='(\d+),(\d+),(\d+),(\d+)'", used)
            if not file or not source:
                continue
            left, top, right, bottom = map(int, source.groups())
            width, height, _, _ = IMAGES[file]
            assert 0 <= left < right <= width and 0 <= top < bottom <= height, (file, value)
            checked += 1
    assert checked > 0


def test_description_is_utf8_crlf_without_bom(markup):
    assert markup.startswith(b'<?xml version="1.0" encoding="utf-8"?>\r\n')
    assert not markup.startswith(b"\xef\xbb\xbf")
    assert markup.count(b"\n") == markup.count(b"\r\n") and b"\r\r" not in markup
    assert markup.endswith(b"\r\n")
    markup.decode("utf-8")


def test_comments_name_the_four_pages_in_order(markup):
    comments = re.findall(r"<!--(.*?)-->", markup.decode("utf-8"), re.S)
    pages = [page for comment in comments for page in ("InitTab", "InstallingTab", "FailTab", "SuccessTab")
             if re.search(rf"\b{page}\b", comment)]
    assert pages == ["InitTab", "InstallingTab", "FailTab", "SuccessTab"]


def named(text, element, name=None, text_attr=None):
    """Attributes of the one element with that name (or that text)."""
    found = [attrs for tag, attrs in packer.elements(text)
             if tag == element and (name is None or ("name", name) in attrs)
             and (text_attr is None or ("text", text_attr) in attrs)]
    assert len(found) == 1, (element, name, text_attr)
    return found[0]


CHECK_BOX = [
    ("normalimage", "file='check_box.png' source='0,0,16,16' dest='0,2,16,18'"),
    ("hotimage", "file='check_box.png' source='16,0,32,16' dest='0,2,16,18'"),
    ("selectedimage", "file='check_box.png' source='32,0,48,16' dest='0,2,16,18'"),
]

# (element, name, text): the exact attribute list, in file order.
ORDERED = [
    ("Window", None, None, [("caption", "0,0,0,50"), ("alpha", "100")]),
    ("Button", "installBtn", None, [
        ("name", "installBtn"), ("width", "170"), ("height", "46"), ("padding", "40,40,0,0"),
        ("normalimage", "file='install_btn.png' source='0,0,170,46'"),
        ("hotimage", "file='install_btn.png' source='170,0,340,46'"),
        ("pushedimage", "file='install_btn.png' source='340,0,510,46'"),
        ("disabledimage", "file='install_btn.png' source='510,0,680,46'")]),
    ("Option", "agreeOption", None, [
        ("name", "agreeOption"), ("width", "55"), ("height", "18"), ("text", "同意"),
        ("textcolor", "#FF666666"), ("font", "1"), ("align", "left"), ("textpadding", "25,0,0,0")] + CHECK_BOX),
    ("Option", "autoStartOption", None, [
        ("name", "autoStartOption"), ("width", "115"), ("height", "18"), ("text", "开机自动启动"),
        ("textcolor", "#FF666666"), ("font", "1"), ("align", "left"), ("textpadding", "25,0,0,0")] + CHECK_BOX),
    ("Label", None, "和", [
        ("width", "14"), ("height", "21"), ("text", "和"), ("textcolor", "#FF666666"), ("font", "1"),
        ("align", "left"), ("align", "vcenter")]),
    ("Label", None, "安装位置:", [
        ("width", "70"), ("height", "36"), ("text", "安装位置:"), ("textcolor", "#FF666666"), ("font", "1"),
        ("align", "left"), ("align", "vcenter")]),
    ("Label", "installTipsLabel", None, [
        ("name", "installTipsLabel"), ("width", "400"), ("height", "17"), ("text", "正在检测环境..."),
        ("font", "1"), ("textcolor", "#FF666666"), ("align", "vcenter"), ("align", "left")]),
    ("VerticalLayout", "customInstallLayout", None, [
        ("name", "customInstallLayout"), ("visible", "false"), ("width", "700"), ("height", "150"),
        ("bkcolor", "#ffffFFFF"), ("inset", "0,32,0,2")]),
    ("Edit", "installDirEdit", None, [
        ("name", "installDirEdit"), ("width", "511"), ("height", "36"), ("font", "1"), ("enable", "false"),
        ("maxchar", "123"), ("readonly", "false"), ("textpadding", "14,3,0,0"), ("textcolor", "#FF333333"),
        ("bkimage", "file='input_edit.png' corner='4,4,4,4'")]),
    ("Progress", "installProgress", None, [
        ("name", "installProgress"), ("width", "650"), ("height", "35"), ("bkimage", "progressbar_bg.png"),
        ("foreimage", "progressbar_fg.png"), ("textpadding", "0,6,0,0"), ("textcolor", "#FFFFFFFF"),
        ("font", "1"), ("min", "0"), ("max", "100"), ("value", "0"), ("hor", "true")]),
    ("Label", "failedTipsLabel", None, [
        ("name", "failedTipsLabel"), ("width", "700"), ("height", "17"), ("text", "文件下载失败，请重试"),
        ("textcolor", "#FF333333"), ("font", "2"), ("align", "vcenter")]),
    ("Button", "closeBtn", None, [
        ("name", "closeBtn"), ("tooltip", "关闭"), ("width", "36"), ("height", "48"),
        ("normalimage", "file='close_normal.png'; source='0,0,36,48'"),
        ("hotimage", "file='close_hover.png'; source='0,0,36,48'"),
        ("pushedimage", "file='close_push.png'; source=';0,0,36,48'")]),
]


@pytest.mark.parametrize("element,name,text_attr,expected", ORDERED,
                         ids=[f"{e}-{n or t or 'root'}" for e, n, t, _ in ORDERED])
def test_key_controls_have_their_attributes_in_file_order(markup, element, name, text_attr, expected):
    assert named(markup.decode("utf-8"), element, name, text_attr) == expected


def test_fonts_and_named_controls_in_document_order(markup):
    elements = list(packer.elements(markup.decode("utf-8")))
    fonts = [attrs for tag, attrs in elements if tag == "Font"]
    assert fonts == [[("id", str(i)), ("name", "微软雅黑"), ("size", size), ("bold", bold), ("italic", "false")]
                     for i, (size, bold) in enumerate([("14", "true"), ("14", "false"), ("16", "false"),
                                                       ("20", "false")])]
    names = [(tag, dict(attrs)["name"]) for tag, attrs in elements if tag != "Font" and "name" in dict(attrs)]
    assert names == [
        ("Control", "titleBarTopSide"), ("TabLayout", "tabLayout"), ("Button", "installBtn"),
        ("VerticalLayout", "userAgreementLayout"), ("Option", "agreeOption"), ("Button", "licenseBtn"),
        ("Button", "privacyBtn"), ("Button", "openCustomBtn"), ("VerticalLayout", "customInstallLayout"),
        ("Edit", "installDirEdit"), ("Button", "changeBtn"), ("Option", "deskIconOption"),
        ("Option", "startMenuIconOption"), ("Option", "autoStartOption"), ("Button", "closeCustomBtn"),
        ("Label", "installTipsLabel"), ("Progress", "installProgress"), ("Label", "failedTipsLabel"),
        ("Button", "retryBtn"), ("Button", "cancelBtn"), ("Button", "useNowBtn"),
        ("HorizontalLayout", "titleBar"), ("HorizontalLayout", "titleBtnArea"), ("Button", "minBtn"),
        ("Button", "closeBtn"),
    ]


def test_image_description_file_rule():
    cases = [
        ("bk.png", "bk.png"),
        ("file='a.png' source='0,0,1,1'", "a.png"),
        ("source='0,0,1,1' file='b.png'", "b.png"),
        ("file='min_normal.png'; source='0,0,36,48'", "min_normal.png"),
        ("source='0,0,1,1'; file='c.png'", None),
        ("res='101' restype='PNG'", None),
        ("", None),
    ]
    for description, expected in cases:
        assert packer.image_file(description) == expected, description


def test_packing_is_reproducible(package, tmp_path):
    first, _ = package
    again = tmp_path / "again.zip"
    assert pack(SKIN_DIR, again).returncode == 0
    assert again.read_bytes() == first.read_bytes()


def test_missing_image_fails_without_leaving_a_package(tmp_path):
    skin = tmp_path / "skin"
    skin.mkdir()
    (skin / "MainWindow.xml").write_bytes((SKIN_DIR / "MainWindow.xml").read_bytes())
    for name in IMAGES:
        if name != "success.png":
            (skin / name).write_bytes((SKIN_DIR / name).read_bytes())
    output = tmp_path / "out" / "skin.zip"
    result = pack(skin, output)
    assert result.returncode != 0 and "success.png" in result.stderr
    assert not output.exists() and not Path(str(output) + ".partial").exists()
