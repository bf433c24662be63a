"""What a person meets when things go wrong: a failed download with its
failure page and retry, a client still running in the install directory,
and an installer whose skin package lacks the window description."""

import shutil
import tempfile
from pathlib import Path

import pytest

from harness import BUILD_DIR, runs_of, user_folders, to_windows_path
from window_driver import DEFAULT_INSTALL_DIR, Image, open_prefix, patched_installer, window_service
from window_driver import display, session_of, win7, win10  # noqa: F401 (fixtures)

IDOK = 1
IDCANCEL = 2
RUNNING_QUESTION = "当前安装目录下有程序还在运行,是否强制退出程序以继续安装?"
SAMPLE_CLIENT = BUILD_DIR / "tools" / "sample-client" / "programs" / "kivo" / "kivo.exe"


def test_download_failure_then_retry(win10, session_of):
    with window_service(DownloadUrl="{base}/pkg/missing.7z") as service:
        session = session_of(win10, "retry")
        session.wait_main()
        # An option changed before the first attempt is still changed after the retry.
        session.click("openCustomBtn")
        session.click("deskIconOption")
        session.click("installBtn")
        session.move_away()
        shot = session.wait_page(2)
        session.keep("page2-download-failed")
        assert session.shows(shot, "retryBtn", "retry_btn.png")
        assert session.log().count("Start download") == 2

        # The package is there now; retry leads back to the options.
        good = dict(service.config, DownloadUrl="{base}/pkg/KivoClient.7z")
        service.control(config=good, throttle=6000)
        session.click("retryBtn")
        session.move_away()
        shot = session.wait_page(0)
        assert session.checked(shot, "agreeOption") is True
        session.click("openCustomBtn")
        session.move_away()
        shot = session.client_shot()
        assert session.checked(shot, "deskIconOption") is False
        assert session.checked(shot, "startMenuIconOption") is True
        session.click("installDirEdit")
        assert session.wait(lambda: session.main()["edit"], 30, "the location") == DEFAULT_INSTALL_DIR

        # The second attempt starts from an empty bar and downloads again.
        session.click("installBtn")
        session.move_away()
        readings = [session.progress(session.wait_page(1))]
        while len(readings) < 3:
            shot = session.client_shot()
            if session.page(shot) != 1:
                break
            readings.append(session.progress(shot))
        assert readings[0] <= 5, readings
        assert readings == sorted(readings)
        session.wait_page(3, timeout=180)
        session.click("closeBtn")
        assert session.wait_exit() == 0
        log = session.log()
        assert log.count("Start download") == 3
        assert "Download success" in log
        desktop = user_folders(win10)["desktop"]
        assert not win10.unix_path(desktop + "\\Kivo直播.lnk").exists()


def test_failure_page_closes_without_asking(win7, session_of):
    with window_service(DownloadUrl="{base}/pkg/missing.7z"):
        session = session_of(win7, "fail-cancel")
        session.wait_main()
        session.click("installBtn")
        session.move_away()
        session.wait_page(2)
        session.click("cancelBtn")
        assert session.wait_exit() == 0
        assert session.no_dialog()


def test_running_client_is_stopped_only_when_agreed(win7, session_of):
    install_dir = win7.unix_path(DEFAULT_INSTALL_DIR)
    install_dir.mkdir(parents=True)
    shutil.copy(SAMPLE_CLIENT, install_dir / "kivo.exe")
    client = win7.popen([DEFAULT_INSTALL_DIR + "\\kivo.exe", "/linger=600000"])
    try:
        with window_service():
            session = session_of(win7, "running-client")
            session.wait_main()
            session.wait(lambda: runs_of(win7, "kivo.exe"), 60, "the running client")

            session.click("installBtn")
            question = session.dialog(title="提示")
            assert question["text"] == RUNNING_QUESTION
            session.keep("running-client-question", margin=120)
            session.answer(question, IDCANCEL)
            session.move_away()
            session.wait_page(0)
            assert client.poll() is None, "Cancel leaves the client running"

            session.click("installBtn")
            session.answer(session.dialog(title="提示"), IDOK)
            session.move_away()
            session.wait_page(3, timeout=180)
            client.wait(60)  # OK stops the client
            session.click("closeBtn")
            assert session.wait_exit() == 0
            log = session.log()
            assert "Processes Runing in directory" in log
            assert "cancel kill process" in log
    finally:
        if client.poll() is None:
            client.kill()
        client.wait(30)
        client.stdout.close()
        client.stderr.close()


@pytest.mark.parametrize("kind,message", [("win7", "加载资源文件失败"), ("win10", "资源文件加载失败")])
def test_skin_without_window_description_ends_the_process(kind, message, display, session_of):
    folder = Path(tempfile.mkdtemp(prefix="kivo-broken-skin-"))
    try:
        broken = patched_installer(folder / "KivoInstaller.exe")
        with open_prefix(kind) as prefix, window_service():
            session = session_of(prefix, "broken-skin", exe=to_windows_path(broken))
            box = session.dialog(title="SkinUI")
            assert box["text"] == message
            assert box["owner"] == 0
            left, top, right, bottom = box["window"]
            Image(session.screen(), (left - 20, top - 20, right + 20, bottom + 20)).save(
                session.artifact("broken-skin-message"))
            session.answer(box, IDOK)
            assert session.wait_exit() == 1
            assert session.main() is None
    finally:
        shutil.rmtree(folder, ignore_errors=True)
