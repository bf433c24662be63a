// Layout rules of the stacking, tab and float layouts, on small descriptions.
#include "ui_test_support.h"

namespace {

using namespace SkinUI;
using namespace skinui_test;

struct Expected {
    const wchar_t* name;
    RECT rect;
};

struct LayoutCase {
    const char* rule;
    int width;
    int height;
    const wchar_t* markup;
    std::vector<Expected> expected;
};

std::string Describe(const RECT& rc) {
    return std::to_string(rc.left) + "," + std::to_string(rc.top) + "," + std::to_string(rc.right) + "," +
           std::to_string(rc.bottom);
}

class LayoutRules : public FrameworkState {};

TEST_F(LayoutRules, Table) {
    const LayoutCase cases[] = {
        {"two adjustable children share 101 pixels as 50 and 51",
         10,
         101,
         L"<VerticalLayout><Control name=\"a\"/><Control name=\"b\"/></VerticalLayout>",
         {{L"a", {0, 0, 10, 50}}, {L"b", {0, 50, 10, 101}}}},
        {"the same across",
         101,
         10,
         L"<HorizontalLayout><Control name=\"a\"/><Control name=\"b\"/></HorizontalLayout>",
         {{L"a", {0, 0, 50, 10}}, {L"b", {50, 0, 101, 10}}}},
        {"fixed sizes, paddings, child padding and inset",
         200,
         100,
         L"<VerticalLayout inset=\"10,5,10,5\" childpadding=\"3\">"
         L"<Control name=\"a\" height=\"20\" padding=\"2,1,0,4\"/><Control name=\"b\" width=\"50\" "
         L"height=\"10\"/>"
         L"<Control name=\"c\"/></VerticalLayout>",
         {{L"a", {12, 6, 190, 26}}, {L"b", {10, 33, 60, 43}}, {L"c", {10, 46, 190, 95}}}},
        {"a hidden child takes no space and no child padding",
         100,
         100,
         L"<VerticalLayout childpadding=\"10\"><Control name=\"a\" height=\"20\"/>"
         L"<Control name=\"hidden\" height=\"30\" padding=\"0,7,0,7\" visible=\"false\"/>"
         L"<Control name=\"b\"/></VerticalLayout>",
         {{L"a", {0, 0, 100, 20}}, {L"b", {0, 30, 100, 100}}}},
        {"clamps to minimum and maximum",
         100,
         100,
         L"<VerticalLayout><Control name=\"small\" height=\"5\" minheight=\"12\"/>"
         L"<Control name=\"capped\" maxheight=\"30\" maxwidth=\"999\"/>"
         L"<Control name=\"wide\" width=\"500\" height=\"10\"/><Control name=\"narrow\" width=\"5\" "
         L"minwidth=\"40\" "
         L"height=\"10\"/></VerticalLayout>",
         {{L"small", {0, 0, 100, 12}},
          {L"capped", {0, 12, 100, 42}},
          {L"wide", {0, 42, 100, 52}},
          {L"narrow", {0, 52, 40, 62}}}},
        {"no negative share when fixed sizes overflow",
         100,
         50,
         L"<VerticalLayout><Control name=\"big\" height=\"80\"/><Control name=\"rest\"/></VerticalLayout>",
         {{L"big", {0, 0, 100, 80}}, {L"rest", {0, 80, 100, 80}}}},
        {"a float child ignores the inset",
         700,
         500,
         L"<VerticalLayout inset=\"30,40,0,0\"><Control name=\"stacked\" height=\"10\"/>"
         L"<VerticalLayout name=\"title\" float=\"true\" pos=\"0,0,700,50\"/></VerticalLayout>",
         {{L"stacked", {30, 40, 700, 50}}, {L"title", {0, 0, 700, 50}}}},
        {"a float child takes no place in the stack",
         100,
         100,
         L"<HorizontalLayout><Control name=\"f\" float=\"true\" pos=\"5,6,25,16\"/><Control name=\"a\"/>"
         L"</HorizontalLayout>",
         {{L"f", {5, 6, 25, 16}}, {L"a", {0, 0, 100, 100}}}},
        {"proportional float grows offsets and sizes by fractions of the parent",
         200,
         100,
         L"<VerticalLayout><Control name=\"p\" float=\"0.5,0.25,0.1,0.5\" "
         L"pos=\"10,10,30,20\"/></VerticalLayout>",
         {{L"p", {110, 35, 150, 95}}}},
        {"child alignment centre and right across a vertical stack",
         100,
         100,
         L"<VerticalLayout childalign=\"center\"><Control name=\"c\" width=\"20\" "
         L"height=\"10\"/></VerticalLayout>",
         {{L"c", {40, 0, 60, 10}}}},
        {"child alignment right keeps the right padding",
         100,
         100,
         L"<VerticalLayout childalign=\"right\"><Control name=\"r\" width=\"20\" height=\"10\" "
         L"padding=\"0,0,5,0\"/>"
         L"</VerticalLayout>",
         {{L"r", {75, 0, 95, 10}}}},
        {"child alignment across a horizontal stack",
         100,
         100,
         L"<HorizontalLayout childvalign=\"vcenter\"><Control name=\"m\" width=\"10\" height=\"20\"/>"
         L"<Control name=\"t\" width=\"10\"/></HorizontalLayout>",
         {{L"m", {0, 40, 10, 60}}, {L"t", {10, 0, 20, 100}}}},
        {"bottom alignment across a horizontal stack",
         100,
         100,
         L"<HorizontalLayout childvalign=\"bottom\"><Control name=\"b\" width=\"10\" height=\"20\" "
         L"padding=\"0,0,0,3\"/></HorizontalLayout>",
         {{L"b", {0, 77, 10, 97}}}},
        {"a tab layout lays out only its selected child, shrunk by its padding",
         100,
         100,
         L"<TabLayout inset=\"1,1,1,1\"><Control name=\"p0\" padding=\"2,3,4,5\"/>"
         L"<Control name=\"p1\" width=\"10\" height=\"10\"/></TabLayout>",
         {{L"p0", {3, 4, 95, 94}}, {L"p1", {0, 0, 0, 0}}}},
    };
    for (const LayoutCase& c : cases) {
        CPaintManagerUI manager;
        CDialogBuilder builder;
        CControlUI* root =
            builder.Create(std::wstring(L"<Window>") + c.markup + L"</Window>", nullptr, &manager);
        ASSERT_NE(root, nullptr) << c.rule;
        manager.AttachDialog(root);
        manager.SetInitSize(c.width, c.height);
        manager.UpdateLayout();
        for (const Expected& e : c.expected) {
            CControlUI* control = manager.FindControl(e.name);
            ASSERT_NE(control, nullptr) << c.rule;
            EXPECT_EQ(Describe(control->GetPos()), Describe(e.rect)) << c.rule << ": " << WideToUtf8(e.name);
        }
    }
}

TEST_F(LayoutRules, VisibilityChangesLayOutAgain) {
    CPaintManagerUI manager;
    CDialogBuilder builder;
    manager.AttachDialog(
        builder.Create(L"<Window><VerticalLayout><Control name=\"a\" height=\"30\"/>"
                       L"<Control name=\"b\" height=\"30\"/></VerticalLayout></Window>",
                       nullptr, &manager));
    manager.SetInitSize(50, 100);
    manager.UpdateLayout();
    EXPECT_EQ(manager.FindControl(L"b")->GetPos().top, 30);
    manager.FindControl(L"a")->SetVisible(false);
    manager.UpdateLayout();
    EXPECT_EQ(manager.FindControl(L"b")->GetPos().top, 0);
}

TEST_F(LayoutRules, TabSelection) {
    CPaintManagerUI manager;
    CDialogBuilder builder;
    manager.AttachDialog(builder.Create(
        L"<Window><TabLayout name=\"tab\"><Control name=\"p0\"/><Control name=\"p1\"/><Control name=\"p2\"/>"
        L"</TabLayout></Window>",
        nullptr, &manager));
    manager.SetInitSize(40, 30);
    auto* tab = dynamic_cast<CTabLayoutUI*>(manager.FindControl(L"tab"));
    ASSERT_NE(tab, nullptr);
    struct Notifier : INotifyUI {
        void Notify(TNotifyUI& msg) override { seen.push_back(msg); }
        std::vector<TNotifyUI> seen;
    } notifier;
    manager.AddNotifier(&notifier);

    EXPECT_TRUE(tab->SelectItem(2));
    manager.UpdateLayout();
    EXPECT_EQ(tab->GetCurSel(), 2);
    EXPECT_FALSE(manager.FindControl(L"p0")->IsVisible());
    EXPECT_TRUE(manager.FindControl(L"p2")->IsVisible());
    EXPECT_EQ(Describe(manager.FindControl(L"p2")->GetPos()), "0,0,40,30");
    EXPECT_EQ(manager.GetFocus(), manager.FindControl(L"p2"));
    ASSERT_EQ(notifier.seen.size(), 1u);
    EXPECT_EQ(notifier.seen[0].sType, L"tabselect");
    EXPECT_EQ(notifier.seen[0].pSender, tab);
    EXPECT_EQ(notifier.seen[0].wParam, 2u);
    EXPECT_EQ(notifier.seen[0].lParam, 0);

    EXPECT_FALSE(tab->SelectItem(2));   // the current one
    EXPECT_FALSE(tab->SelectItem(3));   // out of range
    EXPECT_FALSE(tab->SelectItem(-1));  // out of range
    EXPECT_TRUE(tab->SelectItem(1, false));
    EXPECT_EQ(notifier.seen.size(), 1u);
    EXPECT_EQ(tab->GetCurSel(), 1);
}

}  // namespace
