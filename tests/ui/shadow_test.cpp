// The layered shadow window around a top-level window (run in a Windows 7 prefix).
#include "ui_test_support.h"

namespace {

using namespace SkinUI;
using namespace skinui_test;

void Pump(DWORD ms) {
    const DWORD start = ::GetTickCount();
    MSG msg;
    while (::GetTickCount() - start < ms) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    }
}

class PlainWindow : public CWindowWnd {
public:
    const wchar_t* GetWindowClassName() const override { return L"SkinUIShadowTestParent"; }
};

class Shadow : public FrameworkState {
protected:
    void SetUp() override {
        FrameworkState::SetUp();
        std::vector<uint32_t> pixels(20 * 20, 0x80000000);
        zip_ = MakeZip({{"shadow.png", MakePng(20, 20, pixels), {}}});
        ASSERT_TRUE(CPaintManagerUI::SetResourceZip(zip_.data(), zip_.size()));
        ASSERT_TRUE(CWndShadow::Initialize(CPaintManagerUI::GetInstance()));
        ASSERT_NE(
            parent_.Create(nullptr, L"parent", WS_POPUP | WS_MINIMIZEBOX | WS_SYSMENU, 0, 100, 120, 300, 200),
            nullptr);
    }
    void TearDown() override {
        shadow_.reset();
        if (::IsWindow(parent_.GetHWND())) {
            ::DestroyWindow(parent_.GetHWND());
        }
        FrameworkState::TearDown();
    }

    RECT Expected() const {
        RECT rc{};
        ::GetWindowRect(parent_.GetHWND(), &rc);
        return RECT{rc.left - 3, rc.top - 3, rc.right + 4, rc.bottom + 4};
    }

    static std::string Describe(const RECT& rc) {
        return std::to_string(rc.left) + "," + std::to_string(rc.top) + "," + std::to_string(rc.right) + "," +
               std::to_string(rc.bottom);
    }

    std::string ShadowRect() const {
        RECT rc{};
        ::GetWindowRect(shadow_->GetHWND(), &rc);
        return Describe(rc);
    }

    std::vector<uint8_t> zip_;
    PlainWindow parent_;
    std::unique_ptr<CWndShadow> shadow_;
};

