"""The install location as a person changes it in the custom-install panel:
typed or picked with the folder dialog, checked for length, creatability and
1 GiB of free space (on real volumes of exactly that size), and given its own
"KivoClient" directory unless it is the directory already in use."""

import os
import subprocess
import tempfile

import pytest

from harness import APP_KEY, reg_values
from window_driver import open_prefix, window_service
from window_driver import display, session_of, win7, win10  # noqa: F401 (fixtures)

IDOK = 1
GIB = 1 << 30
INVALID = "请选择正确的安装路径！"
NO_SPACE = "磁盘空间不足，请释放空间后再重试."


def install_dir(prefix):
    return reg_values(prefix, APP_KEY)["installPath"][1]


@pytest.mark.parametrize("location", ["D", "C:\\windows\\win.ini\\sub"])
def test_unusable_location_is_refused(location, win7, session_of):
    with window_service():
        session = session_of(win7, "location-invalid")
        window = session.wait_main()
        session.set_location(location)
        session.click("installBtn")
        box = session.dialog(title="提示")
        assert box["text"] == INVALID
        assert box["owner"] == window["hwnd"]
        session.keep("location-invalid", margin=80)
        session.answer(box, IDOK)
        session.move_away()
        session.wait_page(0, timeout=15)
        assert "Start install" not in session.log()
        session.key("Escape")
        assert session.wait_exit() == 0


class Volume:
    """A tmpfs of a given size mounted on the host and seen as drive D: in the prefix."""

    def __init__(self, prefix, size):
        self.path = tempfile.mkdtemp(prefix="kivo-volume-")
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % size, "tmpfs", self.path],
                                capture_output=True, text=True)
        if result.returncode != 0:
            os.rmdir(self.path)
            pytest.skip("cannot mount a volume here: " + result.stderr.strip())
        self.link = prefix.path / "dosdevices" / "d:"
        if self.link.is_symlink():
            self.link.unlink()
        self.link.symlink_to(self.path)

    def free(self):
        stat = os.statvfs(self.path)
        return stat.f_bavail * stat.f_frsize

    def close(self):
        self.link.unlink()
        subprocess.run(["umount", "-l", self.path], capture_output=True)
        os.rmdir(self.path)


@pytest.mark.parametrize("size,enough", [(GIB, True), (GIB - 4096, False)])
def test_free_space_of_one_gib_is_required(size, enough, win10, session_of):
    volume = Volume(win10, size)
    try:
        assert volume.free() == size
        with window_service(throttle=2000):
            session = session_of(win10, "location-space")
            session.wait_main()
            session.set_location("D:\\Games")
            session.click("installBtn")
            if enough:
                session.move_away()
                session.wait_page(1)
                assert "Disk space is not enough" not in session.log()
                session.key("Escape")
                session.answer(session.dialog(title="退出"), IDOK)
            else:
                box = session.dialog(title="提示")
                assert box["text"] == NO_SPACE
                assert box["owner"] == 0
                session.keep("location-no-space", margin=120)
                session.answer(box, IDOK)
                session.move_away()
                session.wait_page(0, timeout=15)
                assert "Disk space is not enough" in session.log()
                session.key("Escape")
            assert session.wait_exit() == 0
    finally:
        volume.close()


def test_new_location_gets_its_own_directory(win10, session_of):
    with window_service():
        session = session_of(win10, "location-typed")
        session.wait_main()
        session.set_location("C:\\Games")
        session.click("installBtn")
        session.move_away()
        session.wait_page(3)
        session.click("closeBtn")
        assert session.wait_exit() == 0
        assert win10.unix_path("C:\\Games\\KivoClient\\kivo.exe").exists()
        assert install_dir(win10) == "C:\\Games\\KivoClient"

        # The next run offers that directory and installs into it as it is.
        session = session_of(win10, "location-again")
        session.wait_main()
        session.click("openCustomBtn")
        session.click("installDirEdit")
        assert session.wait(lambda: session.main()["edit"], 30, "the location") == "C:\\Games\\KivoClient"
        session.click("installBtn")
        session.move_away()
        session.wait_page(3)
        session.click("closeBtn")
        assert session.wait_exit() == 0
        assert install_dir(win10) == "C:\\Games\\KivoClient"
        assert not win10.unix_path("C:\\Games\\KivoClient\\KivoClient").exists()


def test_change_button_picks_a_folder(win7, session_of):
    with window_service():
        session = session_of(win7, "location-dialog")
        window = session.wait_main()
        session.click("openCustomBtn")
        session.click("changeBtn")
        browser = session.dialog(text="请选择安装位置")
        assert browser["owner"] == window["hwnd"]
        session.keep("location-folder-dialog", margin=20)
        # The dialog opens on the desktop; OK takes it.
        session.answer(browser, IDOK)
        session.click("installDirEdit")
        chosen = session.wait(lambda: session.main()["edit"], 30, "the chosen folder")
        assert chosen.lower().endswith("\\desktop")
        session.click("installBtn")
        session.move_away()
        session.wait_page(3)
        session.click("closeBtn")
        assert session.wait_exit() == 0
        assert install_dir(win7) == chosen + "\\KivoClient"
        assert win7.unix_path(chosen + "\\KivoClient\\kivo.exe").exists()
