"""Runs the real installer under Wine for end-to-end tests.

Each test gets a fresh prefix copied from a template (tests/harness), and the
installer's log, exit code and registry are read back from that prefix.
"""

import glob
import os
import shutil
import subprocess
import time
from pathlib import Path

SOURCE_DIR = Path(os.environ.get("KIVO_SOURCE_DIR", Path(__file__).resolve().parents[2]))
BUILD_DIR = Path(os.environ.get("KIVO_BUILD_DIR", SOURCE_DIR / "build-x64"))
HARNESS_DIR = SOURCE_DIR / "tests" / "harness"
INSTALLER_EXE = Path(os.environ.get("KIVO_INSTALLER_EXE", BUILD_DIR / "KivoInstaller.exe"))


def _shell(script, env=None):
    return subprocess.run(["bash", "-c", script], check=True, capture_output=True, text=True, env=env).stdout.strip()


def wine_loader():
    return _shell(f". '{HARNESS_DIR}/prefix-lib.sh'; echo $KIVO_WINE")


def to_windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


class Prefix:
    """A fresh Wine prefix of one kind ("win7" or "win10"), removed on close."""

    def __init__(self, kind="win7"):
        self.kind = kind
        self.path = Path(_shell(f". '{HARNESS_DIR}/prefix-lib.sh'; kivo_new_prefix {kind}"))
        self.arch = _shell(f". '{HARNESS_DIR}/prefix-lib.sh'; kivo_arch_of {kind}")
        self.wine = wine_loader()

    def env(self, extra=None):
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": str(self.path),
            "WINEARCH": self.arch,
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "LANG": "C.UTF-8",
        })
        if extra:
            env.update(extra)
        return env

    def run(self, args, timeout=300, env=None, check=False):
        """Runs a Windows program (path or name) with arguments; returns CompletedProcess."""
        cmd = [self.wine] + [str(a) for a in args]
        if not os.environ.get("DISPLAY"):
            cmd = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24"] + cmd
        return subprocess.run(cmd, env=self.env(env), capture_output=True, timeout=timeout, check=check)

    def popen(self, args, env=None):
        cmd = [self.wine] + [str(a) for a in args]
        return subprocess.Popen(cmd, env=self.env(env), stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def wait_idle(self):
        subprocess.run(["wineserver", "-w"], env=self.env(), timeout=120)

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env(), capture_output=True)
        if os.environ.get("KIVO_KEEP_PREFIX") != "1":
            shutil.rmtree(self.path, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # --- locations inside the prefix ---

    def user_dir(self):
        users = [p for p in (self.path / "drive_c" / "users").iterdir() if p.name not in ("Public",)]
        return users[0]

    def temp_dir(self):
        # Wine's TEMP is C:\users\<user>\Temp, not the AppData one of Windows.
        return self.user_dir() / "Temp"

    def unix_path(self, windows_path):
        """C:\\x\\y inside the prefix as a host path."""
        drive, rest = windows_path[0].lower(), windows_path[3:].replace("\\", "/")
        if drive == "z":
            return Path("/" + rest)
        return self.path / ("drive_" + drive) / rest

    def logs(self):
        """Installer logs in the prefix's temporary directory, oldest first."""
        files = glob.glob(str(self.temp_dir() / "kivo-installer-*.log"))
        return sorted((Path(f) for f in files), key=lambda p: p.stat().st_mtime)

    def reg_query(self, key, value=None, view32=True):
        args = ["reg", "query", key]
        if value is not None:
            args += ["/v", value]
        if view32 and self.arch == "win64":
            args += ["/reg:32"]
        result = self.run(args, timeout=60)
        return result.returncode, result.stdout.decode("utf-8", "replace")


def log_lines(path):
    """The lines of one installer log: (tag, time, file:line, function, pid:tid, message)."""
    data = Path(path).read_bytes()
    assert not data.startswith(b"\xef\xbb\xbf"), "log must not start with a byte-order mark"
    lines = []
    for raw in data.decode("utf-8").split("\r\n"):
        if not raw:
            continue
        parts = []
        rest = raw
        for _ in range(5):
            assert rest.startswith("["), raw
            close = rest.index("]")
            parts.append(rest[1:close])
            rest = rest[close + 1:]
        parts.append(rest)
        lines.append(parts)
    return lines


def messages(path):
    return [line[5] for line in log_lines(path)]


def run_installer(prefix, args, timeout=300, env=None):
    """Runs the installer in the prefix; returns (exit code, messages of its newest log)."""
    before = set(prefix.logs())
    started = time.time()
    result = prefix.run([INSTALLER_EXE] + list(args), timeout=timeout, env=env)
    new_logs = [p for p in prefix.logs() if p not in before]
    assert new_logs, "installer wrote no log (exit %r, %.1fs)" % (result.returncode, time.time() - started)
    return result.returncode, messages(new_logs[-1])


# --- the local package service (tools/package_service.py) ---

import hashlib  # noqa: E402
import json  # noqa: E402
import sys  # noqa: E402
import tempfile  # noqa: E402
import urllib.request  # noqa: E402

SERVICE_SCRIPT = SOURCE_DIR / "tools" / "package_service.py"
SERVICE_PORT = 47631


def md5_of(path):
    digest = hashlib.md5()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


class PackageService:
    """tools/package_service.py on 127.0.0.1 with its own files directory and
    JSON-lines record; the installer of a test build talks to port 47631.

    config: the package configuration (tRsp members; "{base}" stands for the
    service's URL); faults: modes of the first configuration replies; args:
    further command-line options."""

    def __init__(self, config=None, faults=(), port=SERVICE_PORT, args=()):
        self.dir = Path(tempfile.mkdtemp(prefix="kivo-service-"))
        self.files = self.dir / "files"
        self.files.mkdir()
        self.record_path = self.dir / "record.jsonl"
        self.config = dict(config or {})
        self.faults = list(faults)
        self.requested_port = port
        self.args = list(args)
        self.port = None
        self.process = None

    def add_file(self, name, data):
        """Puts data (bytes) under files/name; returns its MD5."""
        path = self.files / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        return hashlib.md5(data).hexdigest()

    def start(self):
        config_path = self.dir / "config.json"
        config_path.write_text(json.dumps(self.config), encoding="utf-8")
        cmd = [sys.executable, str(SERVICE_SCRIPT), "--port", str(self.requested_port), "--files", str(self.files),
               "--config", str(config_path), "--record", str(self.record_path), "--idle-exit", "900"] + self.args
        # Errors go to a file: a pipe nobody reads could fill and stall the service.
        errors_path = self.dir / "service.err"
        with open(errors_path, "w") as errors:
            self.process = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=errors, text=True)
        line = self.process.stdout.readline()
        if not line.strip().isdigit():
            self.process.kill()
            self.process.wait()
            message = "package service did not start: %s %s" % (line, errors_path.read_text())
            self.close()
            raise RuntimeError(message)
        self.port = int(line)
        if self.faults:
            self.control(faults=self.faults)
        return self

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if self.process:
            self.process.stdout.close()
        self.process = None

    def close(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()

    def url(self, path=""):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def control(self, **command):
        request = urllib.request.Request(self.url("/control"), data=json.dumps(command).encode(),
                                         headers={"Content-Type": "application/json"}, method="POST")
        with urllib.request.urlopen(request, timeout=10) as answer:
            return json.loads(answer.read())

    def records(self, kind=None):
        if not self.record_path.exists():
            return []
        with open(self.record_path, encoding="utf-8") as f:
            entries = [json.loads(line) for line in f if line.strip()]
        return [e for e in entries if kind is None or e["kind"] == kind]

    def beacons(self):
        """Decoded query fields of every telemetry beacon, in arrival order."""
        return [e["fields"] for e in self.records("beacon")]

    def wait_for(self, kind, count, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline and len(self.records(kind)) < count:
            time.sleep(0.1)
        return self.records(kind)


# --- the sample client package (tools/sample-client) and the install phase ---

import re  # noqa: E402

SAMPLE_PACKAGES = BUILD_DIR / "sample-packages"
FIXTURES_DIR = BUILD_DIR / "tests"
# Wine's menu builder would mirror every Start-menu and desktop link into the
# host's home; installations under test keep to their prefix.
QUIET_WINE = {"WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d"}
SAMPLE_RECORD = "C:\\ProgramData\\KivoSample\\record.txt"
APP_KEY = "HKLM\\SOFTWARE\\KivoPc\\KivoClient"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KivoClient"


def private_user_folders(prefix):
    """Turns the user folders that a new prefix links to the host's home
    (Desktop, Documents, ...) into directories of the prefix."""
    for entry in prefix.user_dir().iterdir():
        if entry.is_symlink():
            entry.unlink()
            entry.mkdir()


def sample_runs(prefix):
    """Lines of the sample programs' record file: dicts with path, command_line, pid, elevated."""
    path = prefix.unix_path(SAMPLE_RECORD)
    if not path.exists():
        return []
    runs = []
    for line in path.read_text(encoding="utf-8").splitlines():
        fields = line.split("\t")
        if len(fields) == 4:
            runs.append({"path": fields[0], "command_line": fields[1], "pid": int(fields[2]),
                         "elevated": fields[3] == "1"})
    return runs


def runs_of(prefix, exe_name):
    return [r for r in sample_runs(prefix) if r["path"].lower().endswith("\\" + exe_name.lower())]


def reg_values(prefix, key):
    """The values of one registry key (32-bit view) as {name: (type, data)}; None without the key.
    Read through "reg export", whose UTF-16 file keeps every character (the
    console output of "reg query" does not)."""
    exported = "C:\\kivo-reg-export.reg"
    path = prefix.unix_path(exported)
    args = ["reg", "export", key, exported, "/y"] + (["/reg:32"] if prefix.arch == "win64" else [])
    if prefix.run(args, timeout=60).returncode != 0:
        return None
    text = path.read_bytes().decode("utf-16")
    path.unlink()
    values = {}
    for line in text.splitlines():
        match = re.match(r'^"((?:[^"\\]|\\.)*)"=(.*)$', line)
        if not match:
            continue
        name = re.sub(r"\\(.)", r"\1", match.group(1))
        data = match.group(2)
        if data.startswith('"'):
            values[name] = ("REG_SZ", re.sub(r"\\(.)", r"\1", data[1:-1]))
        elif data.startswith("dword:"):
            values[name] = ("REG_DWORD", int(data[6:], 16))
        else:
            values[name] = ("REG_OTHER", data)
    return values


def read_links(prefix, links):
    """Target, arguments, working directory and icon of shell links (Windows paths), via IShellLinkW."""
    result = prefix.run([FIXTURES_DIR / "kivo_links.exe"] + list(links), timeout=120, env=QUIET_WINE)
    return [json.loads(line) for line in result.stdout.decode("utf-8").splitlines() if line.startswith("{")]


def user_folders(prefix):
    """Windows paths of the folders the installer writes shortcuts and data to."""
    user = "C:\\users\\" + prefix.user_dir().name
    start_menu = user + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu"
    return {
        "desktop": user + "\\Desktop",
        "start_menu": start_menu,
        "startup": start_menu + "\\Programs\\StartUp",
        "common_programs": "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs",
        "common_startup": "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp",
        "appdata": user + "\\AppData\\Roaming",
    }


def sample_service(cef=True, faults=(), args=(), **config):
    """A package service offering the sample client (and its browser runtime)
    at /pkg/; config members override the generated package configuration."""
    service = PackageService(faults=faults, args=args)
    md5 = service.add_file("pkg/KivoClient.7z", (SAMPLE_PACKAGES / "KivoClient.7z").read_bytes())
    package = {"DownloadUrl": "{base}/pkg/KivoClient.7z", "Md5": md5, "Version": "7.6.0.1", "StartExternal": 0}
    if cef:
        cef_md5 = service.add_file("pkg/CefSharp.7z", (SAMPLE_PACKAGES / "CefSharp.7z").read_bytes())
        package.update(CefDownloadUrl="{base}/pkg/CefSharp.7z", CefMd5=cef_md5)
    package.update(config)
    service.config = package
    return service


def archive_entries(archive):
    """(path with backslashes, is directory) of every entry of a 7z archive, as 7zz lists them."""
    out = subprocess.run(["7zz", "l", "-slt", "-ba", str(archive)], check=True, capture_output=True,
                         text=True).stdout
    entries = []
    path = None
    for line in out.splitlines():
        if line.startswith("Path = "):
            path = line[7:].replace("/", "\\")
        elif line.startswith("Attributes = ") and path is not None:
            entries.append((path, line[13:].startswith("D")))
            path = None
    return entries
