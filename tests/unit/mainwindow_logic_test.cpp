#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Endpoints.h"
#include "MainWindow.h"
#include "TestSupport.h"
#include "Utils.h"

using namespace kivoinstaller;

namespace {

const uint64_t kGiB = 1073741824ULL;

TEST(MainWindowLogicTest, StepReportsBecomePageMessages) {
    struct Case {
        int step;
        int reported;
        bool post;
        int page;
        bool hasPayload;
        int progress;
        const wchar_t* text;
    };
    const Case cases[] = {
        {None, 37, true, 0, false, 0, L""},
        // Start always shows an empty bar, whatever the engine passes.
        {Start, 12, true, 1, true, 0, L"正在下载Kivo客户端..."},
        {Downloading, 23, true, 1, true, 23, L"正在下载Kivo客户端..."},
        {DownloadSuccess, 50, true, 1, true, 50, L"正在解压资源文件..."},
        {DownloadFail, 31, true, 2, true, 0, L"下载失败"},
        {ExtraArchive, 67, true, 1, true, 67, L"正在解压资源文件..."},
        {UpdateConfig, 95, true, 1, true, 95, L"正在更新配置文件..."},
        {InstallSuccess, 99, true, 3, true, 100, L"安装成功"},
        {InstallFail, 88, true, 2, true, 0, L"安装失败"},
        {-1, 10, false, 0, false, 0, L""},
        {9, 10, false, 0, false, 0, L""},
        {1000, 10, false, 0, false, 0, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        StepMessage message = StepMessageFor(c.step, c.reported);
        EXPECT_EQ(message.post, c.post);
        if (!c.post) {
            continue;
        }
        EXPECT_EQ(message.page, c.page);
        EXPECT_EQ(message.hasPayload, c.hasPayload);
        if (c.hasPayload) {
            EXPECT_EQ(message.progress, c.progress);
            EXPECT_EQ(message.text, c.text);
        }
    }
}

TEST(MainWindowLogicTest, ProgressText) {
    EXPECT_EQ(ProgressText(0), L"已完成：0%");
    EXPECT_EQ(ProgressText(45), L"已完成：45%");
    EXPECT_EQ(ProgressText(100), L"已完成：100%");
}

TEST(MainWindowLogicTest, VolumeRootIsTheTextUpToTheFirstBackslash) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\Program Files\\KivoClient", L"C:\\"},
        {L"D:\\", L"D:\\"},
        {L"D:", L""},
        {L"Games", L""},
        {L"", L""},
        {L"\\\\server\\share\\dir", L"\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VolumeRootOf(c.first), c.second) << Utils::WideToUtf8(c.first);
    }
}

TEST(MainWindowLogicTest, NewLocationGetsItsOwnKivoClientDirectory) {
    const wchar_t* current = L"C:\\Program Files\\KivoClient";
    struct Case {
        const wchar_t* location;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"C:\\Program Files\\KivoClient", L"C:\\Program Files\\KivoClient"},
        {L"c:\\PROGRAM FILES\\kivoclient", L"c:\\PROGRAM FILES\\kivoclient"},
        {L"D:\\Games", L"D:\\Games\\KivoClient"},
        {L"D:\\", L"D:\\KivoClient"},
        {L"C:\\Program Files", L"C:\\Program Files\\KivoClient"},
        {L"C:\\Program Files\\KivoClient\\KivoClient",
         L"C:\\Program Files\\KivoClient\\KivoClient\\KivoClient"},
        {L"D:\\直播", L"D:\\直播\\KivoClient"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InstallDirFor(c.location, current), c.expected) << Utils::WideToUtf8(c.location);
    }
    // Case is ignored beyond ASCII, as the file system does.
    EXPECT_EQ(InstallDirFor(L"D:\\ÄÖ", L"d:\\äö"), L"D:\\ÄÖ");
}

// A made-up file system: which directories exist or can be created, and how
// much space each volume root has.
struct FakeVolumes {
    std::vector<std::wstring> existing;
    std::vector<std::wstring> creatable;
    std::vector<std::pair<std::wstring, uint64_t>> freeSpace;
    std::vector<std::wstring> created;
    std::vector<std::wstring> queriedRoots;

    LocationSystem System() {
        LocationSystem system;
        system.directoryExists = [this](const std::wstring& dir) { return Contains(existing, dir); };
        system.createDirectories = [this](const std::wstring& dir) {
            if (!Contains(creatable, dir)) {
                return false;
            }
            created.push_back(dir);
            return true;
        };
        system.freeBytes = [this](const std::wstring& root, uint64_t* bytes) {
            queriedRoots.push_back(root);
            for (const auto& volume : freeSpace) {
                if (volume.first == root) {
                    *bytes = volume.second;
                    return true;
                }
            }
            return false;
        };
        return system;
    }

    static bool Contains(const std::vector<std::wstring>& list, const std::wstring& item) {
        for (const std::wstring& entry : list) {
            if (entry == item) {
                return true;
            }
        }
        return false;
    }
};

