// Painting checked on pixels: image descriptions on small fixtures, then the shipped skin's pages.
#include "ui_test_support.h"

namespace {

using namespace SkinUI;
using namespace skinui_test;

constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kGreen = 0xFF00FF00;
constexpr uint32_t kBlue = 0xFF0000FF;
constexpr uint32_t kBlack = 0xFF000000;
constexpr uint32_t kMagenta = 0xFFFF00FF;

std::string Hex(uint32_t value) {
    char text[16];
    snprintf(text, sizeof(text), "%06X", static_cast<unsigned>(value & 0xFFFFFF));
    return text;
}

// Fixture images, packed as a skin package.
class ImagePainting : public FrameworkState {
protected:
    void SetUp() override {
        FrameworkState::SetUp();
        zip_ = MakeZip({
            {"quad.png", MakePng(2, 2, {kRed, kGreen, kBlue, kBlack}), {}},
            {"nine.png", MakePng(3, 3, {kRed, kGreen, kRed, kGreen, kBlue, kGreen, kRed, kGreen, kRed}), {}},
            {"masked.png", MakePng(2, 1, {kMagenta, kBlue}), {}},
            {"black.png", MakePng(1, 1, {kBlack}), {}},
            {"stripe.png", MakePng(2, 1, {kRed, kBlue}), {}},
            {"half.png", MakePng(1, 1, {0x80C86432}), {}},
        });
        ASSERT_TRUE(CPaintManagerUI::SetResourceZip(zip_.data(), zip_.size()));
    }

    // Paints one 10 x 10 control at (5, 5) of a white 20 x 20 canvas.
    CCanvas& Paint(const std::wstring& bkimage) {
        manager_ = std::make_unique<CPaintManagerUI>();
        CDialogBuilder builder;
        CControlUI* root =
            builder.Create(L"<Window><VerticalLayout inset=\"5,5,5,5\"><Control name=\"c\" bkimage=\"" +
                               bkimage + L"\"/></VerticalLayout></Window>",
                           nullptr, manager_.get());
        EXPECT_NE(root, nullptr);
        manager_->AttachDialog(root);
        manager_->SetInitSize(20, 20);
        EXPECT_TRUE(canvas_.Create(20, 20));
        canvas_.Clear(kWhite);
        manager_->Render(canvas_, RECT{0, 0, 20, 20});
        return canvas_;
    }

