"""Start-up and shutdown of the real executable: log file and first lines,
settings from the command line, the single-instance guard, exit codes."""

import re
import time

import pytest

from harness import INSTALLER_EXE, QUIET_WINE, PackageService, Prefix, log_lines, messages, run_installer

EXIT_ALREADY_RUNNING = 2
EXIT_DOWNLOAD_FAILED = 3


@pytest.fixture
def prefix():
    if not INSTALLER_EXE.exists():
        pytest.skip("installer not built: %s" % INSTALLER_EXE)
    with Prefix("win7") as p:
        yield p


def test_silent_run_without_service_logs_its_settings_and_fails_the_download(prefix):
    # The service refuses every request and has no default package: the download phase fails.
    with PackageService(faults=["ret-nonzero"] * 3):
        code, log = run_installer(prefix, ["/S", "/verbose", "/channel=ABC"], env=QUIET_WINE)
    assert code == EXIT_DOWNLOAD_FAILED, log
    assert log[:3] == ["Strat KivoInstaller", "Channel: abc", "Silent mode: 1"]
    assert "Dev mode: 0" in log
    assert "Exit installer, step: DownloadFail" in log, log
    logs = prefix.logs()
    lines = log_lines(logs[-1])
    assert re.match(r"kivo-installer-\d+\.log$", logs[-1].name)
    pid = logs[-1].name[len("kivo-installer-"):-len(".log")]
    first = lines[0]
    assert first[0] == "INFO" and first[3] == "WinMain" and first[2].startswith("Main.cpp:")
    assert first[4].split(":")[0] == pid
    assert re.match(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$", first[1])
    exit_line = [l for l in lines if l[5].startswith("Exit installer, step: ")][0]
    assert exit_line[3] == "WinMain::<lambda_d282752a408f67c551f8b7290d163830>::operator ()"
    # /verbose lets Debug lines through.
    assert any(l[0] == "DEBUG" for l in lines)


def test_without_verbose_no_debug_lines(prefix):
    with PackageService(faults=["ret-nonzero"] * 3):
        code, log = run_installer(prefix, ["/silent"], env=QUIET_WINE)
    assert code == EXIT_DOWNLOAD_FAILED
    assert all(l[0] != "DEBUG" for l in log_lines(prefix.logs()[-1]))
    assert "Channel: official" in log


def test_second_instance_exits_with_two(prefix):
    # The first instance holds the guard while the service keeps it waiting.
    with PackageService(faults=["hang"], args=["--hang-limit", "20"]) as service:
        first = prefix.popen([INSTALLER_EXE, "/S", "/dev"], env=QUIET_WINE)
        try:
            deadline = time.time() + 60
            while time.time() < deadline and not any("Dev mode: 1" in messages(p) for p in prefix.logs()):
                time.sleep(0.2)
            code, log = run_installer(prefix, ["/S", "/channel=second"], env=QUIET_WINE)
        finally:
            service.stop()
            first.wait(timeout=300)
    assert code == EXIT_ALREADY_RUNNING
    assert log == ["Strat KivoInstaller", "Channel: second", "Silent mode: 1", "Exit installer, already running"]
    assert len(prefix.logs()) == 2, "each process writes its own log"
