"""Silent installations of the sample client package from the local package
service: what lands on disk, in the registry and in the shell, which
programs run, what the collector hears, and the failure runs."""

import re
import time

import pytest

from harness import (APP_KEY, INSTALLER_EXE, QUIET_WINE, SAMPLE_PACKAGES, SOURCE_DIR, UNINSTALL_KEY, Prefix,
                     archive_entries, private_user_folders, read_links, reg_values, run_installer, runs_of,
                     sample_service, user_folders)

EXIT_OK = 0
EXIT_DOWNLOAD_FAILED = 3
EXIT_INSTALL_FAILED = 4
INSTALL_DIR = "C:\\Program Files\\KivoClient"
SERVICE_ARGUMENTS = '/UacService /Install /CopySelf /ServerFileDir="%s\\Services\\UacService"' % INSTALL_DIR


def new_prefix(kind):
    if not INSTALLER_EXE.exists():
        pytest.skip("installer not built: %s" % INSTALLER_EXE)
    if not (SAMPLE_PACKAGES / "KivoClient.7z").exists():
        pytest.skip("sample packages not built: %s" % SAMPLE_PACKAGES)
    prefix = Prefix(kind)
    private_user_folders(prefix)
    return prefix


@pytest.fixture(params=["win7", "win10"])
def any_prefix(request):
    with new_prefix(request.param) as p:
        yield p


@pytest.fixture
def win10(request):
    with new_prefix("win10") as p:
        yield p


def install(prefix, extra_env=None, args=("/S", "/dev")):
    env = dict(QUIET_WINE)
    env.update(extra_env or {})
    started = time.time()
    code, log = run_installer(prefix, list(args), env=env)
    return code, log, time.time() - started


def test_silent_installation(any_prefix):
    prefix = any_prefix
    folders = user_folders(prefix)
    with sample_service(DesktopIconUrl="{base}/pkg/kivo.ico") as service:
        service.add_file("pkg/kivo.ico", (SOURCE_DIR / "res" / "kivo.ico").read_bytes())
        code, log, _ = install(prefix)
        beacons = service.wait_for("beacon", 3)
        files = [f["path"] for f in service.records("file")]

    assert code == EXIT_OK, log
    assert "Exit installer, step: InstallSuccess" in log
    assert "Install success" in log
    assert sorted(files) == ["/pkg/CefSharp.7z", "/pkg/KivoClient.7z", "/pkg/kivo.ico"]

    # Every entry of the package, at its place below the install directory.
    for path, is_dir in archive_entries(SAMPLE_PACKAGES / "KivoClient.7z"):
        target = prefix.unix_path(INSTALL_DIR + "\\" + path)
        assert (target.is_dir() if is_dir else target.is_file()), path
    assert prefix.unix_path(INSTALL_DIR + "\\Resources\\empty.dat").stat().st_size == 0

    app = reg_values(prefix, APP_KEY)
    assert app["installPath"] == ("REG_SZ", INSTALL_DIR)
    assert app["channelname"] == ("REG_SZ", "official")
    assert app["version"] == ("REG_SZ", "7.6.0.1")
    assert re.match(r"^[0-9a-f]{32}$", app["machine"][1]), app
    assert app["machineid"] == app["machine"]
    uninstall = reg_values(prefix, UNINSTALL_KEY)
    assert uninstall == {
        "DisplayIcon": ("REG_SZ", INSTALL_DIR + "\\unins.exe"),
        "DisplayName": ("REG_SZ", "Kivo直播"),
        "Publisher": ("REG_SZ", "Kivo信息科技有限公司"),
        "UninstallString": ("REG_SZ", '"%s\\unins.exe"' % INSTALL_DIR),
    }

    client = INSTALL_DIR + "\\kivo.exe"
    icon = folders["appdata"] + "\\KivoPCLive\\Config\\desktop.ico"
    expected = {
        folders["desktop"] + "\\Kivo直播.lnk": (client, "", INSTALL_DIR, icon),
        folders["common_programs"] + "\\Kivo直播\\Kivo直播.lnk": (client, "", INSTALL_DIR, ""),
        folders["common_programs"] + "\\Kivo直播\\卸载.lnk": (INSTALL_DIR + "\\unins.exe", "", INSTALL_DIR, ""),
        folders["common_programs"] + "\\Kivo直播\\环境修复.lnk":
            (INSTALL_DIR + "\\Repair\\KivoRepair.exe", "", INSTALL_DIR + "\\Repair", ""),
        folders["start_menu"] + "\\Kivo直播.lnk": (client, "", INSTALL_DIR, ""),
        folders["startup"] + "\\Kivo直播.lnk": (client, "/auto", INSTALL_DIR, ""),
    }
    links = read_links(prefix, expected)
    assert {link["link"]: (link.get("target"), link.get("arguments"), link.get("workingDirectory"),
                           link.get("icon")) for link in links} == expected
    assert prefix.unix_path(icon).is_file()

    # The browser runtime went to the roaming application data; its package is gone.
    cef = prefix.unix_path(folders["appdata"] + "\\KivoPCLive\\Packages\\CefSharp")
    assert (cef / "NewSetting.json").is_file() and (cef / "99.2.120" / "cfg").is_file()
    assert "Install cef success" in log
    assert list(prefix.temp_dir().glob("*.kvdl")) == []

    assert [b["fields"]["eid"] for b in beacons] == ["install_open", "install_start", "install_complete"]

    # Silent: neither the client nor its companion is started.
    assert runs_of(prefix, "kivo.exe") == [] and runs_of(prefix, "KvExternal.exe") == []
    services = runs_of(prefix, "KivoServerInstaller.exe")
    if prefix.kind == "win10":
        assert [r["command_line"] for r in services] == [
            '"%s\\Services\\KivoServerInstaller.exe" %s' % (INSTALL_DIR, SERVICE_ARGUMENTS)]
        assert "UacService not support" not in log
        assert "Install UacService timeout" not in log
    else:
        assert services == []
        assert "UacService not support" in log


