"""The installer's window driven like a person in a Windows 7 and a Windows 10
prefix: start-up state, the options and the custom-install panel, the
agreement links, a whole installation from the local package service up to
starting the client, the Windows 10 accent strip, dragging, and the Windows 7
shadow. Screenshots of every page are kept in $KIVO_ARTIFACTS_DIR."""

import time

from harness import APP_KEY, BUILD_DIR, reg_values, runs_of, to_windows_path
from window_driver import DEFAULT_INSTALL_DIR, SAMPLE_LAUNCH_COMMAND, HelperWindow, Image, window_service
from window_driver import display, prefix, session_of, win7, win10  # noqa: F401 (fixtures)

WS_CAPTION = 0x00C00000
WS_VISIBLE = 0x10000000
MAIN_STYLE = 0x06CA0000
ACTIVE_STRIP = (0x24, 0x24, 0x24)
INACTIVE_STRIP = (0x3A, 0x3A, 0x3A)


def expected_geometry(window, prefix):
    """Client and window size of the compact window: 700 x 410 before Windows 8;
    from Windows 8 on the full size adjusted for the frame (without its top), less 90."""
    if prefix.kind == "win7":
        return (700, 410), (700, 410)
    left, _, right, bottom = window["adjusted"]
    frame_x, frame_y = window["frame"][2], window["frame"][3]
    outer = (right - left, bottom - 90)
    return (outer[0] - 2 * frame_x, outer[1] - frame_y), outer


def size_of(rect):
    return rect[2] - rect[0], rect[3] - rect[1]


def test_start_up_state(prefix, session_of):
    with window_service() as service:
        session = session_of(prefix, "startup")
        window = session.wait_main()

        assert window["title"] == "Kivo安装程序"
        assert window["exstyle"] & ~0x100 == 0  # only the edge style the system adds to captions
        if prefix.kind == "win7":
            # The window base removes the caption; the skin draws the whole window.
            assert window["style"] == (MAIN_STYLE | WS_VISIBLE) & ~WS_CAPTION
        else:
            assert window["style"] == MAIN_STYLE | WS_VISIBLE
        client, outer = expected_geometry(window, prefix)
        assert size_of(window["client"]) == client
        assert size_of(window["window"]) == outer
        work = window["work"]
        centre = ((window["window"][0] + window["window"][2]) / 2, (window["window"][1] + window["window"][3]) / 2)
        assert abs(centre[0] - (work[0] + work[2]) / 2) <= 1 and abs(centre[1] - (work[1] + work[3]) / 2) <= 1
        assert session.has_icon()

        session.move_away()
        shot = session.keep("page0-options")
        assert session.page(shot) == 0
        assert session.shows(shot, "installBtn", "install_btn.png", (0, 0, 170, 46)), "install button enabled"
        assert session.checked(shot, "agreeOption") is True

        # The custom-install panel: the other three options and the location.
        session.click("openCustomBtn")
        window = session.wait_size(client[1] + 90)
        session.move_away()
        shot = session.keep("page0-custom-panel")
        for option in ("deskIconOption", "startMenuIconOption", "autoStartOption"):
            assert session.checked(shot, option) is True, option
        session.click("installDirEdit")
        window = session.wait(lambda: session.main()["edit"] is not None and session.main(), 30, "the location editor")
        assert window["edit"] == DEFAULT_INSTALL_DIR

        session.click("closeCustomBtn")
        session.wait_size(client[1])
        session.click("closeBtn")
        assert session.wait_exit() == 0
        assert session.no_dialog()
        assert service.records("config"), "the package was asked for before any click"


def test_previous_installation_directory_is_offered(win10, session_of):
    previous = "C:\\Kivo\\Earlier"
    win10.run(["reg", "add", APP_KEY, "/v", "installPath", "/t", "REG_SZ", "/d", previous, "/f", "/reg:32"],
              timeout=60, check=True)
    with window_service():
        session = session_of(win10, "previous")
        session.wait_main()
        session.click("openCustomBtn")
        session.click("installDirEdit")
        window = session.wait(lambda: session.main()["edit"] is not None and session.main(), 30, "the editor")
        assert window["edit"] == previous
        session.key("Escape")
        assert session.wait_exit() == 0


