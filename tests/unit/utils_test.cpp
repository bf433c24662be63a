#include <gtest/gtest.h>

#include <regex>

#include "ScopedWin.h"
#include "TestSupport.h"
#include "Utils.h"

using namespace kivoinstaller;

namespace {

TEST(WindowsVersionTest, Classification) {
    struct Case {
        DWORD major, minor, build;
        WindowsVersion expected;
        const char* name;
    };
    const Case cases[] = {
        {5, 1, 2600, WinXP, "WinXP"},      {5, 2, 3790, Unknown, "Unknown"},   {6, 0, 6002, WinVista, "WinVista"},
        {6, 1, 7600, Win7, "Win7"},        {6, 1, 7601, Win7SP1, "Win7SP1"},   {6, 1, 7602, Unknown, "Unknown"},
        {6, 2, 9200, Win8, "Win8"},        {6, 2, 9201, Unknown, "Unknown"},   {6, 3, 9600, Win8_1, "Win8.1"},
        {6, 3, 9200, Win8_1, "Win8.1"},    {6, 3, 9601, Unknown, "Unknown"},   {6, 4, 9841, Unknown, "Unknown"},
        {10, 0, 9999, Unknown, "Unknown"}, {10, 0, 10240, Win10, "Win10"},     {10, 0, 19045, Win10, "Win10"},
        {10, 0, 21999, Win10, "Win10"},    {10, 0, 22000, Win11, "Win11"},     {10, 0, 22631, Win11, "Win11"},
        {10, 1, 19045, Unknown, "Unknown"}, {11, 0, 26100, Unknown, "Unknown"},
    };
    for (const Case& c : cases) {
        WindowsVersion v = Utils::ClassifyWindowsVersion(c.major, c.minor, c.build);
        EXPECT_EQ(v, c.expected) << c.major << "." << c.minor << "." << c.build;
        EXPECT_STREQ(Utils::WindowsVersionName(v), c.name);
    }
    // Callers test "at least": an unrecognised Windows passes every gate.
    EXPECT_GT(Unknown, Win11);
}

TEST(WindowsVersionTest, LiveAnswerMatchesThePrefix) {
    // The harness says which Windows the prefix reports.
    std::wstring kind = kivotest::EnvPath("KIVO_WINE_KIND");
    WindowsVersion v = Utils::GetWindowsVersion();
    if (kind == L"win10") {
        EXPECT_EQ(v, Win10);
        EXPECT_EQ(Utils::GetWindowsVersionName(), "Win10");
    } else if (kind == L"win7") {
        EXPECT_EQ(v, Win7SP1);
        EXPECT_EQ(Utils::GetWindowsVersionName(), "Win7SP1");
    }
}

TEST(UtilsTest, PathJoin) {
    EXPECT_EQ(Utils::PathJoin({L"C:\\a\\", L"b"}), L"C:\\a\\b");
    EXPECT_EQ(Utils::PathJoin({L"C:\\a", L"b"}), L"C:\\a\\b");
    EXPECT_EQ(Utils::PathJoin({L"", L"b"}), L"b");
    EXPECT_EQ(Utils::PathJoin({L"C:/a/", L"b"}), L"C:/a/b");
    EXPECT_EQ(Utils::PathJoin({L"C:\\a\\", L"\\b"}), L"C:\\a\\\\b");
    EXPECT_EQ(Utils::PathJoin({L"C:\\a", L""}), L"C:\\a\\");
    EXPECT_EQ(Utils::PathJoin({L"C:", L"x", L"y.exe"}), L"C:\\x\\y.exe");
}

TEST(UtilsTest, Utf8RoundTrip) {
    std::wstring text = L"Kivo直播 \U0001F600";
    EXPECT_EQ(Utils::Utf8ToWide(Utils::WideToUtf8(text)), text);
    EXPECT_EQ(Utils::WideToUtf8(L"直"), "\xe7\x9b\xb4");
    EXPECT_EQ(Utils::Utf8ToWide(""), L"");
    EXPECT_EQ(Utils::WideToUtf8(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
}

TEST(UtilsTest, GuidText) {
    std::wstring a = NewGuidString(), b = NewGuidString();
    EXPECT_NE(a, b);
    std::wregex form(L"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}");
    EXPECT_TRUE(std::regex_match(a, form)) << a;
}

TEST(UtilsTest, FileVersion) {
    // This test program has no version resource; the installer has one.
    EXPECT_EQ(GetOwnFileVersion(), L"");
    std::wstring installer = kivotest::EnvPath("KIVO_BUILD_DIR_WIN") + L"\\KivoInstaller.exe";
    if (Utils::FileExists(installer)) {
        EXPECT_EQ(GetFileVersionOf(installer), L"1.0.0.0");
    }
}

TEST(UtilsTest, FormatLocalTime) {
    std::wstring stamp = Utils::FormatLocalTime(L"_%Y_%m_%d_%H_%M_%S");
    EXPECT_TRUE(std::regex_match(stamp, std::wregex(L"_\\d{4}_\\d\\d_\\d\\d_\\d\\d_\\d\\d_\\d\\d"))) << stamp;
    EXPECT_EQ(Utils::FormatLocalTime(L""), L"");
}

TEST(UtilsTest, FileExists) {
    std::wstring dir = kivotest::MakeScratchDir(L"exists");
    std::wstring file = dir + L"\\f.txt";
    kivotest::WriteFileBytes(file, "x");
    EXPECT_TRUE(Utils::FileExists(file));
    EXPECT_FALSE(Utils::FileExists(dir));
    EXPECT_FALSE(Utils::FileExists(L""));
    EXPECT_FALSE(Utils::FileExists(dir + L"\\missing"));
    EXPECT_TRUE(Utils::DeleteDirectory(dir));
}

TEST(UtilsTest, CreateAllDirectories) {
    std::wstring root = kivotest::MakeScratchDir(L"mkdir");
    std::wstring deep = root + L"\\a\\b\\c";
    {
        kivotest::LogCapture log;
        EXPECT_TRUE(Utils::CreateAllDirectories(deep));
        EXPECT_TRUE(Utils::DirectoryExists(deep));
        EXPECT_TRUE(Utils::CreateAllDirectories(deep));
        EXPECT_FALSE(Utils::CreateAllDirectories(L""));
        std::vector<std::string> expected = {"CreateAllDirectories success: " + Utils::WideToUtf8(deep),
                                             "CreateAllDirectories success, dir exists: " + Utils::WideToUtf8(deep),
                                             "CreateAllDirectories failed, dir is empty"};
        EXPECT_EQ(log.Finish(), expected);
    }
    // A file where a directory should be: no directory exists, so it fails.
    std::wstring file = root + L"\\file";
    kivotest::WriteFileBytes(file, "x");
    for (const std::wstring& path : {file, file + L"\\below"}) {
        kivotest::LogCapture log;
        EXPECT_FALSE(Utils::CreateAllDirectories(path));
        std::vector<std::string> lines = log.Finish();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].rfind("CreateAllDirectories failed: " + Utils::WideToUtf8(path) + ", ret = ", 0), 0u)
            << lines[0];
    }
    EXPECT_TRUE(Utils::DeleteDirectory(root));
}

TEST(UtilsTest, DeleteDirectoryStopsAtReadOnlyFile) {
    std::wstring root = kivotest::MakeScratchDir(L"rmro");
    ASSERT_TRUE(Utils::CreateAllDirectories(root + L"\\sub"));
    std::wstring locked = root + L"\\sub\\readonly.txt";
    kivotest::WriteFileBytes(locked, "x");
    ASSERT_TRUE(::SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(Utils::DeleteDirectory(root));
    EXPECT_TRUE(Utils::FileExists(locked));
    ::SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(Utils::DeleteDirectory(root));
    EXPECT_FALSE(Utils::DirectoryExists(root));
    EXPECT_FALSE(Utils::DeleteDirectory(root));
}

TEST(UtilsTest, DeleteDirectoryRemovesLinksNotTargets) {
    std::wstring root = kivotest::MakeScratchDir(L"rmlink");
    std::wstring target = kivotest::MakeScratchDir(L"linktarget");
    std::wstring precious = target + L"\\keep.txt";
    kivotest::WriteFileBytes(precious, "keep");
    ASSERT_TRUE(Utils::CreateAllDirectories(root + L"\\tree"));
    std::wstring link = root + L"\\tree\\link";
    ASSERT_TRUE(::CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
        << ::GetLastError();
    EXPECT_TRUE(Utils::DeleteDirectory(root));
    EXPECT_FALSE(Utils::DirectoryExists(root));
    EXPECT_TRUE(Utils::FileExists(precious));
    EXPECT_TRUE(Utils::DeleteDirectory(target));
}

TEST(UtilsTest, TempDirectoryEndsInSeparator) {
    std::wstring temp = Utils::GetTempDirectory();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), L'\\');
    EXPECT_TRUE(Utils::DirectoryExists(temp));
}

}  // namespace