def test_wrong_md5_is_a_download_failure(win10):
    with sample_service(Md5="0" * 32):
        code, log, _ = install(win10)
    assert code == EXIT_DOWNLOAD_FAILED
    assert "Download file md5 not match" in log
    assert "Exit installer, step: DownloadFail" in log
    assert reg_values(win10, APP_KEY) is None


def test_damaged_package_is_an_install_failure(win10):
    damaged = bytearray((SAMPLE_PACKAGES / "KivoClient.7z").read_bytes())
    damaged[40] ^= 0xFF
    service = sample_service(cef=False)
    service.config["Md5"] = service.add_file("pkg/KivoClient.7z", bytes(damaged))
    with service:
        code, log, _ = install(win10)
    assert code == EXIT_INSTALL_FAILED
    assert "Install failed" in log
    assert "Exit installer, step: InstallFail" in log
    assert any(line.startswith("Extract file failed:") for line in log), log
    # Nothing after the extraction ran.
    assert reg_values(win10, APP_KEY) is None


def test_rerun_stops_the_running_client(win10):
    with sample_service(cef=False):
        code, log, _ = install(win10)
        assert code == EXIT_OK, log
        client = win10.popen([INSTALL_DIR + "\\kivo.exe", "/linger=600000"], env=QUIET_WINE)
        try:
            for _ in range(300):
                if runs_of(win10, "kivo.exe"):
                    break
                time.sleep(0.1)
            [run] = runs_of(win10, "kivo.exe")
            code, log, _ = install(win10)
            client.wait(60)
        finally:
            if client.poll() is None:
                client.kill()
    assert code == EXIT_OK, log
    assert "Process in directory: kivo.exe, ProcessId: %d" % run["pid"] in log
    assert "terminate process: %d , ret = 1" % run["pid"] in log
    assert "Exit installer, step: InstallSuccess" in log


def test_hanging_service_installer_is_given_20_seconds(win10):
    with sample_service(cef=False):
        code, log, seconds = install(win10, {"KIVO_SAMPLE_LINGER": "KivoServerInstaller.exe:60000"})
    assert code == EXIT_OK, log
    assert "Install UacService timeout" in log
    assert log.index("Install UacService timeout") < log.index("Install success")
    assert seconds >= 20
    assert len(runs_of(win10, "KivoServerInstaller.exe")) == 1
