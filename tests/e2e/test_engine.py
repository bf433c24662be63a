"""The installation engine driven step by step (tests/fixtures/kivo_engine.cpp)
against the local package service: the reports it sends, the browser-runtime
task beside the package download, and the companion program."""

import time

import pytest

from harness import (FIXTURES_DIR, QUIET_WINE, SAMPLE_PACKAGES, Prefix, messages, private_user_folders,
                     read_links, runs_of, sample_service, user_folders)

ENGINE_EXE = FIXTURES_DIR / "kivo_engine.exe"
INSTALL_DIR = "C:\\Kivo Client"


@pytest.fixture
def prefix():
    if not ENGINE_EXE.exists() or not (SAMPLE_PACKAGES / "KivoClient.7z").exists():
        pytest.skip("test programs or sample packages not built in %s" % FIXTURES_DIR.parent)
    with Prefix("win10") as p:
        private_user_folders(p)
        yield p


class EngineRun:
    def __init__(self, prefix, actions, timeout=300, env=None):
        self.prefix = prefix
        before = set(prefix.logs())
        report = "C:\\engine-report.txt"
        result = prefix.run([ENGINE_EXE, report, "installdir=" + INSTALL_DIR, "dev"] + list(actions),
                            timeout=timeout, env=dict(QUIET_WINE, **(env or {})))
        self.code = result.returncode
        self.stderr = result.stderr.decode("utf-8", "replace")
        path = prefix.unix_path(report)
        self.reports = []
        if path.exists():
            for line in path.read_text(encoding="utf-8").splitlines():
                ms, thread, step, value = line.split("\t")
                self.reports.append((int(ms), thread, step, int(value)))
        new_logs = [p for p in prefix.logs() if p not in before]
        self.log = messages(new_logs[-1]) if new_logs else []

    def time_of(self, step, value):
        return next(ms for ms, _, s, v in self.reports if (s, v) == (step, value))

    def steps(self, thread=None):
        return [(step, value) for _, t, step, value in self.reports if thread is None or t == thread]

    def leftover_packages(self):
        return sorted(p.name for p in self.prefix.temp_dir().glob("*.kvdl"))


def throttled(path, bytes_per_second):
    return "{base}/pkg/%s?throttle=%d" % (path, bytes_per_second)


def test_reports_of_a_whole_installation(prefix):
    with sample_service(cef=False):
        run = EngineRun(prefix, ["silent=1", "start-install", "wait=InstallSuccess"])
    assert run.code == 0, run.stderr
    steps = run.steps()
    assert steps[0] == ("Start", 0)
    assert run.steps("caller") == [("Start", 0)]
    download = [v for s, v in steps if s == "Downloading"]
    assert download[0] == 0 and all(0 <= v <= 50 for v in download)
    # Extraction moves the bar from 50 to 85, one report per file, never back.
    extraction = [v for s, v in steps if s == "ExtraArchive"]
    assert extraction[0] == 50 and extraction[-2:] == [85, 90]
    assert extraction[:-1] == sorted(extraction[:-1]) and all(50 <= v <= 85 for v in extraction[:-1])
    files = 9
    assert len(extraction) == 1 + files + 2
    tail = steps[steps.index(("ExtraArchive", 90)):]
    assert tail == [("ExtraArchive", 90), ("UpdateConfig", 92), ("UpdateConfig", 95), ("UpdateConfig", 98),
                    ("UpdateConfig", 99), ("InstallSuccess", 100)]


def test_service_installer_is_awaited(prefix):
    # Windows 10, 64-bit: the service installer runs and the stage waits for its end.
    with sample_service(cef=False):
        run = EngineRun(prefix, ["silent=1", "start-install", "wait=InstallSuccess"],
                        env={"KIVO_SAMPLE_LINGER": "KivoServerInstaller.exe:4000"})
    assert run.code == 0, run.stderr
    waited = run.time_of("UpdateConfig", 98) - run.time_of("UpdateConfig", 95)
    assert 4000 <= waited < 20000, waited
    assert "Install UacService timeout" not in run.log
    [service] = runs_of(prefix, "KivoServerInstaller.exe")
    services = INSTALL_DIR + "\\Services"
    assert service["command_line"] == (
        '"%s\\KivoServerInstaller.exe" /UacService /Install /CopySelf /ServerFileDir="%s\\UacService"'
        % (services, services))


