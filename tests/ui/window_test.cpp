// Real windows (under a display): message dispatch, keys, hit testing, the native edit window, and
// the shipped skin on the screen with its Chinese text.
#include "ui_test_support.h"

#include <functional>

namespace {

using namespace SkinUI;
using namespace skinui_test;

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000) {
    const DWORD start = ::GetTickCount();
    MSG msg;
    while (!done()) {
        if (::GetTickCount() - start > timeoutMs) {
            return false;
        }
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!CPaintManagerUI::TranslateMessage(&msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        ::Sleep(5);
    }
    return true;
}

class TestWindow : public WindowImplBase {
public:
    explicit TestWindow(std::wstring skinFile) : skinFile_(std::move(skinFile)) {}

    const wchar_t* GetWindowClassName() const override { return L"SkinUITestWindow"; }
    std::wstring GetSkinFile() override { return skinFile_; }
    void InitWindow() override { ++initCalls; }
    void Notify(TNotifyUI& msg) override {
        notifications.push_back(msg.sType + L":" + (msg.pSender != nullptr ? msg.pSender->GetName() : L""));
        WindowImplBase::Notify(msg);
    }
    LRESULT OnClose(UINT, WPARAM wParam, LPARAM, bool&) override {
        closeCodes.push_back(static_cast<int>(wParam));
        return 0;  // handled: the window stays
    }
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM, bool& bHandled) override {
        if (uMsg != WM_USER + 1) {
            bHandled = false;
            return 0;
        }
        customMessages.push_back(static_cast<int>(wParam));
        return 77;
    }

    bool Saw(const std::wstring& notification) const {
        return std::find(notifications.begin(), notifications.end(), notification) != notifications.end();
    }

    int initCalls = 0;
    std::vector<std::wstring> notifications;
    std::vector<int> closeCodes;
    std::vector<int> customMessages;

private:
    std::wstring skinFile_;
};

class Windows : public FrameworkState {
protected:
    void TearDown() override {
        if (window_ && ::IsWindow(window_->GetHWND())) {
            ::DestroyWindow(window_->GetHWND());
        }
        window_.reset();
        FrameworkState::TearDown();
    }

    TestWindow& Open(const std::wstring& markup, int x = 100, int y = 100, int cx = 300, int cy = 200) {
        const std::wstring dir = MakeTempDir();
        EXPECT_TRUE(WriteBytes(dir + L"Test.xml", Bytes(WideToUtf8(markup))));
        CPaintManagerUI::SetResourcePath(dir);
        return OpenFile(L"Test.xml", x, y, cx, cy);
    }

    TestWindow& OpenFile(const std::wstring& file, int x, int y, int cx, int cy) {
        window_ = std::make_unique<TestWindow>(file);
        EXPECT_NE(window_->Create(nullptr, L"test", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, x,
                                  y, cx, cy),
                  nullptr);
        ::ShowWindow(window_->GetHWND(), SW_SHOWNORMAL);
        ::UpdateWindow(window_->GetHWND());
        EXPECT_TRUE(PumpUntil([this] { return window_->Saw(L"windowinit:" + RootName()); }));
        return *window_;
    }

    std::wstring RootName() const {
        CControlUI* root = window_->GetPaintManager().GetRoot();
        return root != nullptr ? root->GetName() : L"";
    }

