"""Closing the installer's window like a person: during an installation the
close button and Escape ask first, Cancel keeps the installation going and OK
stops it at the engine's next check point; on the other pages the window
closes at once."""

import time

import pytest

from harness import runs_of
from window_driver import DEFAULT_INSTALL_DIR, open_prefix, window_service
from window_driver import display, session_of, win10  # noqa: F401 (fixtures)

IDOK = 1
IDCANCEL = 2
QUESTION = "当前正在安装，是否要中断安装并关闭？"


@pytest.mark.parametrize("kind,gesture", [("win10", "closeBtn"), ("win7", "Escape")])
def test_closing_during_installation_asks_first(kind, gesture, display, session_of):
    # A download of several minutes keeps the installation on the progress page.
    with open_prefix(kind) as prefix, window_service(throttle=1500):
        session = session_of(prefix, "close-" + gesture)
        window = session.wait_main()
        session.click("installBtn")
        session.move_away()
        first = session.progress(session.wait_page(1))

        def close():
            if gesture == "closeBtn":
                session.click("closeBtn")
            else:
                session.key("Escape")

        close()
        question = session.dialog(title="退出")
        assert question["text"] == QUESTION
        assert question["owner"] == window["hwnd"]
        session.keep("close-question", margin=60)
        session.answer(question, IDCANCEL)

        # Cancel: the installation goes on.
        session.move_away()
        time.sleep(3)
        shot = session.client_shot()
        assert session.page(shot) == 1
        assert session.main()["visible"] and session.process.poll() is None
        assert session.progress(shot) >= first

        close()
        question = session.dialog(title="退出")
        asked = time.time()
        session.answer(question, IDOK)
        assert session.wait_exit(60) == 0
        # The download would have taken minutes; the engine stopped at its next check.
        assert time.time() - asked < 30
        log = session.log()
        assert "Installer thread exit" in log
        assert "Install success" not in log
        assert not prefix.unix_path(DEFAULT_INSTALL_DIR + "\\kivo.exe").exists()


def test_success_page_closes_without_asking(win10, session_of):
    with window_service():
        session = session_of(win10, "close-success")
        session.wait_main()
        session.click("installBtn")
        session.move_away()
        session.wait_page(3)
        session.click("closeBtn")
        assert session.wait_exit() == 0
        assert session.no_dialog()
        # Only the button of the success page starts the client.
        assert runs_of(win10, "kivo.exe") == []
        assert win10.unix_path(DEFAULT_INSTALL_DIR + "\\kivo.exe").exists()


def test_options_page_closes_on_escape(win10, session_of):
    with window_service():
        session = session_of(win10, "close-escape")
        session.wait_main()
        session.key("Escape")
        assert session.wait_exit() == 0
        assert session.no_dialog()
