// Attribute values, image descriptions and how the builder applies attributes.
#include "ui_test_support.h"

namespace {

using namespace SkinUI;
using namespace skinui_test;

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(AttributeValues, IntegersRectanglesColoursBooleans) {
    EXPECT_EQ(ParseInt(L"42"), 42);
    EXPECT_EQ(ParseInt(L"-7"), -7);
    EXPECT_TRUE(SameRect(ParseRect(L"220,80,0,0"), RECT{220, 80, 0, 0}));
    EXPECT_TRUE(SameRect(ParseRect(L"1,2"), RECT{1, 2, 0, 0}));
    EXPECT_EQ(ParseColor(L"#FF3B64CC"), 0xFF3B64CCu);
    EXPECT_EQ(ParseColor(L"FF3B64CC"), 0xFF3B64CCu);
    EXPECT_EQ(ParseColor(L"#ffffFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseColor(L"#FF00FF"), 0x00FF00FFu);
    const struct {
        const wchar_t* text;
        bool value;
    } booleans[] = {{L"true", true},   {L"True", false},  {L"TRUE", false}, {L"1", false},
                    {L" true", false}, {L"false", false}, {L"", false}};
    for (const auto& b : booleans) {
        EXPECT_EQ(ParseBool(b.text), b.value) << b.text;
    }
}

TEST(ImageDescriptions, EveryKey) {
    TImageDesc d = ParseImageDesc(
        L"file='a.png' dest='1,2,3,4' source='5,6,7,8' corner='4,4,4,4' mask='#FF00FF' fade='128' "
        L"hole='true' "
        L"xtiled='true' ytiled='true' hsl='true'");
    EXPECT_EQ(d.file, L"a.png");
    EXPECT_TRUE(SameRect(d.dest, RECT{1, 2, 3, 4}));
    EXPECT_TRUE(SameRect(d.source, RECT{5, 6, 7, 8}));
    EXPECT_TRUE(SameRect(d.corner, RECT{4, 4, 4, 4}));
    EXPECT_EQ(d.mask, 0x00FF00FFu);
    EXPECT_EQ(d.fade, 128);
    EXPECT_TRUE(d.hole);
    EXPECT_TRUE(d.xtiled);
    EXPECT_TRUE(d.ytiled);
    EXPECT_TRUE(d.hsl);

    TImageDesc resource = ParseImageDesc(L"res='101' restype='PNG' scale9='1,2,3,4'");
    EXPECT_EQ(resource.res, L"101");
    EXPECT_EQ(resource.restype, L"PNG");
    EXPECT_TRUE(SameRect(resource.corner, RECT{1, 2, 3, 4}));

    TImageDesc color = ParseImageDesc(L"color='#80112233'");
    EXPECT_TRUE(color.hasColor);
    EXPECT_EQ(color.color, 0x80112233u);

    TImageDesc bare = ParseImageDesc(L"bk.png");
    EXPECT_EQ(bare.file, L"bk.png");
    EXPECT_EQ(bare.fade, 255);
    EXPECT_FALSE(bare.hole);
}

TEST(ImageDescriptions, ParsingStopsAtAnythingButOneSpace) {
    const struct {
        const wchar_t* text;
        const wchar_t* file;
        RECT source;
    } cases[] = {
        {L"file='min_normal.png'; source='0,0,36,48'", L"min_normal.png", RECT{}},
        {L"file='min_push.png'; source=';0,0,36,48'", L"min_push.png", RECT{}},
        {L"file='x.png' source='0,0,16,16'", L"x.png", RECT{0, 0, 16, 16}},
        {L"file='x.png'  source='0,0,16,16'", L"x.png", RECT{}},
        {L"file='x.png' ", L"x.png", RECT{}},
        {L"source='1,2,3,4' file='y.png'", L"y.png", RECT{1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        TImageDesc d = ParseImageDesc(c.text);
        EXPECT_EQ(d.file, c.file) << c.text;
        EXPECT_TRUE(SameRect(d.source, c.source)) << c.text;
    }
}

class Builder : public FrameworkState {
protected:
    CControlUI* Build(const std::wstring& markup, IDialogBuilderCallback* callback = nullptr) {
        CDialogBuilder builder;
        CControlUI* root = builder.Create(markup, callback, &manager_);
        EXPECT_NE(root, nullptr) << builder.GetMarkup().GetLastErrorMessage();
        manager_.AttachDialog(root);
        return root;
    }
    template <typename T>
    T* Find(const wchar_t* name) {
        return dynamic_cast<T*>(manager_.FindControl(name));
    }
    CPaintManagerUI manager_;
};

TEST_F(Builder, AlignIsMatchedBySubstringInDocumentOrder) {
    Build(
        L"<Window><HorizontalLayout>"
        L"<Label name=\"leftThenVcenter\" align=\"left\" align=\"vcenter\"/>"
        L"<Label name=\"vcenterThenLeft\" align=\"vcenter\" align=\"left\"/>"
        L"<Label name=\"vcenter\" align=\"vcenter\"/>"
        L"<Label name=\"right\" align=\"right\"/>"
        L"<Label name=\"plain\"/>"
        L"<Button name=\"button\"/>"
        L"<Progress name=\"progress\"/>"
        L"<Label name=\"bottom\" valign=\"bottom\"/>"
        L"<Label name=\"top\" valign=\"top\"/>"
        L"</HorizontalLayout></Window>");
    const UINT horizontal = DT_LEFT | DT_CENTER | DT_RIGHT;
    const UINT vertical = DT_TOP | DT_VCENTER | DT_BOTTOM;
    const struct {
        const wchar_t* name;
        UINT h;
        UINT v;
    } cases[] = {
        {L"leftThenVcenter", DT_CENTER, DT_VCENTER},
        {L"vcenterThenLeft", DT_LEFT, DT_VCENTER},
        {L"vcenter", DT_CENTER, DT_VCENTER},
        {L"right", DT_RIGHT, DT_VCENTER},
        {L"plain", DT_LEFT, DT_VCENTER},
        {L"button", DT_CENTER, DT_VCENTER},
        {L"progress", DT_CENTER, DT_TOP},
        {L"bottom", DT_LEFT, DT_BOTTOM},
        {L"top", DT_LEFT, DT_TOP},
    };
    for (const auto& c : cases) {
        auto* label = Find<CLabelUI>(c.name);
        ASSERT_NE(label, nullptr) << c.name;
        EXPECT_EQ(label->GetTextStyle() & horizontal, c.h) << c.name;
        EXPECT_EQ(label->GetTextStyle() & vertical, c.v) << c.name;
        EXPECT_NE(label->GetTextStyle() & DT_SINGLELINE, 0u) << c.name;
    }
}

TEST_F(Builder, UnknownAttributesBecomeCustomWithoutEffect) {
    Build(
        L"<Window caption=\"0,0,0,50\" alpha=\"100\" alpha=\"7\">"
        L"<VerticalLayout name=\"layout\" align=\"vcenter\" inset=\"1,2,3,4\">"
        L"<Edit name=\"edit\" enable=\"false\" enable=\"true\" readonly=\"false\" maxchar=\"123\"/>"
        L"<Edit name=\"locked\" readonly=\"true\" visible=\"True\"/>"
        L"</VerticalLayout></Window>");
    EXPECT_EQ(manager_.GetWindowCustomAttribute(L"alpha"), L"100");
    RECT caption = manager_.GetCaptionRect();
    EXPECT_TRUE(SameRect(caption, RECT{0, 0, 0, 50}));

    auto* layout = Find<CVerticalLayoutUI>(L"layout");
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(layout->GetCustomAttribute(L"align"), L"vcenter");
    EXPECT_EQ(layout->GetChildAlign(), static_cast<UINT>(DT_LEFT));

    auto* edit = Find<CEditUI>(L"edit");
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->IsEnabled());
    EXPECT_EQ(edit->GetCustomAttribute(L"enable"), L"false");
    EXPECT_FALSE(edit->IsReadOnly());
    EXPECT_EQ(edit->GetMaxChar(), 123);

    auto* locked = Find<CEditUI>(L"locked");
    ASSERT_NE(locked, nullptr);
    EXPECT_TRUE(locked->IsReadOnly());
    EXPECT_FALSE(locked->IsVisible());  // only exactly "true" is true
}

TEST_F(Builder, RepeatedAttributesApplyTwiceTheLaterWinning) {
    Build(
        L"<Window><VerticalLayout>"
        L"<Label name=\"a\" width=\"10\" width=\"20\" textcolor=\"#FF000001\" textcolor=\"FF000002\"/>"
        L"<Progress name=\"p\" max=\"50\" value=\"10\" max=\"200\"/>"
        L"</VerticalLayout></Window>");
    auto* label = Find<CLabelUI>(L"a");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->GetFixedWidth(), 20);
    EXPECT_EQ(label->GetTextColor(), 0xFF000002u);
    auto* progress = Find<CProgressUI>(L"p");
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->GetMaxValue(), 200);
    EXPECT_EQ(progress->GetValue(), 10);
}

class OneFactory : public IDialogBuilderCallback {
public:
    CControlUI* CreateControl(const std::wstring& name) override {
        asked.push_back(name);
        return name == L"Custom" ? new CLabelUI : nullptr;
    }
    std::vector<std::wstring> asked;
};

TEST_F(Builder, ElementNamesFontsFactoryAndDefaults) {
    OneFactory factory;
    CControlUI* root = Build(
        L"<Window>"
        L"<Font id=\"0\" name=\"微软雅黑\" size=\"14\" bold=\"true\" italic=\"false\"/>"
        L"<Font id=\"2\" name=\"A face name that is much longer than thirty-two characters\" size=\"16\"/>"
        L"<Default name=\"Button\" value=\"height=&quot;30&quot; textcolor=&quot;#FF123456&quot;\"/>"
        L"<verticallayout name=\"root\">"
        L"<Custom name=\"made\"/><Unknown name=\"skipped\"><Label name=\"inside\"/></Unknown>"
        L"<BUTTON name=\"b\" height=\"40\"/>"
        L"<TabLayout name=\"tab\"><Control name=\"p0\"/><Control name=\"p1\"/></TabLayout>"
        L"</verticallayout></Window>",
        &factory);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetName(), L"root");
    EXPECT_NE(dynamic_cast<CVerticalLayoutUI*>(root), nullptr);
    EXPECT_NE(Find<CLabelUI>(L"made"), nullptr);
    EXPECT_EQ(manager_.FindControl(L"skipped"), nullptr);
    EXPECT_EQ(manager_.FindControl(L"inside"), nullptr);
    EXPECT_EQ(factory.asked, (std::vector<std::wstring>{L"Custom", L"Unknown"}));

    auto* button = Find<CButtonUI>(L"b");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->GetFixedHeight(), 40);  // element attributes come after the defaults
    EXPECT_EQ(button->GetTextColor(), 0xFF123456u);

    const TFontInfo* font = manager_.GetFontInfo(0);
    EXPECT_EQ(font->name, L"微软雅黑");
    EXPECT_EQ(font->size, 14);
    EXPECT_TRUE(font->bold);
    LOGFONTW logFont{};
    ASSERT_NE(::GetObjectW(manager_.GetFont(0), sizeof(logFont), &logFont), 0);
    EXPECT_EQ(logFont.lfHeight, -14);
    EXPECT_EQ(logFont.lfWeight, FW_BOLD);
    EXPECT_EQ(logFont.lfCharSet, DEFAULT_CHARSET);
    EXPECT_LE(manager_.GetFontInfo(2)->name.size(), 32u);
    EXPECT_EQ(manager_.GetFontInfo(1), manager_.GetFontInfo(-1));  // unknown ids use the default font

    auto* tab = Find<CTabLayoutUI>(L"tab");
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab->GetCurSel(), 0);
    EXPECT_TRUE(Find<CControlUI>(L"p0")->IsVisible());
    EXPECT_FALSE(Find<CControlUI>(L"p1")->IsVisible());
}

}  // namespace