    LRESULT HitTest(int clientX, int clientY) {
        POINT pt{clientX, clientY};
        ::ClientToScreen(window_->GetHWND(), &pt);
        return window_->SendMessage(WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
    }

    std::unique_ptr<TestWindow> window_;
};

const wchar_t kTitleSkin[] =
    L"<Window caption=\"0,0,0,50\">"
    L"<VerticalLayout name=\"root\" bkcolor=\"#FFFFFFFF\">"
    L"<Control name=\"body\"/>"
    L"<HorizontalLayout float=\"true\" pos=\"0,0,300,48\">"
    L"<Control name=\"fill\"/><Label name=\"title\" width=\"40\" text=\"标题\"/><Option name=\"option\" "
    L"width=\"30\"/>"
    L"<Button name=\"closebtn\" width=\"36\"/>"
    L"</HorizontalLayout>"
    L"</VerticalLayout></Window>";

TEST_F(Windows, ContentIsBuiltOnCreate) {
    TestWindow& w = Open(kTitleSkin);
    EXPECT_EQ(w.initCalls, 1);
    EXPECT_NE(w.GetPaintManager().FindControl(L"closebtn"), nullptr);
    LONG_PTR style = ::GetWindowLongPtrW(w.GetHWND(), GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, 0) << "the caption style is removed";
    EXPECT_NE(style & WS_CLIPCHILDREN, 0);
    RECT window{}, client{};
    ::GetWindowRect(w.GetHWND(), &window);
    ::GetClientRect(w.GetHWND(), &client);
    EXPECT_EQ(client.right, window.right - window.left) << "the whole window is client area";
    EXPECT_EQ(client.bottom, window.bottom - window.top);
}

TEST_F(Windows, CaptionHitTest) {
    Open(kTitleSkin);
    const struct {
        const char* where;
        POINT pt;
        LRESULT code;
    } cases[] = {
        {"title fill", {20, 10}, HTCAPTION},
        {"label in the caption", {210, 10}, HTCAPTION},
        {"option", {250, 10}, HTCLIENT},
        {"button", {280, 10}, HTCLIENT},
        {"root below the bar", {20, 49}, HTCAPTION},
        {"below the caption", {20, 50}, HTCLIENT},
        {"far below", {150, 150}, HTCLIENT},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HitTest(c.pt.x, c.pt.y), c.code) << c.where;
    }
}

TEST_F(Windows, SizeBoxHitTest) {
    Open(L"<Window sizebox=\"4,4,4,4\"><Control name=\"root\"/></Window>");
    const struct {
        POINT pt;
        LRESULT code;
    } cases[] = {
        {{1, 1}, HTTOPLEFT},    {{150, 2}, HTTOP},           {{298, 3}, HTTOPRIGHT},
        {{2, 100}, HTLEFT},     {{297, 100}, HTRIGHT},       {{1, 198}, HTBOTTOMLEFT},
        {{150, 197}, HTBOTTOM}, {{299, 199}, HTBOTTOMRIGHT}, {{150, 100}, HTCLIENT},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HitTest(c.pt.x, c.pt.y), c.code) << c.pt.x << "," << c.pt.y;
    }
}

TEST_F(Windows, EscapeClosesWithCodeOneReturnDoesNot) {
    TestWindow& w = Open(kTitleSkin);
    w.PostMessage(WM_KEYDOWN, VK_RETURN, 0);
    PumpUntil([] { return false; }, 100);
    EXPECT_TRUE(w.closeCodes.empty());
    w.PostMessage(WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(PumpUntil([&w] { return !w.closeCodes.empty(); }));
    EXPECT_EQ(w.closeCodes, std::vector<int>{1});
}

TEST_F(Windows, DispatchAndDefaultClickRouting) {
    TestWindow& w = Open(kTitleSkin);
    EXPECT_EQ(w.SendMessage(WM_USER + 1, 3, 0), 77);
    EXPECT_EQ(w.customMessages, std::vector<int>{3});
    w.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(w.closeCodes, std::vector<int>{0});

    // A click on the button named "closebtn" closes with code 1.
    w.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(280, 10));
    w.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(280, 10));
    w.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(280, 10));
    EXPECT_TRUE(w.Saw(L"click:closebtn"));
    ASSERT_TRUE(PumpUntil([&w] { return w.closeCodes.size() == 2; }));
    EXPECT_EQ(w.closeCodes[1], 1);
}