def test_runtime_download_runs_beside_the_package_download(prefix):
    # Each transfer alone takes about three seconds.
    client_size = (SAMPLE_PACKAGES / "KivoClient.7z").stat().st_size
    cef_size = (SAMPLE_PACKAGES / "CefSharp.7z").stat().st_size
    with sample_service(DownloadUrl=throttled("KivoClient.7z", client_size // 3),
                        CefDownloadUrl=throttled("CefSharp.7z", cef_size // 3)) as service:
        run = EngineRun(prefix, ["silent=1", "start-install", "wait=InstallSuccess"])
        started = {f["path"]: f["time"] for f in service.records("file")}
    assert run.code == 0, run.stderr
    assert abs(started["/pkg/KivoClient.7z"] - started["/pkg/CefSharp.7z"]) < 1.5, started
    log = run.log
    assert log.index("Start cef download task") < log.index("Download success")
    assert "Install cef success" in log
    assert run.leftover_packages() == []


def test_install_request_while_waiting_for_the_runtime(prefix):
    # The package arrives at once; the runtime takes about eight seconds more.
    cef_size = (SAMPLE_PACKAGES / "CefSharp.7z").stat().st_size
    with sample_service(CefDownloadUrl=throttled("CefSharp.7z", cef_size // 8)):
        run = EngineRun(prefix, ["silent=1", "start-download", "wait=Downloading:50", "sleep=1500", "start-install",
                                 "wait=InstallSuccess"])
    assert run.code == 0, run.stderr
    assert "Wait cef download task exit" in run.log
    assert run.steps("caller") == [("Start", 0), ("Downloading", 49)]
    steps = run.steps()
    assert steps.index(("Downloading", 49)) < steps.index(("DownloadSuccess", 50))
    # One install phase follows the running download phase: no second download.
    assert steps.count(("DownloadSuccess", 50)) == 1
    assert steps[-1] == ("InstallSuccess", 100)


def test_runtime_with_wrong_md5_is_fetched_again_and_never_installed(prefix):
    with sample_service(CefMd5="0" * 32) as service:
        run = EngineRun(prefix, ["silent=1", "start-download", "wait=DownloadSuccess", "start-install",
                                 "wait=InstallSuccess"])
        cef_requests = [f for f in service.records("file") if f["path"] == "/pkg/CefSharp.7z"]
    assert run.code == 0, run.stderr
    log = run.log
    assert len(cef_requests) == 2
    assert log.count("Cef download failed") == 2
    assert any(line.startswith("Cef md5 not match: ") and line.endswith(" != " + "0" * 32) for line in log)
    assert "ReStart cef download task" in log
    assert "Start install cef" not in log
    assert "Install success" in log
    assert run.leftover_packages() == []


def test_shutdown_cancels_the_runtime_download(prefix):
    cef_size = (SAMPLE_PACKAGES / "CefSharp.7z").stat().st_size
    with sample_service(CefDownloadUrl=throttled("CefSharp.7z", cef_size // 60)):
        started = time.time()
        run = EngineRun(prefix, ["silent=1", "start-download", "sleep=3000", "shutdown"])
        seconds = time.time() - started
    assert run.code == 0, run.stderr
    assert "Cef download failed: 42" in run.log
    assert seconds < 40
    assert run.leftover_packages() == []


def test_verified_runtime_package_that_was_never_installed_is_removed(prefix):
    with sample_service():
        run = EngineRun(prefix, ["silent=1", "start-download", "wait=DownloadSuccess", "shutdown"])
    assert run.code == 0, run.stderr
    assert "Start install cef" not in run.log
    assert run.leftover_packages() == []


def test_external_companion_and_its_startup_shortcut(prefix):
    folders = user_folders(prefix)
    with sample_service(cef=False, StartExternal=1):
        run = EngineRun(prefix, ["silent=0", "start-install", "wait=InstallSuccess", "sleep=2000"])
    assert run.code == 0, run.stderr
    log = run.log
    assert "Start external" in log
    assert "Failed to start external" not in log
    assert "Create external startup shortcut: 0" in log
    external = INSTALL_DIR + "\\Client\\KvExternal.exe"
    [started] = runs_of(prefix, "KvExternal.exe")
    assert started["command_line"] == '"%s" ' % external
    [link] = read_links(prefix, [folders["startup"] + "\\KivoExternal.lnk"])
    assert (link["target"], link["arguments"], link["workingDirectory"]) == (
        external, "/auto", INSTALL_DIR + "\\Client")
    # The client itself is started by the window, not by the engine.
    assert runs_of(prefix, "kivo.exe") == []
