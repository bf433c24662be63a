// Input routing and notifications through the paint manager (no native window needed).
#include "ui_test_support.h"

namespace {

using namespace SkinUI;
using namespace skinui_test;

struct Recorder : INotifyUI {
    void Notify(TNotifyUI& msg) override { seen.push_back(msg); }
    std::vector<std::wstring> Types() const {
        std::vector<std::wstring> types;
        for (const TNotifyUI& m : seen) {
            types.push_back(m.sType + L":" + (m.pSender != nullptr ? m.pSender->GetName() : L""));
        }
        return types;
    }
    std::vector<TNotifyUI> seen;
};

class Input : public FrameworkState {
protected:
    void SetUp() override {
        FrameworkState::SetUp();
        zip_ = MakeZip({
            {"normal.png", MakePng(1, 1, {0xFF0000FF}), {}},
            {"hot.png", MakePng(1, 1, {0xFFFF0000}), {}},
            {"pushed.png", MakePng(1, 1, {0xFF00FF00}), {}},
        });
        ASSERT_TRUE(CPaintManagerUI::SetResourceZip(zip_.data(), zip_.size()));
        CDialogBuilder builder;
        CControlUI* root = builder.Create(
            L"<Window><HorizontalLayout>"
            L"<Button name=\"button\" width=\"20\" normalimage=\"normal.png\" pushedimage=\"pushed.png\"/>"
            L"<Button name=\"disabled\" width=\"20\" enabled=\"false\"/>"
            L"<Option name=\"check\" width=\"20\"/>"
            L"<Option name=\"radio1\" width=\"20\" group=\"g\"/>"
            L"<Option name=\"radio2\" width=\"20\" group=\"g\" selected=\"true\"/>"
            L"<Button name=\"hot\" width=\"20\" normalimage=\"normal.png\" hotimage=\"hot.png\"/>"
            L"<Label name=\"label\" width=\"20\"/>"
            L"</HorizontalLayout></Window>",
            nullptr, &manager_);
        ASSERT_NE(root, nullptr);
        manager_.AttachDialog(root);
        manager_.SetInitSize(140, 20);
        manager_.AddNotifier(&recorder_);
    }

    void Send(UINT message, int x, int y) {
        LRESULT result = 0;
        manager_.MessageHandler(message, 0, MAKELPARAM(x, y), result);
    }
    void Click(int x, int y, int upX, int upY) {
        Send(WM_MOUSEMOVE, x, y);
        Send(WM_LBUTTONDOWN, x, y);
        Send(WM_MOUSEMOVE, upX, upY);
        Send(WM_LBUTTONUP, upX, upY);
    }
    COptionUI* Option(const wchar_t* name) { return dynamic_cast<COptionUI*>(manager_.FindControl(name)); }

    uint32_t PixelOf(int x) {
        CCanvas canvas;
        canvas.Create(140, 20);
        manager_.Render(canvas, RECT{0, 0, 140, 20});
        return canvas.Pixel(x, 10) & 0x00FFFFFF;
    }

