// The main window in this process, built from the skin package of the
// installer next to the test: step reports from another thread become pages,
// clicks on the controls (as the framework delivers them) change options and
// panels, and nothing reaches the window once it has committed to closing.

#include <gtest/gtest.h>

#include <thread>

#include <SkinUI.h>

#include "GlobalInfo.h"
#include "MainWindow.h"
#include "ScopedWin.h"
#include "TestSupport.h"
#include "Utils.h"

using namespace kivoinstaller;
using SkinUI::CControlUI;
using SkinUI::COptionUI;
using SkinUI::CProgressUI;
using SkinUI::CTabLayoutUI;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The installer carries the skin package; its resources are read without running it.
        std::wstring installer = kivotest::EnvPath("KIVO_BUILD_DIR_WIN") + L"\\KivoInstaller.exe";
        skin_.Reset(::LoadLibraryExW(installer.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    }
    static void TearDownTestSuite() { skin_.Reset(); }

    void SetUp() override {
        if (!skin_) {
            GTEST_SKIP() << "KivoInstaller.exe not built";
        }
        HINSTANCE instance = ::GetModuleHandleW(nullptr);
        SkinUI::CPaintManagerUI::SetInstance(instance);
        SkinUI::CPaintManagerUI::SetResourceInstance(reinterpret_cast<HINSTANCE>(skin_.Get()));
        SkinUI::CWndShadow::Initialize(instance);
        window_ = std::make_unique<MainWindow>();
        ASSERT_NE(window_->Create(nullptr, L"Kivo安装程序", 0x06CA0000, 0, 0, 0, 700, 500), nullptr);
        Pump();
    }

    // Only where visibility is looked at: without a window manager Wine waits
    // about two seconds for every shown window to be taken off the screen.
    void Show() {
        ::ShowWindow(window_->GetHWND(), SW_SHOW);
        Pump();
        ASSERT_TRUE(::IsWindowVisible(window_->GetHWND()));
    }

    void TearDown() override {
        window_.reset();
        Pump();
        GlobalInfo& info = GlobalInfo::GetInstance();
        info.SetAgree(true);
        info.SetDeskIcon(true);
        info.SetStartMenuIcon(true);
        info.SetAutoStart(true);
        info.SetInstallDir(std::wstring());
    }

    // Dispatches everything queued; a quit message is noted, not acted on.
    void Pump() {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit_ = true;
                continue;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }

    // A report as the installer thread makes it.
    void ReportFromAnotherThread(InstallStep step, int progress) {
        std::thread reporter([this, step, progress] { window_->OnInstallStep(step, progress); });
        reporter.join();
    }

    bool StepMessageQueued() {
        MSG msg;
        return ::PeekMessageW(&msg, window_->GetHWND(), kStepMessage, kStepMessage, PM_NOREMOVE) != FALSE;
    }

    CControlUI* Find(const wchar_t* name) { return window_->GetPaintManager().FindControl(name); }
    COptionUI* Option(const wchar_t* name) { return dynamic_cast<COptionUI*>(Find(name)); }
    int Page() { return dynamic_cast<CTabLayoutUI*>(Find(L"tabLayout"))->GetCurSel(); }
    SIZE ClientSize() {
        RECT rc = {};
        ::GetClientRect(window_->GetHWND(), &rc);
        return SIZE{rc.right, rc.bottom};
    }
    // Delivers a click the way the framework does after a press and release on the control.
    void Click(const wchar_t* name) {
        CControlUI* control = Find(name);
        ASSERT_NE(control, nullptr) << Utils::WideToUtf8(name);
        ASSERT_TRUE(control->Activate()) << Utils::WideToUtf8(name);
        Pump();
    }
    bool Legacy() { return Utils::GetWindowsVersion() < Win8; }

    static ScopedModule skin_;
    std::unique_ptr<MainWindow> window_;
    bool quit_ = false;
};

ScopedModule MainWindowTest::skin_;

