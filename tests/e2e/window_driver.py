"""Drives the installer's window like a person: real X pointer and key events
(xdotool) at the positions of the skin's layout, screenshots of the X screen
(ImageMagick), and the window's state as Windows reports it
(tests/fixtures/kivo_window_probe.exe).

Everything runs on one X display: the one in $DISPLAY (scripts/test starts
Xvfb), else an Xvfb this module starts for the test session.
"""

import json
import os
import shutil
import subprocess
import time
from pathlib import Path

import pytest

from harness import (BUILD_DIR, FIXTURES_DIR, INSTALLER_EXE, QUIET_WINE, SERVICE_PORT, SOURCE_DIR, Prefix,
                     private_user_folders, sample_service)

SKIN_DIR = SOURCE_DIR / "res" / "skin"
PROBE_EXE = FIXTURES_DIR / "kivo_window_probe.exe"
ARTIFACTS_DIR = Path(os.environ.get("KIVO_ARTIFACTS_DIR", BUILD_DIR / "artifacts"))
# Pixels compared when judging which image a screenshot shows: every n-th in both directions.
SAMPLE_STEP = 3

# Client rectangles of the skin's controls (left, top, right, bottom) with the
# 1-pixel top strip hidden, as before Windows 8; with the strip shown
# everything below it moves down by one pixel.
LAYOUT = {
    "installBtn": (260, 225, 430, 271),
    "agreeOption": (20, 370, 75, 388),
    "licenseBtn": (75, 370, 187, 391),
    "privacyBtn": (201, 370, 281, 391),
    "openCustomBtn": (655, 370, 675, 390),
    "installDirEdit": (95, 382, 606, 418),
    "changeBtn": (606, 382, 670, 418),
    "deskIconOption": (30, 449, 184, 467),
    "startMenuIconOption": (184, 449, 352, 467),
    "autoStartOption": (352, 449, 467, 467),
    "closeCustomBtn": (640, 449, 660, 469),
    "installTipsLabel": (25, 305, 425, 322),
    "installProgress": (25, 342, 675, 377),
    "failedTipsLabel": (0, 292, 700, 309),
    "retryBtn": (206, 333, 336, 371),
    "cancelBtn": (364, 333, 494, 371),
    "successPicture": (189, 64, 533, 223),
    "useNowBtn": (265, 258, 435, 304),
    "titleBar": (0, 0, 700, 48),
    "minBtn": (628, 0, 664, 48),
    "closeBtn": (664, 0, 700, 48),
}
# Float controls keep their place whether the strip shows or not.
FLOATING = {"titleBar", "minBtn", "closeBtn"}

CHECKBOX_STATES = {"normal": (0, 0, 16, 16), "selected": (32, 0, 48, 16)}


SAMPLE_LAUNCH_COMMAND = "/from setup"
DEFAULT_INSTALL_DIR = "C:\\Program Files\\KivoClient"


def _run(cmd, **kwargs):
    return subprocess.run(cmd, check=True, capture_output=True, **kwargs)


def prepare_prefix(prefix):
    """A prefix as a person's desktop: user folders of its own, and windows
    drawn whole by Wine (no window manager decorates them on a bare X
    screen), so the title area the installer draws itself is on screen."""
    private_user_folders(prefix)
    prefix.run(["reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Decorated", "/t", "REG_SZ", "/d", "N",
                "/f"], timeout=60, check=True)
    # Message boxes and the folder dialog use the system font, which has no
    # Chinese; link a Chinese font behind it as Chinese Windows does.
    for face in ("Tahoma", "Microsoft Sans Serif"):
        prefix.run(["reg", "add", "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink",
                    "/v", face, "/t", "REG_MULTI_SZ", "/d", "wqy-microhei.ttc,WenQuanYi Micro Hei", "/f"],
                   timeout=60, check=True)


def window_service(throttle=None, **config):
    """The package service with the sample client package, answering with the
    launch arguments the tests look for; throttle limits the download (bytes
    per second). KIVO_SERVICE_PORT moves it for a build configured for another port."""
    args = ["--throttle", str(throttle)] if throttle else []
    config.setdefault("LaunchCommand", SAMPLE_LAUNCH_COMMAND)
    service = sample_service(cef=False, args=args, **config)
    service.requested_port = int(os.environ.get("KIVO_SERVICE_PORT", SERVICE_PORT))
    return service