TEST(MainWindowLogicTest, LocationCheck) {
    const wchar_t* current = L"C:\\Program Files\\KivoClient";
    struct Case {
        const char* what;
        const wchar_t* location;
        uint64_t freeOnD;
        LocationVerdict verdict;
        const wchar_t* installDir;
        bool created;
        bool spaceQueried;
    };
    const Case cases[] = {
        {"empty", L"", kGiB, LocationVerdict::kInvalidPath, L"", false, false},
        {"one character", L"D", kGiB, LocationVerdict::kInvalidPath, L"", false, false},
        {"existing folder, exactly 1 GiB", L"D:\\Games", kGiB, LocationVerdict::kAccepted,
         L"D:\\Games\\KivoClient", false, true},
        {"existing folder, 1 GiB less one byte", L"D:\\Games", kGiB - 1, LocationVerdict::kNotEnoughSpace,
         L"", false, true},
        {"new folder is created", L"D:\\New", 5 * kGiB, LocationVerdict::kAccepted, L"D:\\New\\KivoClient",
         true, true},
        {"folder that cannot be created", L"D:\\Locked\\x", 5 * kGiB, LocationVerdict::kInvalidPath, L"",
         false, false},
        {"volume whose space cannot be read", L"E:\\Games", 5 * kGiB, LocationVerdict::kNotEnoughSpace, L"",
         false, true},
        {"no backslash: no volume root to ask", L"D:", 5 * kGiB, LocationVerdict::kNotEnoughSpace, L"", false,
         true},
        {"current directory keeps its name", L"C:\\Program Files\\KivoClient", 0, LocationVerdict::kAccepted,
         L"C:\\Program Files\\KivoClient", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeVolumes volumes;
        volumes.existing = {L"D:\\Games", L"E:\\Games", L"D:", L"C:\\Program Files\\KivoClient"};
        volumes.creatable = {L"D:\\New"};
        volumes.freeSpace = {{L"D:\\", c.freeOnD}, {L"C:\\", 3 * kGiB}};
        LocationCheck check = CheckInstallLocation(c.location, current, volumes.System());
        EXPECT_EQ(check.verdict, c.verdict);
        EXPECT_EQ(check.installDir, c.installDir);
        EXPECT_EQ(!volumes.created.empty(), c.created);
        EXPECT_EQ(!volumes.queriedRoots.empty(), c.spaceQueried);
        if (!volumes.queriedRoots.empty()) {
            EXPECT_EQ(volumes.queriedRoots[0], VolumeRootOf(c.location));
        }
    }
}

TEST(MainWindowLogicTest, RealVolumesAreMeasuredAndFoldersCreated) {
    LocationSystem system = LocationSystem::Real();
    std::wstring scratch = kivotest::MakeScratchDir(L"location");
    std::wstring nested = scratch + L"\\a\\b";
    EXPECT_FALSE(system.directoryExists(nested));
    EXPECT_TRUE(system.createDirectories(nested));
    EXPECT_TRUE(system.directoryExists(nested));

    std::wstring file = scratch + L"\\file";
    kivotest::WriteFileBytes(file, "x");
    EXPECT_FALSE(system.createDirectories(file + L"\\below"));

    uint64_t bytes = 0;
    EXPECT_TRUE(system.freeBytes(VolumeRootOf(scratch), &bytes));
    EXPECT_GT(bytes, 0u);
    // A volume that does not exist cannot be measured.
    EXPECT_FALSE(system.freeBytes(L"Q:\\", &bytes));
    Utils::DeleteDirectory(scratch);
}

TEST(MainWindowLogicTest, AccentColour) {
    struct Case {
        bool prevalenceRead;
        DWORD prevalence;
        bool colorRead;
        DWORD color;
        DWORD expected;
    };
    const Case cases[] = {
        {true, 1, true, 0xC40078D7, 0xFF0078D7},  {true, 1, true, 0x00112233, 0xFF112233},
        {true, 2, true, 0xFFABCDEF, 0xFFABCDEF},  {true, 0, true, 0xC40078D7, 0xFF242424},
        {false, 1, true, 0xC40078D7, 0xFF242424}, {true, 1, false, 0xC40078D7, 0xFF242424},
        {false, 0, false, 0, 0xFF242424},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AccentColorFrom(c.prevalenceRead, c.prevalence, c.colorRead, c.color), c.expected)
            << std::hex << c.color;
    }
    EXPECT_EQ(kInactiveStripColor, 0xFF3A3A3Au);
}

TEST(MainWindowLogicTest, AgreementPagesAreOnePageWithTwoTabs) {
    const std::wstring base = KIVO_AGREEMENT_BASE_URL;
    EXPECT_EQ(UserAgreementUrl(), base + L"/kivoDIYzt/6811/pc/index.html#diySetTab=5");
    EXPECT_EQ(PrivacyPolicyUrl(), base + L"/kivoDIYzt/6811/pc/index.html#diySetTab=1");
}

}  // namespace