TEST_F(Windows, DefaultFrameHandlers) {
    TestWindow& w =
        Open(L"<Window mininfo=\"200,100\" roundcorner=\"8,8\"><Control name=\"root\"/></Window>");
    MINMAXINFO info{};
    w.SendMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 200);
    EXPECT_EQ(info.ptMinTrackSize.y, 100);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromWindow(w.GetHWND(), MONITOR_DEFAULTTONEAREST), &monitor);
    EXPECT_EQ(info.ptMaxTrackSize.x, monitor.rcWork.right - monitor.rcWork.left);
    EXPECT_EQ(info.ptMaxTrackSize.y, monitor.rcWork.bottom - monitor.rcWork.top);

    EXPECT_EQ(w.SendMessage(WM_NCACTIVATE, FALSE, 0), TRUE);
    EXPECT_EQ(w.SendMessage(WM_NCACTIVATE, TRUE, 0), FALSE);
    RECT proposed{10, 20, 400, 300};
    EXPECT_EQ(w.SendMessage(WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&proposed)), 0);
    EXPECT_EQ(proposed.right, 400) << "not maximized: the whole window is client area";

    ScopedRegion region(::CreateRectRgn(0, 0, 0, 0));
    EXPECT_NE(::GetWindowRgn(w.GetHWND(), region.Get()), ERROR) << "roundcorner gives the window a region";
}

struct Recorded : ITranslateAccelerator, IMessageFilterUI {
    Recorded(std::vector<std::string>& log, const char* name, UINT consumes)
        : log(log), name(name), consumes(consumes) {}
    bool TranslateAccelerator(MSG* msg) override {
        if (msg->message == WM_KEYDOWN) {
            log.push_back(std::string("accelerator ") + name);
        }
        return msg->message == WM_KEYDOWN && msg->wParam == consumes;
    }
    LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM, bool& bHandled) override {
        if (uMsg == WM_KEYDOWN) {
            log.push_back(std::string("filter ") + name);
            bHandled = wParam == consumes;
        }
        return 0;
    }
    std::vector<std::string>& log;
    const char* name;
    UINT consumes;
};

TEST_F(Windows, PreTranslateStepOrder) {
    TestWindow& w = Open(kTitleSkin);
    std::vector<std::string> log;
    Recorded first(log, "1", 'A'), second(log, "2", 'B');
    CPaintManagerUI& pm = w.GetPaintManager();
    pm.AddTranslateAccelerator(&first);
    pm.AddTranslateAccelerator(&second);
    pm.AddPreMessageFilter(&first);
    pm.AddPreMessageFilter(&second);
    MSG msg{w.GetHWND(), WM_KEYDOWN, 'A', 0, 0, {}};
    EXPECT_TRUE(CPaintManagerUI::TranslateMessage(&msg));
    EXPECT_EQ(log, (std::vector<std::string>{"accelerator 1"}));
    log.clear();
    msg.wParam = 'C';
    EXPECT_FALSE(CPaintManagerUI::TranslateMessage(&msg));
    // The window itself registered first as a filter.
    EXPECT_EQ(log, (std::vector<std::string>{"accelerator 1", "accelerator 2", "filter 1", "filter 2"}));
    pm.RemoveTranslateAccelerator(&first);
    pm.RemoveTranslateAccelerator(&second);
    pm.RemovePreMessageFilter(&first);
    pm.RemovePreMessageFilter(&second);
    MSG other{::GetDesktopWindow(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    EXPECT_FALSE(CPaintManagerUI::TranslateMessage(&other)) << "not a window of the framework";
}

TEST_F(Windows, NativeEditWindow) {
    TestWindow& w = Open(
        L"<Window><VerticalLayout name=\"root\"><Edit name=\"edit\" height=\"30\" maxchar=\"12\" "
        L"text=\"C:\\Kivo\" "
        L"textpadding=\"14,3,0,0\"/><Button name=\"other\"/></VerticalLayout></Window>");
    auto* edit = dynamic_cast<CEditUI*>(w.GetPaintManager().FindControl(L"edit"));
    ASSERT_NE(edit, nullptr);
    w.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 10));
    w.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(50, 10));
    HWND native = edit->GetNativeEditWindow();
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(::GetParent(native), w.GetHWND());
    EXPECT_EQ(::SendMessageW(native, EM_GETLIMITTEXT, 0, 0), 12);
    wchar_t text[64] = {};
    ::GetWindowTextW(native, text, 64);
    EXPECT_STREQ(text, L"C:\\Kivo");
    RECT rc{};
    ::GetWindowRect(native, &rc);
    ::MapWindowPoints(nullptr, w.GetHWND(), reinterpret_cast<POINT*>(&rc), 2);
    EXPECT_EQ(rc.left, 14);
    EXPECT_EQ(rc.top, 3);

    w.notifications.clear();
    ::SetWindowTextW(native, L"D:\\Games");
    EXPECT_EQ(edit->GetText(), L"D:\\Games");
    EXPECT_TRUE(w.Saw(L"textchanged:edit"));
    ::SendMessageW(native, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(w.Saw(L"return:edit"));

    ::SetFocus(w.GetHWND());
    ASSERT_TRUE(PumpUntil([edit] { return edit->GetNativeEditWindow() == nullptr; }));
    EXPECT_FALSE(::IsWindow(native));
    EXPECT_EQ(edit->GetText(), L"D:\\Games");
}