TEST_F(MainWindowTest, StartsOnTheOptionsPage) {
    GlobalInfo& info = GlobalInfo::GetInstance();
    EXPECT_EQ(Page(), kOptionsPage);
    for (const wchar_t* name :
         {L"agreeOption", L"deskIconOption", L"startMenuIconOption", L"autoStartOption"}) {
        ASSERT_NE(Option(name), nullptr);
        EXPECT_TRUE(Option(name)->IsSelected()) << Utils::WideToUtf8(name);
    }
    EXPECT_TRUE(Find(L"installBtn")->IsEnabled());
    EXPECT_EQ(Find(L"installDirEdit")->GetText(), info.GetInstallDir());
    EXPECT_TRUE(Find(L"userAgreementLayout")->IsVisible());
    EXPECT_FALSE(Find(L"customInstallLayout")->IsVisible());
    EXPECT_EQ(Find(L"titleBarTopSide")->IsVisible(), !Legacy());
    SIZE client = ClientSize();
    RECT window = {};
    ::GetWindowRect(window_->GetHWND(), &window);
    LONG style = ::GetWindowLongW(window_->GetHWND(), GWL_STYLE);
    if (Legacy()) {
        // The skin draws the whole window.
        EXPECT_EQ(style & WS_CAPTION, 0);
        EXPECT_EQ(client.cx, 700);
        EXPECT_EQ(client.cy, 410);
        EXPECT_EQ(window.right - window.left, 700);
    } else {
        // The system frame stays on the sides and at the bottom; the title area is client.
        EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
        RECT full = {0, 0, 700, 500};
        ::AdjustWindowRectEx(&full, static_cast<DWORD>(style), FALSE, 0);
        int frameX = ::GetSystemMetrics(SM_CXFRAME) + ::GetSystemMetrics(SM_CXPADDEDBORDER);
        int frameY = ::GetSystemMetrics(SM_CYFRAME) + ::GetSystemMetrics(SM_CXPADDEDBORDER);
        EXPECT_EQ(window.right - window.left, full.right - full.left);
        EXPECT_EQ(window.bottom - window.top, full.bottom - 90);
        EXPECT_EQ(client.cx, full.right - full.left - 2 * frameX);
        EXPECT_EQ(client.cy, full.bottom - 90 - frameY);
    }
}

TEST_F(MainWindowTest, TitleAreaDragsExceptOverItsButtons) {
    Show();
    HWND hwnd = window_->GetHWND();
    auto hit = [hwnd](int x, int y) {
        POINT pt = {x, y};
        ::ClientToScreen(hwnd, &pt);
        return ::SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
    };
    EXPECT_EQ(hit(300, 24), HTCAPTION);
    EXPECT_EQ(hit(10, 45), HTCAPTION);
    EXPECT_EQ(hit(646, 24), HTCLIENT);  // minBtn
    EXPECT_EQ(hit(682, 24), HTCLIENT);  // closeBtn
    EXPECT_EQ(hit(345, 250), HTCLIENT);
    if (!Legacy()) {
        // The top edge inside the client area keeps the frame's sizing edge.
        EXPECT_EQ(hit(300, 1), HTTOP);
    }
}

TEST_F(MainWindowTest, StepReportsFromTheInstallerThreadShowPages) {
    struct Case {
        InstallStep step;
        int progress;
        int page;
        const wchar_t* tips;
        const wchar_t* bar;
        int value;
        const wchar_t* failure;
    };
    const Case cases[] = {
        {Start, 7, kInstallingPage, L"正在下载Kivo客户端...", L"已完成：0%", 0, nullptr},
        {Downloading, 23, kInstallingPage, L"正在下载Kivo客户端...", L"已完成：23%", 23, nullptr},
        {DownloadSuccess, 50, kInstallingPage, L"正在解压资源文件...", L"已完成：50%", 50, nullptr},
        {ExtraArchive, 67, kInstallingPage, L"正在解压资源文件...", L"已完成：67%", 67, nullptr},
        {UpdateConfig, 95, kInstallingPage, L"正在更新配置文件...", L"已完成：95%", 95, nullptr},
        {InstallSuccess, 100, kSuccessPage, nullptr, nullptr, 0, nullptr},
        {DownloadFail, 0, kFailPage, nullptr, nullptr, 0, L"下载失败"},
        {InstallFail, 0, kFailPage, nullptr, nullptr, 0, L"安装失败"},
        {None, 0, kOptionsPage, nullptr, nullptr, 0, nullptr},
    };
    auto* progress = dynamic_cast<CProgressUI*>(Find(L"installProgress"));
    ASSERT_NE(progress, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(InstallStepName(c.step));
        ReportFromAnotherThread(c.step, c.progress);
        EXPECT_TRUE(StepMessageQueued());
        Pump();
        EXPECT_EQ(Page(), c.page);
        if (c.tips != nullptr) {
            EXPECT_EQ(Find(L"installTipsLabel")->GetText(), c.tips);
            EXPECT_EQ(progress->GetText(), c.bar);
            EXPECT_EQ(progress->GetValue(), c.value);
        }
        if (c.failure != nullptr) {
            EXPECT_EQ(Find(L"failedTipsLabel")->GetText(), c.failure);
        }
    }
    // Steps the window does not know post nothing.
    ReportFromAnotherThread(static_cast<InstallStep>(9), 10);
    EXPECT_FALSE(StepMessageQueued());
}