    std::vector<uint8_t> zip_;
    CPaintManagerUI manager_;
    Recorder recorder_;
};

TEST_F(Input, ClickNeedsPressAndReleaseInside) {
    const struct {
        const char* what;
        POINT down;
        POINT up;
        std::vector<std::wstring> expected;
    } cases[] = {
        {"press and release inside", {5, 5}, {15, 15}, {L"click:button"}},
        {"release outside", {5, 5}, {25, 5}, {}},
        {"press outside, release inside", {25, 5}, {5, 5}, {}},
        {"a disabled button", {25, 5}, {25, 5}, {}},
        {"a label", {125, 5}, {125, 5}, {}},
    };
    for (const auto& c : cases) {
        recorder_.seen.clear();
        Click(c.down.x, c.down.y, c.up.x, c.up.y);
        EXPECT_EQ(recorder_.Types(), c.expected) << c.what;
    }
    auto* disabled = dynamic_cast<CButtonUI*>(manager_.FindControl(L"disabled"));
    EXPECT_FALSE(disabled->Activate());
    EXPECT_EQ(disabled->GetState() & UISTATE_PUSHED, 0u);
}

TEST_F(Input, NotificationRecord) {
    Click(5, 6, 7, 8);
    ASSERT_EQ(recorder_.seen.size(), 1u);
    const TNotifyUI& msg = recorder_.seen[0];
    EXPECT_EQ(msg.sType, L"click");
    EXPECT_EQ(msg.pSender, manager_.FindControl(L"button"));
    EXPECT_EQ(msg.ptMouse.x, 7);
    EXPECT_EQ(msg.ptMouse.y, 8);
    EXPECT_NE(msg.dwTimestamp, 0u);
}

TEST_F(Input, PushedWhileCapturedAndInside) {
    auto* button = dynamic_cast<CButtonUI*>(manager_.FindControl(L"button"));
    Send(WM_MOUSEMOVE, 5, 5);
    Send(WM_LBUTTONDOWN, 5, 5);
    EXPECT_NE(button->GetState() & UISTATE_PUSHED, 0u);
    EXPECT_EQ(PixelOf(5), 0x00FF00u);
    Send(WM_MOUSEMOVE, 30, 5);
    EXPECT_EQ(button->GetState() & UISTATE_PUSHED, 0u);
    Send(WM_MOUSEMOVE, 6, 5);
    EXPECT_NE(button->GetState() & UISTATE_PUSHED, 0u);
    Send(WM_LBUTTONUP, 6, 5);
    EXPECT_EQ(button->GetState() & (UISTATE_PUSHED | UISTATE_CAPTURED), 0u);
    EXPECT_EQ(manager_.GetFocus(), button);
}

TEST_F(Input, HotImageAndItsFallback) {
    EXPECT_EQ(PixelOf(105), 0x0000FFu);
    Send(WM_MOUSEMOVE, 105, 5);
    EXPECT_EQ(PixelOf(105), 0xFF0000u) << "hot image";
    Send(WM_MOUSEMOVE, 5, 5);
    EXPECT_EQ(PixelOf(105), 0x0000FFu) << "left again";
    EXPECT_NE(dynamic_cast<CButtonUI*>(manager_.FindControl(L"button"))->GetState() & UISTATE_HOT, 0u);
    EXPECT_EQ(PixelOf(5), 0x0000FFu) << "no hot image: the normal one";
}

TEST_F(Input, OptionsToggleAndGroupsSelectOne) {
    Click(45, 5, 45, 5);
    EXPECT_TRUE(Option(L"check")->IsSelected());
    EXPECT_EQ(recorder_.Types(), (std::vector<std::wstring>{L"click:check", L"selectchanged:check"}));
    recorder_.seen.clear();
    Click(45, 5, 45, 5);
    EXPECT_FALSE(Option(L"check")->IsSelected());
    EXPECT_EQ(recorder_.Types(), (std::vector<std::wstring>{L"click:check", L"selectchanged:check"}));

    recorder_.seen.clear();
    Click(65, 5, 65, 5);
    EXPECT_TRUE(Option(L"radio1")->IsSelected());
    EXPECT_FALSE(Option(L"radio2")->IsSelected());
    EXPECT_EQ(recorder_.Types(),
              (std::vector<std::wstring>{L"click:radio1", L"selectchanged:radio2", L"selectchanged:radio1"}));
    recorder_.seen.clear();
    Click(65, 5, 65, 5);  // a group member stays selected
    EXPECT_TRUE(Option(L"radio1")->IsSelected());
    EXPECT_EQ(recorder_.Types(), (std::vector<std::wstring>{L"click:radio1"}));

    recorder_.seen.clear();
    Option(L"check")->Selected(false);  // already in that state: nothing
    Option(L"check")->Selected(true, false);
    EXPECT_TRUE(recorder_.seen.empty());
    Option(L"check")->Selected(false, true);
    EXPECT_EQ(recorder_.Types(), (std::vector<std::wstring>{L"selectchanged:check"}));
}

TEST_F(Input, KeyboardActivatesTheFocusedButton) {
    manager_.FindControl(L"button")->SetFocus();
    LRESULT result = 0;
    manager_.MessageHandler(WM_KEYDOWN, VK_SPACE, 0, result);
    manager_.MessageHandler(WM_KEYDOWN, 'A', 0, result);
    EXPECT_EQ(recorder_.Types(), (std::vector<std::wstring>{L"click:button"}));
}

TEST_F(Input, DelegatesFirstThenNotifiersAndQueuedDelivery) {
    CControlUI* button = manager_.FindControl(L"button");
    std::vector<std::wstring> order;
    button->OnNotify += [&order](TNotifyUI& msg) {
        order.push_back(L"delegate:" + msg.sType);
        return msg.sType != L"swallowed";
    };
    struct Second : INotifyUI {
        explicit Second(std::vector<std::wstring>& o) : order(o) {}
        void Notify(TNotifyUI& msg) override { order.push_back(L"notifier:" + msg.sType); }
        std::vector<std::wstring>& order;
    } second(order);
    manager_.AddNotifier(&second);
    EXPECT_FALSE(manager_.AddNotifier(&second));

    manager_.SendNotify(button, L"custom");
    manager_.SendNotify(button, L"swallowed");
    EXPECT_EQ(order,
              (std::vector<std::wstring>{L"delegate:custom", L"notifier:custom", L"delegate:swallowed"}));

    order.clear();
    manager_.SendNotify(button, L"queued", 1, 0, true, false);
    manager_.SendNotify(button, L"queued", 2, 0, true, false);  // replaces the waiting one
    manager_.SendNotify(button, L"repeated", 1, 0, true, true);
    manager_.SendNotify(button, L"repeated", 2, 0, true, true);
    EXPECT_TRUE(order.empty());
    recorder_.seen.clear();
    manager_.ProcessQueuedNotifications();
    ASSERT_EQ(recorder_.seen.size(), 3u);
    EXPECT_EQ(recorder_.seen[0].sType, L"queued");
    EXPECT_EQ(recorder_.seen[0].wParam, 2u);
    EXPECT_EQ(recorder_.seen[1].wParam, 1u);
    EXPECT_EQ(recorder_.seen[2].wParam, 2u);
    manager_.RemoveNotifier(&second);
}

}  // namespace
