// The development viewer, run headless: it shows a description and screenshots its client area.
#include "ui_test_support.h"

namespace {

using namespace SkinUI;
using namespace skinui_test;

struct ProcessTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type value) { return value != nullptr; }
    static void Close(Type value) { ::CloseHandle(value); }
};

std::wstring ViewerPath() {
    std::wstring build = Env(L"KIVO_BUILD_DIR_WIN");
    return build.empty() ? std::wstring() : build + L"\\tools\\skinviewer\\skinviewer.exe";
}

// Runs the viewer and returns its exit code, or -1 when it could not be run or did not end in time.
int RunViewer(const std::wstring& arguments) {
    std::wstring command = L"\"" + ViewerPath() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        return -1;
    }
    ScopedHandle<ProcessTraits> process(info.hProcess);
    ScopedHandle<ProcessTraits> thread(info.hThread);
    if (::WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.Get(), 99);
        return -1;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.Get(), &code);
    return static_cast<int>(code);
}

class Viewer : public FrameworkState {
protected:
    void SetUp() override {
        FrameworkState::SetUp();
        skin_ = SkinDir();
        ASSERT_FALSE(skin_.empty());
        ASSERT_TRUE(FileExists(ViewerPath())) << "skinviewer.exe not built next to the tests";
        out_ = MakeTempDir();
    }

    // The install button's normal state shows at its place in a screenshot of page 0.
    void ExpectOptionsPage(const std::wstring& png) {
        TImageInfo shot;
        ASSERT_TRUE(DecodeImage(ReadBytes(png), 0, shot));
        EXPECT_EQ(shot.width, 700);
        EXPECT_EQ(shot.height, 410);
        TImageInfo button;
        ASSERT_TRUE(DecodeImage(ReadBytes(skin_ + L"install_btn.png"), 0, button));
        const int x = 85, y = 23;  // middle of the normal state
        ASSERT_EQ(button.pixels[static_cast<size_t>(y) * button.width + x] >> 24, 0xFFu);
        EXPECT_EQ(shot.pixels[static_cast<size_t>(225 + y) * shot.width + 260 + x] & 0xFFFFFF,
                  button.pixels[static_cast<size_t>(y) * button.width + x] & 0xFFFFFF);
    }

    std::wstring skin_;
    std::wstring out_;
};

TEST_F(Viewer, ScreenshotFromTheSkinFolder) {
    const std::wstring png = out_ + L"folder.png";
    std::wstring folder = skin_.substr(0, skin_.size() - 1);
    ASSERT_EQ(RunViewer(L"\"" + folder +
                        L"\" --size 700,410 --hide titleBarTopSide --check agreeOption --screenshot \"" +
                        png + L"\""),
              0);
    ExpectOptionsPage(png);
}

TEST_F(Viewer, ScreenshotFromAPackage) {
    std::vector<ZipEntry> entries;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((skin_ + L"*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            entries.push_back({WideToUtf8(found.cFileName), ReadBytes(skin_ + found.cFileName), {}});
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    ASSERT_TRUE(WriteBytes(out_ + L"skin.zip", MakeZip(entries)));
    const std::wstring png = out_ + L"package.png";
    ASSERT_EQ(RunViewer(L"\"" + out_ + L"skin.zip\" --size 700,410 --hide titleBarTopSide --screenshot \"" +
                        png + L"\""),
              0);
    ExpectOptionsPage(png);
    EXPECT_TRUE(WriteBytes(ArtifactPath(L"skinviewer-page0.png"), ReadBytes(png)));
}

TEST_F(Viewer, BrokenDescriptionsEndWithCodeOne) {
    ASSERT_TRUE(WriteBytes(out_ + L"Broken.xml", Bytes("<Window><VerticalLayout></Window>")));
    std::wstring folder = out_.substr(0, out_.size() - 1);
    EXPECT_EQ(RunViewer(L"\"" + folder + L"\" --file Broken.xml --screenshot \"" + out_ + L"x.png\""), 1);
    EXPECT_EQ(RunViewer(L"\"" + folder + L"\" --file Missing.xml --screenshot \"" + out_ + L"x.png\""), 1);
    EXPECT_EQ(RunViewer(L""), 1) << "usage";
    EXPECT_FALSE(FileExists(out_ + L"x.png"));
}

}  // namespace