    std::vector<uint8_t> zip_;
    std::unique_ptr<CPaintManagerUI> manager_;
    CCanvas canvas_;
};

struct PixelCase {
    const char* what;
    const wchar_t* bkimage;
    std::vector<std::pair<POINT, uint32_t>> pixels;
};

TEST_F(ImagePainting, DescriptionsOnPixels) {
    const PixelCase cases[] = {
        {"a bare name stretches the whole image over the control",
         L"quad.png",
         {{{5, 5}, kRed},
          {{14, 5}, kGreen},
          {{5, 14}, kBlue},
          {{14, 14}, kBlack},
          {{4, 4}, kWhite},
          {{15, 15}, kWhite}}},
        {"source picks a part of the image",
         L"file='quad.png' source='1,0,2,1'",
         {{{5, 5}, kGreen}, {{14, 14}, kGreen}}},
        {"source is clipped to the image",
         L"file='quad.png' source='1,1,9,9'",
         {{{5, 5}, kBlack}, {{14, 14}, kBlack}}},
        {"dest places the image relative to the control",
         L"file='black.png' dest='2,2,4,4'",
         {{{7, 7}, kBlack}, {{8, 8}, kBlack}, {{6, 6}, kWhite}, {{9, 9}, kWhite}}},
        {"dest is clipped to the control",
         L"file='black.png' dest='8,8,20,20'",
         {{{13, 13}, kBlack}, {{14, 14}, kBlack}, {{15, 15}, kWhite}, {{12, 12}, kWhite}}},
        {"corner keeps the borders and hole leaves the middle out",
         L"file='nine.png' corner='1,1,1,1' hole='true'",
         {{{5, 5}, kRed},
          {{14, 5}, kRed},
          {{14, 14}, kRed},
          {{9, 5}, kGreen},
          {{5, 9}, kGreen},
          {{9, 9}, kWhite}}},
        {"corner without hole stretches the middle",
         L"file='nine.png' corner='1,1,1,1'",
         {{{9, 9}, kBlue}, {{13, 13}, kBlue}}},
        {"mask makes one colour transparent",
         L"file='masked.png' mask='#FF00FF'",
         {{{5, 5}, kWhite}, {{14, 5}, kBlue}}},
        {"fade lowers the opacity", L"file='black.png' fade='128'", {{{9, 9}, 0xFF7F7F7F}}},
        {"xtiled repeats instead of stretching",
         L"file='stripe.png' xtiled='true'",
         {{{5, 9}, kRed}, {{6, 9}, kBlue}, {{7, 9}, kRed}, {{14, 9}, kBlue}}},
        {"without tiling the same image stretches",
         L"stripe.png",
         {{{6, 9}, kRed}, {{9, 9}, kRed}, {{10, 9}, kBlue}}},
        {"color is a one-pixel image", L"color='#FF00FF00'", {{{5, 5}, kGreen}, {{14, 14}, kGreen}}},
        {"a missing image draws nothing", L"file='missing.png'", {{{9, 9}, kWhite}}},
        {"a resource that does not exist draws nothing", L"res='4711' restype='PNG'", {{{9, 9}, kWhite}}},
        {"after \"; \" only the first pair counts: the whole image is drawn",
         L"file='quad.png'; source='1,0,2,1'",
         {{{5, 5}, kRed}, {{14, 14}, kBlack}}},
        {"premultiplied alpha blends over white", L"half.png", {{{9, 9}, 0xFFE3B198}}},
    };
    for (const PixelCase& c : cases) {
        CCanvas& canvas = Paint(c.bkimage);
        for (const auto& p : c.pixels) {
            EXPECT_EQ(Hex(canvas.Pixel(p.first.x, p.first.y)), Hex(p.second))
                << c.what << " at " << p.first.x << "," << p.first.y;
        }
    }
}

TEST_F(ImagePainting, DecodingPremultipliesAndMasks) {
    TImageInfo image;
    ASSERT_TRUE(DecodeImage(MakePng(3, 1, {0x80C86432, 0xFFFF00FF, 0x00123456}), 0x00FF00FF, image));
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 1);
    EXPECT_EQ(image.pixels[0], 0x80643219u);  // 200, 100, 50 times 128 / 255
    EXPECT_EQ(image.pixels[1], 0u);           // the mask colour
    EXPECT_EQ(image.pixels[2], 0u);           // fully transparent
    EXPECT_FALSE(DecodeImage(Bytes("not a png"), 0, image));
}