def test_agreement_option_enables_the_install_button(win7, session_of):
    with window_service():
        session = session_of(win7, "agreement")
        session.wait_main()
        session.click("agreeOption")
        session.move_away()
        shot = session.keep("page0-not-agreed")
        assert session.checked(shot, "agreeOption") is False
        assert session.shows(shot, "installBtn", "install_btn.png", (510, 0, 680, 46)), "install button disabled"

        # A disabled button does nothing.
        session.click("installBtn")
        session.move_away()
        shot = session.client_shot()
        assert session.page(shot) == 0
        assert session.no_dialog()
        assert "Start install" not in session.log()

        session.click("agreeOption")
        session.move_away()
        shot = session.client_shot()
        assert session.checked(shot, "agreeOption") is True
        assert session.shows(shot, "installBtn", "install_btn.png", (0, 0, 170, 46))
        session.click("closeBtn")
        assert session.wait_exit() == 0


def test_agreement_links_open_the_pages_in_the_browser(win10, session_of):
    # The browser is a sample program that records the address it is given.
    browser = to_windows_path(BUILD_DIR / "tools" / "sample-client" / "programs" / "kivo" / "kivo.exe")
    for scheme in ("http", "https"):
        win10.run(["reg", "add", "HKCR\\%s\\shell\\open\\command" % scheme, "/ve", "/t", "REG_SZ", "/d",
                   '"%s" "%%1"' % browser, "/f"], timeout=60, check=True)
    with window_service() as service:
        session = session_of(win10, "links")
        session.wait_main()
        session.click("licenseBtn")
        session.wait(lambda: len(runs_of(win10, "kivo.exe")) >= 1, 60, "the user agreement")
        session.click("privacyBtn")
        runs = session.wait(lambda: len(runs_of(win10, "kivo.exe")) >= 2 and runs_of(win10, "kivo.exe"), 60,
                            "the privacy policy")
        page = service.url("/kivoDIYzt/6811/pc/index.html")
        assert page + "#diySetTab=5" in runs[0]["command_line"]
        assert page + "#diySetTab=1" in runs[1]["command_line"]
        session.key("Escape")
        assert session.wait_exit() == 0


def test_interactive_installation(prefix, session_of):
    # Slow enough to watch the bar fill, fast enough for a test.
    with window_service(throttle=10000) as service:
        session = session_of(prefix, "install")
        window = session.wait_main()
        session.move_away()
        session.click("installBtn")
        session.move_away()

        readings = []
        kept = False
        deadline = time.time() + 300
        while True:
            shot = session.client_shot(window)
            page = session.page(shot)
            if page == 1:
                readings.append(session.progress(shot))
                if not kept and readings[-1] > 0:
                    session.keep("page1-installing")
                    kept = True
            elif page == 3:
                break
            else:
                assert page in (None, 0), "unexpected page %r" % page
            assert time.time() < deadline and session.process.poll() is None, "installation did not finish"
        assert kept and len(set(readings)) >= 3, readings
        assert readings == sorted(readings), "progress never goes back: %r" % readings

        session.keep("page3-success")
        assert session.shows(shot, "useNowBtn", "use_now_btn.png")
        session.click("useNowBtn")
        assert session.wait_exit() == 0
        runs = session.wait(lambda: runs_of(prefix, "kivo.exe"), 60, "the client")
        assert runs[0]["path"] == DEFAULT_INSTALL_DIR + "\\kivo.exe"
        assert runs[0]["command_line"].endswith(" " + SAMPLE_LAUNCH_COMMAND)
        log = session.log()
        assert "Launch kivo.exe" in log
        assert "Failed to launch kivo.exe" not in log
        assert log.index("Install success") < log.index("Launch kivo.exe")
        assert reg_values(prefix, APP_KEY)["installPath"][1] == DEFAULT_INSTALL_DIR
        assert [r["path"] for r in service.records("file")].count("/pkg/KivoClient.7z") >= 1


