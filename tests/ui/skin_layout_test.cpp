// The shipped window description laid out at 700 x 500 gives the positions the window is designed with.
#include "ui_test_support.h"

namespace {

using namespace SkinUI;
using namespace skinui_test;

// A control by name, or (for unnamed ones) by child indices below a named control.
struct Where {
    const wchar_t* name;
    std::vector<int> path;
};

struct Position {
    const char* what;
    Where where;
    RECT rect;
    bool belowStrip;  // moves down with everything under the 1-pixel top strip
};

struct Scenario {
    const char* name;
    int page;
    bool panelOpen;
    std::vector<Position> positions;
};

const RECT kTitleBar{0, 0, 700, 48};

std::vector<Scenario> Scenarios() {
    const std::vector<Position> title = {
        {"titleBar", {L"titleBar", {}}, kTitleBar, false},
        {"minBtn", {L"minBtn", {}}, {628, 0, 664, 48}, false},
        {"closeBtn", {L"closeBtn", {}}, {664, 0, 700, 48}, false},
    };
    std::vector<Scenario> scenarios = {
        {"options page, agreement row",
         0,
         false,
         {
             {"logo on page 0", {L"tabLayout", {0, 0, 0, 0}}, {220, 80, 480, 185}, true},
             {"installBtn", {L"installBtn", {}}, {260, 225, 430, 271}, true},
             {"agreeOption", {L"agreeOption", {}}, {20, 370, 75, 388}, true},
             {"licenseBtn", {L"licenseBtn", {}}, {75, 370, 187, 391}, true},
             {"label 和", {L"userAgreementLayout", {0, 2}}, {187, 370, 201, 391}, true},
             {"privacyBtn", {L"privacyBtn", {}}, {201, 370, 281, 391}, true},
             {"openCustomBtn", {L"openCustomBtn", {}}, {655, 370, 675, 390}, true},
         }},
        {"options page, custom-install panel open",
         0,
         true,
         {
             {"logo on page 0", {L"tabLayout", {0, 0, 0, 0}}, {220, 80, 480, 185}, true},
             {"installBtn", {L"installBtn", {}}, {260, 225, 430, 271}, true},
             {"label 安装位置:", {L"customInstallLayout", {0, 0}}, {25, 382, 95, 418}, true},
             {"installDirEdit", {L"installDirEdit", {}}, {95, 382, 606, 418}, true},
             {"changeBtn", {L"changeBtn", {}}, {606, 382, 670, 418}, true},
             {"deskIconOption", {L"deskIconOption", {}}, {30, 449, 184, 467}, true},
             {"startMenuIconOption", {L"startMenuIconOption", {}}, {184, 449, 352, 467}, true},
             {"autoStartOption", {L"autoStartOption", {}}, {352, 449, 467, 467}, true},
             {"closeCustomBtn", {L"closeCustomBtn", {}}, {640, 449, 660, 469}, true},
         }},
        {"installing page",
         1,
         false,
         {
             {"logo on page 1", {L"tabLayout", {1, 0, 0}}, {220, 80, 480, 185}, true},
             {"installTipsLabel", {L"installTipsLabel", {}}, {25, 305, 425, 322}, true},
             {"installProgress", {L"installProgress", {}}, {25, 342, 675, 377}, true},
         }},
        {"failure page",
         2,
         false,
         {
             {"logo on page 2", {L"tabLayout", {2, 0, 0}}, {220, 80, 480, 185}, true},
             {"failedTipsLabel", {L"failedTipsLabel", {}}, {0, 292, 700, 309}, true},
             {"retryBtn", {L"retryBtn", {}}, {206, 333, 336, 371}, true},
             {"cancelBtn", {L"cancelBtn", {}}, {364, 333, 494, 371}, true},
         }},
        {"success page",
         3,
         false,
         {
             {"success picture", {L"tabLayout", {3, 0}}, {189, 64, 533, 223}, true},
             {"success text image", {L"tabLayout", {3, 1, 1}}, {306, 223, 393, 243}, true},
             {"useNowBtn", {L"useNowBtn", {}}, {265, 258, 435, 304}, true},
         }},
    };
    for (Scenario& s : scenarios) {
        s.positions.insert(s.positions.end(), title.begin(), title.end());
    }
    return scenarios;
}

std::string Describe(const RECT& rc) {
    return std::to_string(rc.left) + "," + std::to_string(rc.top) + "," + std::to_string(rc.right) + "," +
           std::to_string(rc.bottom);
}

CControlUI* Locate(CPaintManagerUI& manager, const Where& where) {
    CControlUI* control = manager.FindControl(where.name);
    for (int index : where.path) {
        auto* container = dynamic_cast<CContainerUI*>(control);
        control = container != nullptr ? container->GetItemAt(index) : nullptr;
    }
    return control;
}

class SkinLayout : public FrameworkState {};

TEST_F(SkinLayout, PositionTable) {
    const std::wstring skin = SkinDir();
    ASSERT_FALSE(skin.empty()) << "res/skin/MainWindow.xml not found";
    CPaintManagerUI::SetResourcePath(skin);
    for (bool stripVisible : {false, true}) {
        for (const Scenario& s : Scenarios()) {
            CPaintManagerUI manager;
            CDialogBuilder builder;
            CControlUI* root = builder.Create(L"MainWindow.xml", nullptr, &manager);
            ASSERT_NE(root, nullptr) << WideToUtf8(builder.GetMarkup().GetLastErrorMessage());
            manager.AttachDialog(root);
            manager.SetInitSize(700, 500);
            manager.FindControl(L"titleBarTopSide")->SetVisible(stripVisible);
            manager.FindControl(L"userAgreementLayout")->SetVisible(!s.panelOpen);
            manager.FindControl(L"customInstallLayout")->SetVisible(s.panelOpen);
            auto* tab = dynamic_cast<CTabLayoutUI*>(manager.FindControl(L"tabLayout"));
            ASSERT_NE(tab, nullptr);
            tab->SelectItem(s.page, false);
            manager.UpdateLayout();
            for (const Position& p : s.positions) {
                CControlUI* control = Locate(manager, p.where);
                ASSERT_NE(control, nullptr) << s.name << ": " << p.what;
                RECT expected = p.rect;
                if (stripVisible && p.belowStrip) {
                    ::OffsetRect(&expected, 0, 1);
                }
                EXPECT_EQ(Describe(control->GetPos()), Describe(expected))
                    << s.name << ": " << p.what << (stripVisible ? " (top strip visible)" : "");
            }
        }
    }
}

}  // namespace
