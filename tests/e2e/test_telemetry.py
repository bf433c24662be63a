"""Telemetry beacons of real runs, as the local collector receives them."""

import json
import re

import pytest

from harness import INSTALLER_EXE, PackageService, Prefix, run_installer

PACKAGE = bytes((i * 131) % 256 for i in range(256 * 1024))
SESSION = re.compile(r"^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}_\d{4}_\d\d_\d\d_\d\d_\d\d_\d\d$")
OS_NAMES = {"win7": ("Win7", "Win7SP1"), "win10": ("Win10",)}


@pytest.fixture(params=["win7", "win10"])
def prefix(request):
    if not INSTALLER_EXE.exists():
        pytest.skip("installer not built: %s" % INSTALLER_EXE)
    with Prefix(request.param) as p:
        yield p


def serving(**options):
    service = PackageService(**options)
    md5 = service.add_file("pkg/KivoClient.7z", PACKAGE)
    service.config = {"DownloadUrl": "{base}/pkg/KivoClient.7z", "Md5": md5, "Version": "7.6.0.1"}
    return service


def test_open_and_start_reach_the_collector(prefix):
    with serving() as service:
        run_installer(prefix, ["/silent", "/dev", "/channel=partner_7"])
        beacons = service.records("beacon")

    events = [b["fields"] for b in beacons]
    assert [e["eid"] for e in events][:2] == ["install_open", "install_start"]
    opened, started = events[0], events[1]
    for event in (opened, started):
        assert event["act"] == "/event"
        assert (event["pro"], event["dty"], event["rid"], event["rso"]) == (
            "kivo_pcexe", "live", "ods_action_log", "desktop")
        assert re.match(r"^[0-9a-f]{32}$", event["mid"]), event["mid"]
        assert event["cha"] == "partner_7"
        assert event["iver"] == event["uver"] == "1.0.0.0"
        assert event["os"] in OS_NAMES[prefix.kind]
        assert SESSION.match(event["session_id"]), event["session_id"]
    assert opened["mid"] == started["mid"]
    assert opened["session_id"] == started["session_id"]
    assert opened["eid_desc"] == "打开安装包"
    assert started["eid_desc"] == "开始真正运行安装包，执行安装程序"
    assert json.loads(opened["prop"]) == {"client_ver": "", "down_ver": "1.0.0.0"}
    assert json.loads(started["prop"]) == {"client_ver": "7.6.0.1", "down_ver": "1.0.0.0"}
    # The exact text of the properties, percent-escaped on the wire.
    assert beacons[0]["query"].endswith(
        "&eid=install_open&eid_desc=%E6%89%93%E5%BC%80%E5%AE%89%E8%A3%85%E5%8C%85"
        "&prop=%7B%0A%09%22client_ver%22%20%3A%20%22%22%2C%0A%09%22down_ver%22%20%3A%20%221.0.0.0%22%0A%7D")
    for beacon in beacons:
        assert beacon["path"] == "/d.gif"
        assert beacon["method"] == "GET"


def test_events_still_queued_at_shutdown_are_sent(prefix):
    # Each beacon takes a second, so "install_start" is still waiting when the
    # silent installation ends; shutdown lets it out.
    with serving() as service:
        service.control(beacon_faults=["slow", "slow", "slow"])
        code, log = run_installer(prefix, ["/silent", "/dev"])
        eids = [b["fields"]["eid"] for b in service.records("beacon")]
    assert eids[:2] == ["install_open", "install_start"]
    assert "Exit Lonvu thread" in log
    assert not [line for line in log if "Report failed" in line], log


def test_channel_cannot_forge_fields(prefix):
    with serving() as service:
        run_installer(prefix, ["/silent", "/dev", "/channel=a&b c&eid=forged"])
        beacons = service.records("beacon")
    assert beacons, "no beacon arrived"
    first = beacons[0]
    assert first["fields"]["cha"] == "a&b c&eid=forged"
    assert first["fields"]["eid"] == "install_open"
    assert "&cha=a%26b%20c%26eid%3Dforged&iver=1.0.0.0&" in first["query"]