TEST_F(Windows, ShippedSkinOnScreenWithChineseText) {
    const std::wstring skin = SkinDir();
    ASSERT_FALSE(skin.empty());
    CPaintManagerUI::SetResourcePath(skin);
    TestWindow& w = OpenFile(L"MainWindow.xml", 50, 50, 700, 410);
    CPaintManagerUI& pm = w.GetPaintManager();
    pm.FindControl(L"titleBarTopSide")->SetVisible(false);
    dynamic_cast<COptionUI*>(pm.FindControl(L"agreeOption"))->Selected(true, false);
    ::RedrawWindow(w.GetHWND(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    PumpUntil([] { return false; }, 200);

    CCanvas shot;
    ASSERT_TRUE(shot.Create(700, 410));
    ScopedWindowDc dc(w.GetHWND());
    ASSERT_TRUE(::BitBlt(shot.Dc(), 0, 0, 700, 410, dc.Get(), 0, 0, SRCCOPY));
    ::GdiFlush();
    EXPECT_TRUE(shot.SavePng(ArtifactPath(L"skin-window.png")));

    // The face behind "微软雅黑" has the glyphs of the texts.
    HDC measure = shot.Dc();
    HGDIOBJ previous = ::SelectObject(measure, pm.GetFont(1));
    const wchar_t texts[] = L"同意用户服务协议和隐私政策";
    WORD glyphs[ARRAYSIZE(texts)] = {};
    ASSERT_NE(::GetGlyphIndicesW(measure, texts, ARRAYSIZE(texts) - 1, glyphs, GGI_MARK_NONEXISTING_GLYPHS),
              GDI_ERROR);
    ::SelectObject(measure, previous);
    for (size_t i = 0; i + 1 < ARRAYSIZE(texts); ++i) {
        EXPECT_NE(glyphs[i], 0xFFFF) << "no glyph for character " << i;
    }

    // Dark text pixels where "同意" is written (right of the check box), and the background elsewhere.
    int dark = 0;
    for (int y = 370; y < 388; ++y) {
        for (int x = 45; x < 75; ++x) {
            uint32_t p = shot.Pixel(x, y);
            dark += ((p >> 16) & 0xFF) < 0xC0 && ((p >> 8) & 0xFF) < 0xC0 && (p & 0xFF) < 0xC0 ? 1 : 0;
        }
    }
    EXPECT_GT(dark, 15) << "text of the agreement option";
    EXPECT_EQ(shot.Pixel(400, 400) & 0xFFFFFF, 0xFFFFFFu);
}

}  // namespace