def installer_logs(prefix):
    """The installer's log files in the prefix, wherever its temporary directory is."""
    return sorted((prefix.path / "drive_c" / "users").glob("**/kivo-installer-*.log"))


def log_messages(data):
    """The messages of log text (bytes): the part after the fifth bracket pair of each line."""
    messages = []
    for line in data.decode("utf-8", "replace").split("\r\n"):
        rest = line
        for _ in range(5):
            close = rest.find("]")
            if not rest.startswith("[") or close < 0:
                break
            rest = rest[close + 1:]
        else:
            messages.append(rest)
    return messages


class Display:
    """An X display for the whole test session."""

    def __init__(self):
        self.process = None
        if os.environ.get("DISPLAY"):
            self.name = os.environ["DISPLAY"]
            return
        for n in range(90, 130):
            if not os.path.exists("/tmp/.X11-unix/X%d" % n) and not os.path.exists("/tmp/.X%d-lock" % n):
                self.name = ":%d" % n
                break
        self.process = subprocess.Popen(["Xvfb", self.name, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 20
        while not os.path.exists("/tmp/.X11-unix/X%s" % self.name[1:]):
            if time.time() > deadline or self.process.poll() is not None:
                raise RuntimeError("Xvfb did not start on " + self.name)
            time.sleep(0.1)
        os.environ["DISPLAY"] = self.name

    def close(self):
        if self.process:
            self.process.terminate()
            self.process.wait(10)
            os.environ.pop("DISPLAY", None)


class Image:
    """RGB pixels of a screenshot (or any picture ImageMagick reads)."""

    def __init__(self, path, crop=None):
        args = ["convert", str(path)]
        if crop:
            left, top, right, bottom = crop
            args += ["-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top), "+repage"]
        size = _run(args + ["-format", "%w %h", "info:"]).stdout.split()
        self.width, self.height = int(size[0]), int(size[1])
        self.data = _run(args + ["-depth", "8", "rgb:-"]).stdout
        self.path = path

    def pixel(self, x, y):
        offset = (y * self.width + x) * 3
        return tuple(self.data[offset:offset + 3])

    def save(self, path):
        _run(["convert", "-size", "%dx%d" % (self.width, self.height), "-depth", "8", "rgb:-", str(path)],
             input=self.data)


_skin_cache = {}


def skin_image(name, source):
    """RGBA pixels of the source rectangle of a skin image: (width, height, bytes)."""
    key = (name, source)
    if key not in _skin_cache:
        left, top, right, bottom = source
        crop = "%dx%d+%d+%d" % (right - left, bottom - top, left, top)
        data = _run(["convert", str(SKIN_DIR / name), "-crop", crop, "+repage", "-depth", "8", "rgba:-"]).stdout
        _skin_cache[key] = (right - left, bottom - top, data)
    return _skin_cache[key]


def image_size(name):
    """Width and height of a skin image."""
    if ("size", name) not in _skin_cache:
        size = _run(["convert", str(SKIN_DIR / name), "-format", "%w %h", "info:"]).stdout.split()
        _skin_cache[("size", name)] = (int(size[0]), int(size[1]))
    return _skin_cache[("size", name)]


def image_difference(shot, origin, name, source):
    """Mean difference per channel between the skin image (its opaque pixels)
    and the screenshot at origin (client pixels); 255 when nothing compares."""
    width, height, data = skin_image(name, source)
    total = count = 0
    ox, oy = origin
    for y in range(0, height, SAMPLE_STEP):
        for x in range(0, width, SAMPLE_STEP):
            r, g, b, a = data[(y * width + x) * 4:(y * width + x) * 4 + 4]
            if a != 255:
                continue
            if not (0 <= ox + x < shot.width and 0 <= oy + y < shot.height):
                return 255
            sr, sg, sb = shot.pixel(ox + x, oy + y)
            total += abs(sr - r) + abs(sg - g) + abs(sb - b)
            count += 3
    return total / count if count else 255


class WindowSession:
    """One installer process in window mode and the person in front of it."""

    def __init__(self, prefix, args=(), env=None, exe=INSTALLER_EXE, name="window"):
        self.prefix = prefix
        self.name = name
        environment = dict(QUIET_WINE)
        environment.update(env or {})
        self.env = environment
        # Process ids repeat between Wine sessions, so a log file may already hold earlier runs.
        self.log_marks = {path: path.stat().st_size for path in installer_logs(prefix)}
        self.process = prefix.popen([exe] + list(args), env=environment)
        # Windows 8 and later show the 1-pixel strip above the pages.
        self.strip = 1 if prefix.kind == "win10" else 0

    # --- what Windows reports ---

    def probe(self):
        result = self.prefix.run([PROBE_EXE], timeout=60, env=self.env)
        return [json.loads(line) for line in result.stdout.decode("utf-8").splitlines() if line.startswith("{")]

    def windows(self, kind):
        return [w for w in self.probe() if w["kind"] == kind]

    def main(self):
        found = self.windows("main")
        return found[0] if found else None

    def wait(self, condition, timeout=60, what="condition"):
        deadline = time.time() + timeout
        while True:
            value = condition()
            if value:
                return value
            if time.time() > deadline:
                raise AssertionError("timed out waiting for " + what)
            if self.process.poll() is not None and what != "exit":
                raise AssertionError("installer exited (%s) while waiting for %s" % (self.process.returncode, what))
            time.sleep(0.3)

    def wait_main(self, timeout=90):
        def shown():
            window = self.main()
            return window if window and window["visible"] else None
        window = self.wait(shown, timeout, "the main window")
        # The first paint follows the show; give it a moment.
        time.sleep(1.0)
        return window

    def wait_size(self, height, timeout=30):
        def sized():
            window = self.main()
            client = window["client"] if window else None
            return window if client and client[3] - client[1] == height else None
        return self.wait(sized, timeout, "a client height of %d" % height)

    def dialog(self, title=None, text=None, timeout=60):
        def found():
            for window in self.windows("dialog"):
                if (title is None or window["title"] == title) and (text is None or text in window["text"]):
                    return window
            return None
        return self.wait(found, timeout, "dialog %r %r" % (title, text))

    def no_dialog(self):
        return not self.windows("dialog")

    def wait_exit(self, timeout=120):
        self.process.wait(timeout)
        return self.process.returncode

    def log(self):
        """Messages this run has logged so far."""
        messages = []
        for path in installer_logs(self.prefix):
            data = path.read_bytes()[self.log_marks.get(path, 0):]
            if b"Strat KivoInstaller" in data:
                messages += log_messages(data)
        return messages

    def wait_log(self, message, timeout=60):
        return self.wait(lambda: message in self.log(), timeout, "log line %r" % message)

    def x_window(self):
        """The X window Wine shows the main window in."""
        found = _run(["xdotool", "search", "--name", "Kivo"]).stdout.split()
        return found[0].decode() if found else None

    def has_icon(self):
        """Whether Wine published a window icon (_NET_WM_ICON) for the task bar."""
        window = self.x_window()
        if not window:
            return False
        result = subprocess.run(["xprop", "-id", window, "_NET_WM_ICON"], capture_output=True, text=True)
        return "_NET_WM_ICON(CARDINAL) =" in result.stdout

    # --- the person ---

    def client_point(self, x, y, window=None):
        window = window or self.main()
        return window["client"][0] + x, window["client"][1] + y

    def place(self, control):
        left, top, right, bottom = LAYOUT[control]
        shift = 0 if control in FLOATING else self.strip
        return left, top + shift, right, bottom + shift

    def click_at(self, sx, sy):
        _run(["xdotool", "mousemove", "--sync", str(sx), str(sy)])
        time.sleep(0.2)
        _run(["xdotool", "click", "1"])
        time.sleep(0.3)

    def click(self, control, window=None):
        left, top, right, bottom = self.place(control)
        self.click_at(*self.client_point((left + right) // 2, (top + bottom) // 2, window))

    def click_button(self, dialog, button_id):
        """Clicks a dialog button by its control id (IDOK 1, IDCANCEL 2, ...)."""
        for button in dialog["buttons"]:
            if button["id"] == button_id:
                left, top, right, bottom = button["rect"]
                self.click_at((left + right) // 2, (top + bottom) // 2)
                return
        raise AssertionError("no button %r in %r" % (button_id, dialog))

    def answer(self, dialog, button_id):
        """Clicks a button of the dialog and waits until the dialog is gone."""
        self.click_button(dialog, button_id)
        self.wait(lambda: all(d["hwnd"] != dialog["hwnd"] for d in self.windows("dialog")), 30,
                  "dialog %r to close" % dialog["title"])
        # The window repaints what the box covered.
        time.sleep(0.5)

    def wait_page(self, page, timeout=120):
        """Waits until the window shows the page; returns the client image."""
        window = self.main()
        last = []

        def shown():
            last[:] = [self.client_shot(window)]
            return last[0] if self.page(last[0]) == page else None
        try:
            return self.wait(shown, timeout, "page %d" % page)
        except AssertionError:
            if last:
                last[0].save(self.artifact("not-page%d" % page))
            raise

    def expanded(self):
        window = self.main()
        return window["client"][3] - window["client"][1] > 450

    def set_location(self, text):
        """Types a new install location into the location field, as a person
        would: open the panel, click the field, select everything, type."""
        if not self.expanded():
            self.click("openCustomBtn")
            self.wait(self.expanded, 30, "the custom-install panel")
        self.click("installDirEdit")
        self.wait(lambda: self.main()["edit"] is not None, 30, "the location editor")
        field = self.client_point(*self.place("installDirEdit")[:2])
        over = (field[0] + 30, field[1] + 18)
        self.key("End", "shift+Home", "BackSpace", over=over)
        _run(["xdotool", "type", "--delay", "60", text])
        time.sleep(0.3)
        typed = self.main()["edit"]
        assert typed == text, "typed %r, the field shows %r" % (text, typed)

    # A spot of the window's background where no control reacts to the pointer.
    QUIET_SPOT = (40, 120)

    def key(self, *keys, over=None):
        """Presses keys with the pointer over `over` (screen), by default the
        main window: without a window manager the keyboard follows the pointer."""
        if over is None:
            over = self.client_point(*self.QUIET_SPOT)
        _run(["xdotool", "mousemove", "--sync", str(over[0]), str(over[1])])
        time.sleep(0.2)
        _run(["xdotool", "key", "--delay", "80"] + list(keys))
        time.sleep(0.3)

    def move_away(self):
        """Pointer off the window, so no control shows its hot state."""
        _run(["xdotool", "mousemove", "--sync", "2", "2"])
        time.sleep(0.4)

    def drag(self, start, end):
        _run(["xdotool", "mousemove", "--sync", str(start[0]), str(start[1])])
        _run(["xdotool", "mousedown", "1"])
        time.sleep(0.3)
        steps = 8
        for i in range(1, steps + 1):
            x = start[0] + (end[0] - start[0]) * i // steps
            y = start[1] + (end[1] - start[1]) * i // steps
            _run(["xdotool", "mousemove", "--sync", str(x), str(y)])
            time.sleep(0.05)
        _run(["xdotool", "mouseup", "1"])
        time.sleep(0.5)

    # --- what the person sees ---

    def screen(self):
        """The whole X screen."""
        path = ARTIFACTS_DIR / ".screen.png"
        ARTIFACTS_DIR.mkdir(parents=True, exist_ok=True)
        _run(["import", "-window", "root", str(path)])
        return path

    def client_shot(self, window=None):
        window = window or self.main()
        return Image(self.screen(), window["client"])

    def artifact(self, label):
        """Where a screenshot of this session goes: <session>-<kind>-<label>.png."""
        return ARTIFACTS_DIR / ("%s-%s-%s.png" % (self.name, self.prefix.kind, label))

    def keep(self, label, margin=12):
        """Saves the window with its surroundings (frame, shadow, a box in
        front of it) as an artefact; returns the client image."""
        window = self.main()
        path = self.screen()
        left, top, right, bottom = window["window"]
        area = (max(left - margin, 0), max(top - margin, 0), right + margin, bottom + margin)
        Image(path, area).save(self.artifact(label))
        return Image(path, window["client"])

    def shows(self, shot, control, image, source=None, tolerance=12.0):
        left, top, right, bottom = self.place(control)
        source = source or (0, 0, right - left, bottom - top)
        return image_difference(shot, (left, top), image, source) <= tolerance

    def shows_button(self, shot, control, image):
        """The button in any of its states (side by side in its image)."""
        left, top, right, bottom = self.place(control)
        width, height = right - left, bottom - top
        states = int(image_size(image)[0] / width)
        return any(self.shows(shot, control, image, (i * width, 0, (i + 1) * width, height)) for i in range(states))

    def page(self, shot):
        """Which page the client image shows, judged by the images only that
        page draws. A button may still look hot after a message box took the
        pointer away, so every state of a button counts."""
        if self.shows_button(shot, "installBtn", "install_btn.png"):
            return 0
        if self.shows_button(shot, "retryBtn", "retry_btn.png") and \
                self.shows_button(shot, "cancelBtn", "cancel_btn.png"):
            return 2
        if self.shows_button(shot, "useNowBtn", "use_now_btn.png") and \
                self.shows(shot, "successPicture", "success.png"):
            return 3
        if self.progress(shot) is not None:
            return 1
        return None

    def progress(self, shot):
        """Filled share of the progress bar in percent, None when no bar is drawn."""
        left, top, right, bottom = self.place("installProgress")
        y = top + 30
        fill = background = 0
        for x in range(left + 2, right - 2):
            r, g, b = shot.pixel(x, y)
            if b > 200 and r < 110:
                fill += 1
            elif 140 <= r <= 215 and b > 215:
                background += 1
        measured = fill + background
        if measured < (right - left) * 0.9:
            return None
        return round(100.0 * fill / (right - left - 4))

    def checked(self, shot, option):
        """True or False for a check box, None when neither state is drawn."""
        left, top, _, _ = self.place(option)
        for state, selected in (("selected", True), ("normal", False)):
            if image_difference(shot, (left, top + 2), "check_box.png", CHECKBOX_STATES[state]) <= 12:
                return selected
        return None

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(30)
        for stream in (self.process.stdout, self.process.stderr):
            if stream:
                stream.close()


def patched_installer(path, removed="MainWindow.xml"):
    """A copy of the installer whose skin package no longer has the entry
    `removed` (its name is changed in the zip's headers)."""
    data = INSTALLER_EXE.read_bytes()
    name = removed.encode()
    replacement = name[:-1] + b"_"
    start = data.find(b"PK\x03\x04")
    assert start > 0 and data.count(name, start) >= 2, "skin package not found in the installer"
    data = data[:start] + data[start:].replace(name, replacement)
    Path(path).write_bytes(data)
    shutil.copymode(INSTALLER_EXE, path)
    return path


# --- fixtures shared by the window tests ---

@pytest.fixture(scope="module")
def display():
    if not INSTALLER_EXE.exists() or not PROBE_EXE.exists():
        pytest.skip("installer or window probe not built")
    screen = Display()
    yield screen
    screen.close()


def open_prefix(kind):
    prefix = Prefix(kind)
    prepare_prefix(prefix)
    return prefix


@pytest.fixture(params=["win7", "win10"])
def prefix(request, display):
    with open_prefix(request.param) as p:
        yield p


@pytest.fixture
def win7(display):
    with open_prefix("win7") as p:
        yield p


@pytest.fixture
def win10(display):
    with open_prefix("win10") as p:
        yield p


class HelperWindow:
    """A window of the probe program: "backdrop", a light window behind the
    installer so that frame and shadow show on the bare X screen, or "other",
    a window that takes the activation."""

    def __init__(self, prefix, mode):
        self.process = prefix.popen([PROBE_EXE, mode])
        assert self.process.stdout.readline().strip() == b"ready"

    def close(self):
        self.process.kill()
        self.process.wait(30)
        self.process.stdout.close()
        self.process.stderr.close()


@pytest.fixture
def session_of():
    """Starts installer sessions (after a backdrop) and cleans them up."""
    started = []

    def start(prefix, name, **kwargs):
        backdrop = HelperWindow(prefix, "backdrop")
        session = WindowSession(prefix, name=name, **kwargs)
        started.append((session, backdrop))
        return session

    yield start
    for session, backdrop in started:
        session.close()
        backdrop.close()
