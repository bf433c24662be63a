"""The download phase of a silent run against the local package service:
the package configuration request, the package download with its MD5 check,
and the default package when the service cannot be used."""

import json

import pytest

from harness import INSTALLER_EXE, SERVICE_PORT, PackageService, Prefix, run_installer

DEFAULT_PACKAGE_PATH = "/kivopc/19881/7.5.1.0/KivoClientUpdate7.5.1.0.7z"
EXIT_DOWNLOAD_FAILED = 3
PACKAGE = bytes((i * 7919) % 251 for i in range(3 * 1024 * 1024))


@pytest.fixture
def prefix():
    if not INSTALLER_EXE.exists():
        pytest.skip("installer not built: %s" % INSTALLER_EXE)
    with Prefix("win10") as p:
        yield p


def served_config(service, md5):
    return {"DownloadUrl": "{base}/pkg/KivoClient.7z", "Md5": md5.upper(), "Version": "7.6.0.1",
            "LaunchCommand": "/from setup", "StartExternal": 0}


def leftover_packages(prefix):
    return sorted(p.name for p in prefix.temp_dir().glob("*.kvdl"))


def test_silent_dev_run_downloads_and_verifies_the_package(prefix):
    service = PackageService()
    md5 = service.add_file("pkg/KivoClient.7z", PACKAGE)
    service.config = served_config(service, md5)
    with service:
        code, log = run_installer(prefix, ["/silent", "/dev"])
        configs = service.records("config")
        files = service.records("file")

    assert code != EXIT_DOWNLOAD_FAILED, log
    # One request to the test endpoint, with the first request id of the process.
    assert [c["path"] for c in configs] == ["/json"]
    request = configs[0]["request"]
    assert request["iRequestId"] == 0
    assert request["iVersion"] == 4
    assert request["sServantName"] == "zivuz"
    assert request["sFuncName"] == "getPCDownloaderbyHttpRequest"
    assert json.loads(request["sBuffer"]) == {"tReq": {"sChannel": "official"}}
    assert configs[0]["headers"]["Content-Type"] == "application/json"

    assert [f["path"] for f in files] == ["/pkg/KivoClient.7z"]
    assert files[0]["headers"]["User-Agent"] == "KivoPCSetup/1.0.0.0"

    assert "Get package config failed, use default" not in log
    assert ("DownloadUrl: http://127.0.0.1:%d/pkg/KivoClient.7z, Md5: %s, Version: 7.6.0.1, "
            "LaunchCommand: /from setup, DesktopIconUrl: , CefDownloadUrl: , CefMd5: , StartExternal: 0"
            % (SERVICE_PORT, md5.upper())) in log
    assert "Download success" in log
    # The install phase follows the verified download.
    assert log.index("Download success") < log.index("Start install")
    assert "Download failed, can't install" not in log
    assert leftover_packages(prefix) == [], "shutdown removes the package file"


def test_production_endpoint_without_dev(prefix):
    service = PackageService()
    md5 = service.add_file("pkg/KivoClient.7z", PACKAGE)
    service.config = served_config(service, md5)
    with service:
        code, log = run_installer(prefix, ["/silent", "/verbose"])
        configs = service.records("config")
    assert [c["path"] for c in configs] == ["/prod/json"]
    # The reply is logged only with /verbose.
    assert any(line.startswith('Response: {"iRequestId": 0, "sBuffer": ') for line in log), log
    assert "Download success" in log


def test_retried_reply_then_wrong_package(prefix):
    service = PackageService(faults=["wrong-id", "no-trsp"])
    service.add_file("pkg/KivoClient.7z", PACKAGE)
    service.config = served_config(service, "0" * 32)
    with service:
        code, log = run_installer(prefix, ["/silent", "/dev"])
        ids = [c["request"]["iRequestId"] for c in service.records("config")]
    assert ids == [0, 1, 2]
    assert log.count("Request id not match") == 1
    assert log.count("Response tRsp not exist") == 1
    assert "Download file md5 not match" in log
    assert code == EXIT_DOWNLOAD_FAILED


def test_unusable_service_falls_back_to_the_default_package(prefix):
    # The connection is closed without an answer: a transfer failure each time.
    service = PackageService(faults=["drop", "drop", "drop"])
    with service:
        code, log = run_installer(prefix, ["/silent", "/dev"])
        missing = service.records("missing")
    assert [line for line in log if line.startswith("Post request failed: ")] == ["Post request failed: 52"] * 3
    assert "Get package config failed, use default" in log
    assert ("DownloadUrl: http://127.0.0.1:%d%s, Md5: 88ad2606f38647a8b382c2823a44a11b, Version: 7.5.1.0, "
            "LaunchCommand: , DesktopIconUrl: , CefDownloadUrl: , CefMd5: , StartExternal: 0"
            % (SERVICE_PORT, DEFAULT_PACKAGE_PATH)) in log
    assert [m["path"] for m in missing] == [DEFAULT_PACKAGE_PATH]
    # The service's 404 page is not the default package.
    assert "Download file md5 not match" in log
    assert code == EXIT_DOWNLOAD_FAILED


def test_service_down(prefix):
    code, log = run_installer(prefix, ["/silent", "/dev"])
    assert [line for line in log if line.startswith("Post request failed: ")] == ["Post request failed: 7"] * 3
    assert "Get package config failed, use default" in log
    assert "Download failed: 7" in log
    assert code == EXIT_DOWNLOAD_FAILED