TEST_F(Shadow, SitsAroundTheParentAndFollowsIt) {
    ::ShowWindow(parent_.GetHWND(), SW_SHOWNORMAL);
    shadow_ = std::make_unique<CWndShadow>();
    ASSERT_TRUE(shadow_->Create(parent_.GetHWND()));
    ASSERT_TRUE(shadow_->SetImage(L"shadow.png", RECT{3, 3, 4, 4}, RECT{0, 0, 0, 0}));
    Pump(100);
    HWND hwnd = shadow_->GetHWND();
    wchar_t className[64] = {};
    ::GetClassNameW(hwnd, className, 64);
    EXPECT_STREQ(className, L"SkinUIShadowWnd");
    LONG_PTR exStyle = ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
    EXPECT_NE(exStyle & WS_EX_LAYERED, 0);
    EXPECT_NE(exStyle & WS_EX_TRANSPARENT, 0);
    EXPECT_EQ(::GetWindow(hwnd, GW_OWNER), parent_.GetHWND());
    EXPECT_EQ(::SendMessageW(hwnd, WM_MOUSEACTIVATE, 0, 0), MA_NOACTIVATE);
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    EXPECT_EQ(ShadowRect(), Describe(Expected()));

    ::SetWindowPos(parent_.GetHWND(), nullptr, 40, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Pump(50);
    EXPECT_EQ(ShadowRect(), Describe(Expected())) << "moved";
    ::SetWindowPos(parent_.GetHWND(), nullptr, 0, 0, 320, 180, SWP_NOMOVE | SWP_NOZORDER);
    Pump(50);
    EXPECT_EQ(ShadowRect(), Describe(Expected())) << "resized";
}

TEST_F(Shadow, HidesWhileMinimizedAndReturnsOnRestore) {
    ::ShowWindow(parent_.GetHWND(), SW_SHOWNORMAL);
    shadow_ = std::make_unique<CWndShadow>();
    ASSERT_TRUE(shadow_->Create(parent_.GetHWND()));
    ASSERT_TRUE(shadow_->SetImage(L"shadow.png", RECT{3, 3, 4, 4}, RECT{0, 0, 0, 0}));
    HWND hwnd = shadow_->GetHWND();
    ::ShowWindow(parent_.GetHWND(), SW_MINIMIZE);
    Pump(100);
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    ::ShowWindow(parent_.GetHWND(), SW_RESTORE);
    Pump(100);
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    EXPECT_EQ(ShadowRect(), Describe(Expected()));
    ::ShowWindow(parent_.GetHWND(), SW_HIDE);
    Pump(50);
    EXPECT_FALSE(::IsWindowVisible(hwnd)) << "hidden with the parent";
}

TEST_F(Shadow, WaitsForAHiddenParentAndGoesWithIt) {
    shadow_ = std::make_unique<CWndShadow>();
    ASSERT_TRUE(shadow_->Create(parent_.GetHWND()));
    ASSERT_TRUE(shadow_->SetImage(L"shadow.png", RECT{3, 3, 4, 4}, RECT{0, 0, 0, 0}));
    HWND hwnd = shadow_->GetHWND();
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    ::ShowWindow(parent_.GetHWND(), SW_SHOWNORMAL);
    Pump(50);
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    ::DestroyWindow(parent_.GetHWND());
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_FALSE(shadow_->SetImage(L"missing.png", RECT{3, 3, 4, 4}, RECT{}));
}

TEST_F(Shadow, OnePerWindowAndReplaceable) {
    ::ShowWindow(parent_.GetHWND(), SW_SHOWNORMAL);
    const LONG_PTR original = ::GetWindowLongPtrW(parent_.GetHWND(), GWLP_WNDPROC);
    shadow_ = std::make_unique<CWndShadow>();
    ASSERT_TRUE(shadow_->Create(parent_.GetHWND()));
    CWndShadow second;
    EXPECT_FALSE(second.Create(parent_.GetHWND())) << "a window has one shadow";

    shadow_ = std::make_unique<CWndShadow>();  // the old one goes first, as a replacement does
    EXPECT_TRUE(shadow_->Create(parent_.GetHWND()));
    ASSERT_TRUE(shadow_->SetImage(L"shadow.png", RECT{3, 3, 4, 4}, RECT{0, 0, 0, 0}));
    Pump(50);
    EXPECT_EQ(ShadowRect(), Describe(Expected()));
    shadow_.reset();
    EXPECT_EQ(::GetWindowLongPtrW(parent_.GetHWND(), GWLP_WNDPROC), original)
        << "the parent's procedure is back";
    EXPECT_EQ(::SendMessageW(parent_.GetHWND(), WM_NCHITTEST, 0, MAKELPARAM(150, 170)), HTCLIENT);
}

TEST(ShadowFrame, NineGridWithHoleKeepsAlpha) {
    // 10 x 10: a 3-pixel border of half-transparent dark blue, one distinct corner, a red middle.
    std::vector<uint32_t> pixels(100, 0x80102840);
    pixels[0] = 0x40000000;
    for (int y = 3; y < 6; ++y) {
        for (int x = 3; x < 6; ++x) {
            pixels[static_cast<size_t>(y) * 10 + x] = 0xFFFF0000;
        }
    }
    TImageInfo image;
    ASSERT_TRUE(DecodeImage(MakePng(10, 10, pixels), 0, image));
    CCanvas frame;
    ASSERT_TRUE(CWndShadow::RenderFrame(image, SIZE{307, 207}, RECT{3, 3, 4, 4}, RECT{0, 0, 0, 0}, frame));
    ASSERT_EQ(frame.Width(), 307);
    ASSERT_EQ(frame.Height(), 207);
    const uint32_t border = image.pixels[1];  // premultiplied
    EXPECT_EQ(frame.Pixel(0, 0), image.pixels[0]) << "corner drawn 1:1";
    EXPECT_EQ(frame.Pixel(150, 1), border) << "top edge";
    EXPECT_EQ(frame.Pixel(1, 100), border) << "left edge";
    EXPECT_EQ(frame.Pixel(305, 100), border) << "right edge";
    EXPECT_EQ(frame.Pixel(150, 205), border) << "bottom edge";
    EXPECT_EQ(frame.Pixel(150, 100), 0u) << "the middle is left out";
    EXPECT_EQ(frame.Pixel(3, 3), 0u) << "the hole starts right inside the offsets";
    EXPECT_EQ(border >> 24, 0x80u);
}

}  // namespace