TEST_F(ImagePainting, ImagesAreCachedByName) {
    CPaintManagerUI manager;
    const TImageInfo* first = manager.GetImage(ParseImageDesc(L"file='quad.png' source='0,0,1,1'"));
    const TImageInfo* second = manager.GetImage(ParseImageDesc(L"quad.png"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(manager.GetImage(ParseImageDesc(L"missing.png")), nullptr);
}

// The shipped skin: four pages rendered off-screen and kept as artefacts.
class SkinPainting : public FrameworkState {
protected:
    void SetUp() override {
        FrameworkState::SetUp();
        skin_ = SkinDir();
        ASSERT_FALSE(skin_.empty());
        CPaintManagerUI::SetResourcePath(skin_);
        CDialogBuilder builder;
        CControlUI* root = builder.Create(L"MainWindow.xml", nullptr, &manager_);
        ASSERT_NE(root, nullptr);
        manager_.AttachDialog(root);
        manager_.SetInitSize(700, 410);
        manager_.FindControl(L"titleBarTopSide")->SetVisible(false);
        ASSERT_TRUE(canvas_.Create(700, 410));
    }

    void Render() {
        canvas_.Clear(kWhite);
        manager_.Render(canvas_, RECT{0, 0, 700, 410});
    }

    void SelectPage(int page) {
        dynamic_cast<CTabLayoutUI*>(manager_.FindControl(L"tabLayout"))->SelectItem(page, false);
    }

    TImageInfo LoadSkinImage(const wchar_t* file) {
        TImageInfo image;
        EXPECT_TRUE(DecodeImage(ReadBytes(skin_ + file), 0, image)) << WideToUtf8(file);
        return image;
    }

    // The opaque pixel of the image region closest to its centre: drawn 1:1 it shows unchanged.
    static POINT OpaquePoint(const TImageInfo& image, const RECT& region) {
        POINT centre{(region.left + region.right) / 2, (region.top + region.bottom) / 2};
        POINT best{-1, -1};
        long bestDistance = LONG_MAX;
        for (LONG y = region.top; y < region.bottom; ++y) {
            for (LONG x = region.left; x < region.right; ++x) {
                if ((image.pixels[static_cast<size_t>(y) * image.width + x] >> 24) == 0xFF) {
                    long d = (x - centre.x) * (x - centre.x) + (y - centre.y) * (y - centre.y);
                    if (d < bestDistance) {
                        bestDistance = d;
                        best = POINT{x, y};
                    }
                }
            }
        }
        return best;
    }

    // Checks that the state region of `file` shows at `at` (the control's top-left corner).
    void ExpectImageAt(const wchar_t* file, const RECT& region, POINT at, const char* what) {
        TImageInfo image = LoadSkinImage(file);
        ASSERT_FALSE(image.pixels.empty());
        POINT p = OpaquePoint(image, region);
        ASSERT_GE(p.x, 0) << what << ": no opaque pixel";
        uint32_t expected = image.pixels[static_cast<size_t>(p.y) * image.width + p.x];
        uint32_t actual = canvas_.Pixel(at.x + p.x - region.left, at.y + p.y - region.top);
        EXPECT_EQ(Hex(actual), Hex(expected)) << what;
    }

    void Save(const wchar_t* name) { EXPECT_TRUE(canvas_.SavePng(ArtifactPath(name))) << WideToUtf8(name); }

    void MouseMove(int x, int y) {
        LRESULT result = 0;
        manager_.MessageHandler(WM_MOUSEMOVE, 0, MAKELPARAM(x, y), result);
    }

    std::wstring skin_;
    CPaintManagerUI manager_;
    CCanvas canvas_;
};

TEST_F(SkinPainting, OptionsPageButtonStatesAndCheckBox) {
    SelectPage(0);
    auto* agree = dynamic_cast<COptionUI*>(manager_.FindControl(L"agreeOption"));
    ASSERT_NE(agree, nullptr);
    agree->Selected(true, false);
    Render();
    Save(L"skin-page0.png");
    ExpectImageAt(L"install_btn.png", RECT{0, 0, 170, 46}, POINT{260, 225}, "install button, normal");
    ExpectImageAt(L"check_box.png", RECT{32, 0, 48, 16}, POINT{20, 372}, "agreement check box, selected");
    ExpectImageAt(L"min_normal.png", RECT{0, 0, 36, 48}, POINT{628, 0}, "minimize button after \"; \"");
    ExpectImageAt(L"close_normal.png", RECT{0, 0, 36, 48}, POINT{664, 0}, "close button after \"; \"");

    MouseMove(345, 248);
    Render();
    ExpectImageAt(L"install_btn.png", RECT{170, 0, 340, 46}, POINT{260, 225}, "install button, hot");
    MouseMove(5, 300);
    manager_.FindControl(L"installBtn")->SetEnabled(false);
    agree->Selected(false, false);
    Render();
    ExpectImageAt(L"install_btn.png", RECT{510, 0, 680, 46}, POINT{260, 225}, "install button, disabled");
    ExpectImageAt(L"check_box.png", RECT{0, 0, 16, 16}, POINT{20, 372}, "agreement check box, not selected");
}

TEST_F(SkinPainting, OptionsPageWithThePanelOpen) {
    canvas_.Create(700, 500);
    manager_.SetInitSize(700, 500);
    manager_.FindControl(L"userAgreementLayout")->SetVisible(false);
    manager_.FindControl(L"customInstallLayout")->SetVisible(true);
    manager_.FindControl(L"installDirEdit")->SetText(L"C:\\Program Files (x86)\\KivoClient");
    for (const wchar_t* name : {L"deskIconOption", L"startMenuIconOption", L"autoStartOption"}) {
        dynamic_cast<COptionUI*>(manager_.FindControl(name))->Selected(true, false);
    }
    canvas_.Clear(kWhite);
    manager_.Render(canvas_, RECT{0, 0, 700, 500});
    Save(L"skin-page0-panel.png");
    ExpectImageAt(L"chang_path_btn.png", RECT{0, 0, 64, 36}, POINT{606, 382}, "change button");
    ExpectImageAt(L"check_box.png", RECT{32, 0, 48, 16}, POINT{30, 451}, "desktop icon option, selected");
}

TEST_F(SkinPainting, ProgressFillAt45Percent) {
    SelectPage(1);
    auto* progress = dynamic_cast<CProgressUI*>(manager_.FindControl(L"installProgress"));
    ASSERT_NE(progress, nullptr);
    // The fill alone, compared against an empty bar.
    progress->SetText(L"");
    progress->SetValue(0);
    Render();
    CCanvas empty;
    ASSERT_TRUE(empty.Create(700, 410));
    empty.Clear(kWhite);
    manager_.Render(empty, RECT{0, 0, 700, 410});
    progress->SetValue(45);
    Render();
    const int fillEnd = 25 + 650 * 45 / 100;  // 317
    int filledColumns = 0, changedBeyond = 0;
    for (int x = 25; x < 675; ++x) {
        bool changed = false;
        for (int y = 342; y < 377; ++y) {
            changed = changed || canvas_.Pixel(x, y) != empty.Pixel(x, y);
        }
        if (x < fillEnd) {
            filledColumns += changed ? 1 : 0;
        } else {
            changedBeyond += changed ? 1 : 0;
        }
    }
    EXPECT_GE(filledColumns, fillEnd - 25 - 8);
    EXPECT_EQ(changedBeyond, 0);

    progress->SetText(L"已完成：45%");
    dynamic_cast<CLabelUI*>(manager_.FindControl(L"installTipsLabel"))->SetText(L"正在下载Kivo客户端...");
    Render();
    Save(L"skin-page1.png");
    // White text over the bar, centred, starting 6 pixels below the top.
    int whiteish = 0;
    for (int y = 348; y < 377; ++y) {
        for (int x = 300; x < 400; ++x) {
            uint32_t p = canvas_.Pixel(x, y);
            whiteish += ((p >> 16) & 0xFF) > 0xF0 && ((p >> 8) & 0xFF) > 0xF0 && (p & 0xFF) > 0xF0 ? 1 : 0;
        }
    }
    EXPECT_GT(whiteish, 20) << "the percentage text";
}

TEST_F(SkinPainting, FailureAndSuccessPages) {
    SelectPage(2);
    dynamic_cast<CLabelUI*>(manager_.FindControl(L"failedTipsLabel"))->SetText(L"下载失败");
    Render();
    Save(L"skin-page2.png");
    ExpectImageAt(L"retry_btn.png", RECT{0, 0, 130, 38}, POINT{206, 333}, "retry button");
    ExpectImageAt(L"cancel_btn.png", RECT{0, 0, 130, 38}, POINT{364, 333}, "cancel button");
    MouseMove(420, 350);
    Render();
    ExpectImageAt(L"cancel_btn.png", RECT{130, 0, 260, 38}, POINT{364, 333}, "cancel button, hot");

    SelectPage(3);
    MouseMove(5, 300);
    Render();
    Save(L"skin-page3.png");
    ExpectImageAt(L"use_now_btn.png", RECT{0, 0, 170, 46}, POINT{265, 258}, "use-now button");
    ExpectImageAt(L"success.png", RECT{0, 0, 344, 159}, POINT{189, 64}, "success picture");
}

}  // namespace
