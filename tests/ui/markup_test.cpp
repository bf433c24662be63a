// Loading and parsing window descriptions.
#include "ui_test_support.h"

namespace {

using namespace SkinUI;
using namespace skinui_test;

struct ParseErrorCase {
    const wchar_t* input;
    const wchar_t* error;
};

TEST(Markup, EveryParserErrorTextOnAMinimalBrokenInput) {
    const ParseErrorCase cases[] = {
        {L"", L"Expected start tag"},
        {L"just text", L"Expected start tag"},
        {L"< >", L"Error parsing element name"},
        {L"<Window a=\"1\" b>", L"Error while parsing attributes"},
        {L"<Window =\"1\"/>", L"Error while parsing attributes"},
        {L"<Window a='1'/>", L"Expected attribute value"},
        {L"<Window a=\"1/>", L"Error while parsing attribute string"},
        {L"<Window a=\"1\"", L"Expected start-tag closing"},
        {L"<Window /x>", L"Expected start-tag closing"},
        {L"<Window a=\"1\" <", L"Error while parsing attributes"},
        {L"<Window>", L"Expected end-tag start"},
        {L"<Window><Label/>", L"Expected end-tag start"},
        {L"<Window></Windows>", L"Unmatched closing tag"},
        {L"<Window><Label></Window></Window>", L"Unmatched closing tag"},
    };
    for (const ParseErrorCase& c : cases) {
        CMarkup markup;
        EXPECT_FALSE(markup.Load(c.input)) << c.input;
        EXPECT_EQ(markup.GetLastErrorMessage(), c.error) << c.input;
        EXPECT_FALSE(markup.IsValid()) << c.input;
    }
}

TEST(Markup, EntitiesCommentsAndDeclarations) {
    CMarkup markup;
    ASSERT_TRUE(
        markup.Load(L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<!-- leading comment -->\r\n"
                    L"<Window t=\"&amp;&lt;&gt;&quot;&apos;&nbsp;&\">\r\n"
                    L"  <!-- a <Label> inside a comment is no element -->\r\n"
                    L"  <?processing instruction?>\r\n"
                    L"  <Label name=\"a\" />text between elements<Button name=\"b\"></Button>\r\n"
                    L"</Window>"));
    const XmlElement& root = markup.Root();
    EXPECT_EQ(root.name, L"Window");
    ASSERT_EQ(root.attributes.size(), 1u);
    EXPECT_EQ(root.attributes[0].value, L"&<>\"'&nbsp;&");
    ASSERT_EQ(root.children.size(), 2u);
    EXPECT_EQ(root.children[0].name, L"Label");
    EXPECT_EQ(root.children[1].name, L"Button");
}

TEST(Markup, RepeatedAttributesKeptInOrderAndAtMost64Used) {
    std::wstring text = L"<Window align=\"left\" align=\"vcenter\"";
    for (int i = 0; i < 70; ++i) {
        text += L" a" + std::to_wstring(i) + L"=\"" + std::to_wstring(i) + L"\"";
    }
    text += L"/>";
    CMarkup markup;
    ASSERT_TRUE(markup.Load(text));
    const auto& attributes = markup.Root().attributes;
    ASSERT_EQ(attributes.size(), 64u);
    EXPECT_EQ(attributes[0].value, L"left");
    EXPECT_EQ(attributes[1].value, L"vcenter");
    EXPECT_EQ(attributes[63].name, L"a61");
}

TEST(Markup, DecodesUtf8Utf16AndCodePageInputs) {
    const std::wstring expected = L"<Window text=\"安装\"/>";
    const std::string utf8 = "<Window text=\"\xE5\xAE\x89\xE8\xA3\x85\"/>";
    std::vector<uint8_t> plain(utf8.begin(), utf8.end());
    const std::vector<uint8_t> bom = Bytes("\xEF\xBB\xBF" + utf8);
    std::vector<uint8_t> le{0xFF, 0xFE}, be{0xFE, 0xFF};
    for (wchar_t c : expected) {
        le.push_back(static_cast<uint8_t>(c));
        le.push_back(static_cast<uint8_t>(c >> 8));
        be.push_back(static_cast<uint8_t>(c >> 8));
        be.push_back(static_cast<uint8_t>(c));
    }
    EXPECT_EQ(DecodeDescription(plain, XmlEncoding::Utf8), expected);
    EXPECT_EQ(DecodeDescription(bom, XmlEncoding::Utf8), expected);
    EXPECT_EQ(DecodeDescription(le, XmlEncoding::Utf8), expected);
    EXPECT_EQ(DecodeDescription(be, XmlEncoding::Ansi), expected);
    EXPECT_EQ(DecodeDescription(Bytes("<Window/>"), XmlEncoding::Ansi), L"<Window/>");

    CMarkup markup;
    ASSERT_TRUE(markup.LoadFromMem(bom));
    EXPECT_EQ(markup.Root().attributes[0].value, L"安装");
}

class Loader : public FrameworkState {};

TEST_F(Loader, SizeLimitsAndMissingFiles) {
    const std::wstring dir = MakeTempDir();
    ASSERT_TRUE(WriteBytes(dir + L"empty.xml", {}));
    ASSERT_TRUE(WriteBytes(dir + L"limit.xml", std::vector<uint8_t>(kMaxDescriptionSize, ' ')));
    ASSERT_TRUE(WriteBytes(dir + L"over.xml", std::vector<uint8_t>(kMaxDescriptionSize + 1, ' ')));
    struct {
        const wchar_t* name;
        bool ok;
        const wchar_t* error;
    } cases[] = {
        {L"empty.xml", false, L"File is empty"},
        {L"over.xml", false, L"File too large"},
        {L"limit.xml", true, L""},
        {L"missing.xml", false, L"Error opening file"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes;
        std::wstring error;
        EXPECT_EQ(ReadDescription(c.name, dir, nullptr, bytes, error), c.ok) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
    CMarkup markup;
    EXPECT_FALSE(markup.LoadFromFile(L"empty.xml", dir, nullptr));
    EXPECT_EQ(markup.GetLastErrorMessage(), L"File is empty");
}

// "<Window><Label name="deflated" .../></Window>" three times, compressed by zlib at level 9.
const uint8_t kCompressed[] = {0xb3, 0x09, 0xcf, 0xcc, 0x4b, 0xc9, 0x2f, 0xb7, 0xb3, 0xf1, 0x49, 0x4c, 0x4a,
                               0xcd, 0x51, 0xc8, 0x4b, 0xcc, 0x4d, 0xb5, 0x55, 0x4a, 0x49, 0x4d, 0xcb, 0x49,
                               0x2c, 0x49, 0x4d, 0x51, 0x52, 0x28, 0x49, 0xad, 0x28, 0xb1, 0x55, 0xca, 0xcc,
                               0x83, 0xf0, 0x15, 0xd2, 0x8a, 0xf2, 0x73, 0x15, 0x12, 0x15, 0x92, 0xf3, 0x73,
                               0x0b, 0x8a, 0x52, 0x8b, 0x8b, 0x81, 0x22, 0xa9, 0x79, 0x25, 0x45, 0x95, 0x4a,
                               0x0a, 0xfa, 0x76, 0x36, 0xfa, 0x30, 0x93, 0x86, 0x80, 0x89, 0x00};

std::string CompressedText() {
    std::string one =
        "<Window><Label name=\"deflated\" text=\"inflated from a compressed entry\" /></Window>";
    return one + one + one;
}

TEST_F(Loader, ZipPackageWithStoredAndDeflatedEntriesNamesWithoutCase) {
    const std::vector<uint8_t> stored = Bytes("<Window><Label name=\"stored\"/></Window>");
    const std::vector<uint8_t> zip = MakeZip({
        {"Stored.xml", stored, {}},
        {"Compressed.xml", Bytes(CompressedText()),
         std::vector<uint8_t>(std::begin(kCompressed), std::end(kCompressed))},
        {"blocks.xml", stored, StoredDeflate(stored)},
        {"empty.xml", {}, {}},
    });
    CZipPackage package;
    ASSERT_TRUE(package.Open(zip.data(), zip.size()));
    struct {
        const wchar_t* name;
        std::string content;
    } found[] = {
        {L"stored.XML", std::string(stored.begin(), stored.end())},
        {L"COMPRESSED.xml", CompressedText()},
        {L"Blocks.Xml", std::string(stored.begin(), stored.end())},
    };
    for (const auto& c : found) {
        std::vector<uint8_t> bytes;
        std::wstring error;
        ASSERT_TRUE(ReadDescription(c.name, L"", &package, bytes, error)) << c.name << L": " << error;
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.content) << c.name;
    }
    std::vector<uint8_t> bytes;
    std::wstring error;
    EXPECT_FALSE(ReadDescription(L"missing.xml", L"", &package, bytes, error));
    EXPECT_EQ(error, L"Could not find ziped file");
    EXPECT_FALSE(ReadDescription(L"empty.xml", L"", &package, bytes, error));
    EXPECT_EQ(error, L"File is empty");

    CZipPackage closed;
    EXPECT_FALSE(ReadDescription(L"stored.xml", L"", &closed, bytes, error));
    EXPECT_EQ(error, L"Error opening zip file");
}

TEST_F(Loader, CorruptPackages) {
    const std::vector<uint8_t> content = Bytes("<Window/>");
    // Block type 3 is reserved: no inflater accepts it.
    std::vector<uint8_t> zip = MakeZip({{"bad.xml", content, std::vector<uint8_t>{0x07, 0x00}}});
    CZipPackage package;
    ASSERT_TRUE(package.Open(zip.data(), zip.size()));
    std::vector<uint8_t> bytes;
    std::wstring error;
    EXPECT_FALSE(package.Extract(L"bad.xml", bytes, error));
    EXPECT_EQ(error, L"Could not unzip file");

    EXPECT_FALSE(package.Open(content.data(), content.size()));
    std::vector<uint8_t> truncated(zip.begin(), zip.end() - 4);
    EXPECT_FALSE(package.Open(truncated.data(), truncated.size()));
}

TEST_F(Loader, BuildingFromTheSkinPackage) {
    const std::vector<uint8_t> zip =
        MakeZip({{"Window.xml", Bytes(CompressedText().substr(0, CompressedText().size() / 3)), {}}});
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(zip.data(), zip.size()));
    CPaintManagerUI manager;
    CDialogBuilder builder;
    std::unique_ptr<CControlUI> root(builder.Create(L"window.xml", nullptr, &manager));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetName(), L"deflated");

    CDialogBuilder missing;
    EXPECT_EQ(missing.Create(L"MainWindow.xml", nullptr, &manager), nullptr);
    EXPECT_EQ(missing.GetMarkup().GetLastErrorMessage(), L"Could not find ziped file");

    const uint8_t notZip[] = {'n', 'o', 't', ' ', 'a', ' ', 'z', 'i', 'p', 0, 0, 0,
                              0,   0,   0,   0,   0,   0,   0,   0,   0,   0, 0};
    EXPECT_FALSE(CPaintManagerUI::SetResourceZip(notZip, sizeof(notZip)));
    CDialogBuilder unopened;
    EXPECT_EQ(unopened.Create(L"Window.xml", nullptr, &manager), nullptr);
    EXPECT_EQ(unopened.GetMarkup().GetLastErrorMessage(), L"Error opening zip file");
}

}  // namespace