def strip_colour(session):
    return session.client_shot().pixel(350, 0)


def test_accent_strip_follows_activation(win10, session_of):
    with window_service():
        session = session_of(win10, "accent")
        session.wait_main()
        session.move_away()
        assert strip_colour(session) == ACTIVE_STRIP
        other = HelperWindow(win10, "other")
        try:
            session.wait(lambda: not session.main()["foreground"], 60, "another active window")
            time.sleep(1)
            assert strip_colour(session) == INACTIVE_STRIP
            session.keep("page0-inactive")
        finally:
            other.close()
        session.click_at(*session.client_point(300, 24))
        session.wait(lambda: session.main()["foreground"], 30, "the installer active again")
        time.sleep(0.5)
        assert strip_colour(session) == ACTIVE_STRIP
        session.key("Escape")
        assert session.wait_exit() == 0


def test_accent_strip_takes_the_colour_shown_on_title_bars(win10, session_of):
    dwm = "HKCU\\Software\\Microsoft\\Windows\\DWM"
    win10.run(["reg", "add", dwm, "/v", "ColorPrevalence", "/t", "REG_DWORD", "/d", "1", "/f"], timeout=60, check=True)
    win10.run(["reg", "add", dwm, "/v", "ColorizationColor", "/t", "REG_DWORD", "/d", "0xC40078D7", "/f"],
              timeout=60, check=True)
    with window_service():
        session = session_of(win10, "accent-colour")
        session.wait_main()
        session.move_away()
        assert strip_colour(session) == (0x00, 0x78, 0xD7)
        session.keep("page0-accent")
        session.key("Escape")
        assert session.wait_exit() == 0


def test_title_area_drags_the_window(prefix, session_of):
    with window_service():
        session = session_of(prefix, "drag")
        before = session.wait_main()
        start = session.client_point(300, 24, before)
        session.drag(start, (start[0] - 150, start[1] + 90))
        after = session.wait(lambda: session.main()["window"] != before["window"] and session.main(), 30,
                             "the window to move")
        moved = [a - b for a, b in zip(after["window"], before["window"])]
        assert moved == [-150, 90, -150, 90]
        if prefix.kind == "win7":
            shadow = session.windows("shadow")[0]
            left, top, right, bottom = after["window"]
            assert shadow["window"] == [left - 3, top - 3, right + 4, bottom + 4]

        # Over the title buttons the same gesture is a click on a button, not a drag.
        minimise = session.client_point(646, 24, after)
        session.drag(minimise, (minimise[0] - 100, minimise[1] + 60))
        assert session.main()["window"] == after["window"]
        session.key("Escape")
        assert session.wait_exit() == 0


def test_windows7_shadow(win7, session_of):
    with window_service():
        session = session_of(win7, "shadow")
        window = session.wait_main()
        shadows = session.windows("shadow")
        assert len(shadows) == 1
        shadow = shadows[0]
        left, top, right, bottom = window["window"]
        assert shadow["visible"] and shadow["owner"] == window["hwnd"]
        assert shadow["window"] == [left - 3, top - 3, right + 4, bottom + 4]
        assert shadow["exstyle"] & 0x80020 == 0x80020  # layered, transparent to the mouse

        session.move_away()
        session.keep("page0-shadow")
        screen = session.screen()
        around = Image(screen, (left - 10, top - 10, right + 10, bottom + 10))
        backdrop = around.pixel(2, 200)
        band = around.pixel(10 - 2, 200)
        assert band != backdrop, "the shadow darkens the 3 pixels left of the window"

        session.click("minBtn")
        session.wait(lambda: session.main()["iconic"], 30, "the window minimised")
        assert not session.windows("shadow")[0]["visible"]


def test_windows10_has_no_drawn_shadow(win10, session_of):
    with window_service():
        session = session_of(win10, "no-shadow")
        session.wait_main()
        assert session.windows("shadow") == []
        session.key("Escape")
        assert session.wait_exit() == 0