TEST_F(MainWindowTest, ReportsAfterClosingPostNothing) {
    Show();
    ::SendMessageW(window_->GetHWND(), WM_CLOSE, 0, 0);
    Pump();
    EXPECT_TRUE(quit_);
    EXPECT_FALSE(::IsWindowVisible(window_->GetHWND()));
    ReportFromAnotherThread(DownloadFail, 0);
    ReportFromAnotherThread(InstallSuccess, 100);
    EXPECT_FALSE(StepMessageQueued());
    Pump();
    EXPECT_EQ(Page(), kOptionsPage);
}

TEST_F(MainWindowTest, EscapeClosesTheWindow) {
    Show();
    MSG key = {window_->GetHWND(), WM_KEYDOWN, VK_ESCAPE, 0x00010001};
    // The pre-translate step of the message loop consumes the key.
    EXPECT_TRUE(SkinUI::CPaintManagerUI::TranslateMessage(&key));
    Pump();
    EXPECT_TRUE(quit_);
    EXPECT_FALSE(::IsWindowVisible(window_->GetHWND()));
}

TEST_F(MainWindowTest, InvalidPageIndexIsLoggedAndIgnored) {
    kivotest::LogCapture log;
    ReportFromAnotherThread(Downloading, 30);
    Pump();
    ASSERT_EQ(Page(), kInstallingPage);
    auto* payload = new StepPayload{77, L"x"};
    ASSERT_TRUE(::PostMessageW(window_->GetHWND(), kStepMessage, 4, reinterpret_cast<LPARAM>(payload)));
    Pump();
    EXPECT_EQ(Page(), kInstallingPage);
    EXPECT_EQ(dynamic_cast<CProgressUI*>(Find(L"installProgress"))->GetValue(), 30);
    log.Finish();
    EXPECT_TRUE(log.Contains("Invalid tab index: 4"));
}

TEST_F(MainWindowTest, PanelOpensAndCloses) {
    SIZE compact = ClientSize();
    Click(L"openCustomBtn");
    EXPECT_FALSE(Find(L"userAgreementLayout")->IsVisible());
    EXPECT_TRUE(Find(L"customInstallLayout")->IsVisible());
    EXPECT_EQ(ClientSize().cy, compact.cy + 90);
    Click(L"closeCustomBtn");
    EXPECT_TRUE(Find(L"userAgreementLayout")->IsVisible());
    EXPECT_EQ(ClientSize().cy, compact.cy);

    // Any page change closes the panel again.
    Click(L"openCustomBtn");
    ReportFromAnotherThread(None, 0);
    Pump();
    EXPECT_EQ(ClientSize().cy, compact.cy);
    EXPECT_FALSE(Find(L"customInstallLayout")->IsVisible());
}

TEST_F(MainWindowTest, OptionsWriteTheSettingsAndTheAgreementGuardsTheButton) {
    GlobalInfo& info = GlobalInfo::GetInstance();
    Click(L"agreeOption");
    EXPECT_FALSE(info.GetAgree());
    EXPECT_FALSE(Find(L"installBtn")->IsEnabled());
    Click(L"agreeOption");
    EXPECT_TRUE(info.GetAgree());
    EXPECT_TRUE(Find(L"installBtn")->IsEnabled());

    Click(L"openCustomBtn");
    Click(L"deskIconOption");
    Click(L"autoStartOption");
    EXPECT_FALSE(info.GetDeskIcon());
    EXPECT_TRUE(info.GetStartMenuIcon());
    EXPECT_FALSE(info.GetAutoStart());
}

TEST_F(MainWindowTest, RetryReadsTheOptionsAndLocationAgain) {
    GlobalInfo& info = GlobalInfo::GetInstance();
    ReportFromAnotherThread(DownloadFail, 0);
    Pump();
    ASSERT_EQ(Page(), kFailPage);
    info.SetStartMenuIcon(false);
    info.SetInstallDir(L"D:\\Games\\KivoClient");
    Click(L"retryBtn");
    EXPECT_EQ(Page(), kOptionsPage);
    EXPECT_FALSE(Option(L"startMenuIconOption")->IsSelected());
    EXPECT_TRUE(Option(L"deskIconOption")->IsSelected());
    EXPECT_EQ(Find(L"installDirEdit")->GetText(), L"D:\\Games\\KivoClient");
}

TEST_F(MainWindowTest, QueuedReportsAreReleasedWithTheWindow) {
    ReportFromAnotherThread(Downloading, 10);
    ReportFromAnotherThread(Downloading, 20);
    EXPECT_TRUE(StepMessageQueued());
    HWND hwnd = window_->GetHWND();
    window_.reset();
    EXPECT_FALSE(::IsWindow(hwnd));
}

}  // namespace
