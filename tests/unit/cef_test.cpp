#include <gtest/gtest.h>

#include <shlobj.h>

#include <7zCrc.h>

#include <string>
#include <vector>

#include "PluginSetupHelper.h"
#include "SampleClient.h"
#include "ScopedWin.h"
#include "Setup.h"
#include "TestSupport.h"
#include "Utils.h"

using namespace kivoinstaller;

namespace {

std::string Narrow(const std::wstring& text) {
    return Utils::WideToUtf8(text);
}

// Files of the runtime directory, given relative to it; a name ending in "\"
// is a directory.
void MakeRuntime(const std::vector<std::pair<std::wstring, std::string>>& files) {
    std::wstring dir = PluginSetupHelper::CefDirectory();
    Utils::DeleteDirectory(dir);
    for (const auto& file : files) {
        std::wstring path = Utils::PathJoin({dir, file.first});
        if (path.back() == L'\\') {
            Utils::CreateAllDirectories(path.substr(0, path.size() - 1));
            continue;
        }
        Utils::CreateAllDirectories(path.substr(0, path.rfind(L'\\')));
        kivotest::WriteFileBytes(path, file.second);
    }
}

std::vector<std::wstring> TempPackages() {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data = {};
    ScopedFindHandle find(::FindFirstFileW((Utils::GetTempDirectory() + L"*.kvdl").c_str(), &data));
    if (find) {
        do {
            names.push_back(data.cFileName);
        } while (::FindNextFileW(find.Get(), &data));
    }
    return names;
}

TEST(CefTest, RuntimeDirectoryIsInRoamingAppData) {
    wchar_t appData[MAX_PATH] = {};
    ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData), S_OK);
    EXPECT_EQ(PluginSetupHelper::CefDirectory(), std::wstring(appData) + L"\\KivoPCLive\\Packages\\CefSharp");
}

TEST(CefTest, Detection) {
    const std::string dir = Narrow(PluginSetupHelper::CefDirectory());
    const std::string twoVersions = R"({"Versions": [{"LatestVersion": "1.0"}, {"LatestVersion": "2.0"}]})";
    const struct {
        const char* what;
        std::vector<std::pair<std::wstring, std::string>> files;  // empty list: no directory
        bool installed;
        std::vector<std::string> messages;
    } cases[] = {
        {"no runtime directory", {}, false, {"CefSharp Dir not exists."}},
        {"no settings file", {{L"1.0\\cfg", ""}}, false, {"Setting json not exists."}},
        {"settings file is a directory", {{L"NewSetting.json\\", ""}}, false, {"Setting json not exists."}},
        {"empty settings file", {{L"NewSetting.json", ""}}, false, {"Failed to parse json: *"}},
        {"Versions is an object",
         {{L"NewSetting.json", R"({"Versions": {"LatestVersion": "1.0"}})"}, {L"1.0\\cfg", ""}},
         false,
         {"Json not contains CefVersion"}},
        {"root is an array",
         {{L"NewSetting.json", R"([{"Versions": []}])"}},
         false,
         {"Json not contains CefVersion"}},
        {"second version has its flag",
         {{L"NewSetting.json", twoVersions}, {L"2.0\\cfg", "x"}},
         true,
         {"LatestVersion: 1.0", "Flag file not exists: " + dir + "\\1.0\\cfg", "LatestVersion: 2.0"}},
        {"no version has its flag",
         {{L"NewSetting.json", R"({"Versions": [{"LatestVersion": 3}, {}, "x", {"LatestVersion": "3.0"}]})"},
          {L"3.0\\cfg\\", ""}},
         false,
         {"LatestVersion: 3.0", "Flag file not exists: " + dir + "\\3.0\\cfg",
          "Json not contains CefVersion"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.files.empty()) {
            Utils::DeleteDirectory(PluginSetupHelper::CefDirectory());
        } else {
            MakeRuntime(c.files);
        }
        kivotest::LogCapture log;
        EXPECT_EQ(PluginSetupHelper::IsCefInstalled(), c.installed);
        std::vector<std::string> messages = log.Finish();
        ASSERT_EQ(messages.size(), c.messages.size());
        for (size_t i = 0; i < messages.size(); ++i) {
            const std::string& expected = c.messages[i];
            if (expected.back() == '*') {
                EXPECT_EQ(messages[i].compare(0, expected.size() - 1, expected, 0, expected.size() - 1), 0)
                    << messages[i];
                EXPECT_GT(messages[i].size(), expected.size() - 1);
            } else {
                EXPECT_EQ(messages[i], expected);
            }
        }
    }
}

TEST(CefTest, InstallUnpacksTheRuntimePackage) {
    CrcGenerateTable();
    Utils::DeleteDirectory(PluginSetupHelper::CefDirectory());
    ASSERT_TRUE(PluginSetupHelper::InstallCef(kivotest::SamplePackage(L"CefSharp.7z"), nullptr));
    kivotest::LogCapture log;
    EXPECT_TRUE(PluginSetupHelper::IsCefInstalled());
    log.Finish();
    EXPECT_TRUE(log.Contains("LatestVersion: 99.2.120"));

    ScopedHandle cancel(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    EXPECT_FALSE(PluginSetupHelper::InstallCef(kivotest::SamplePackage(L"CefSharp.7z"), cancel.Get()));
    EXPECT_FALSE(PluginSetupHelper::InstallCef(kivotest::SamplePackage(L"missing.7z"), nullptr));
}

TEST(CefTest, DownloadCheck) {
    std::wstring file = kivotest::MakeScratchDir(L"cefmd5") + L"\\package.7z";
    kivotest::WriteFileBytes(file, "abc");  // MD5 900150983cd24fb0d6963f7d28e17f72
    const struct {
        std::wstring path;
        std::wstring md5;
        bool ok;
        std::string message;
    } cases[] = {
        {file, L"900150983cd24fb0d6963f7d28e17f72", true, ""},
        {file, L"900150983CD24FB0D6963F7D28E17F72", true, ""},
        {file, L"00000000000000000000000000000000", false,
         "Cef md5 not match: 900150983cd24fb0d6963f7d28e17f72 != 00000000000000000000000000000000"},
        {file + L".missing", L"900150983cd24fb0d6963f7d28e17f72", false,
         "Cef download failed: file not exist."},
        {file.substr(0, file.rfind(L'\\')), L"900150983cd24fb0d6963f7d28e17f72", false,
         "Cef download failed: file not exist."},
        {L"", L"900150983cd24fb0d6963f7d28e17f72", false, "Cef download failed: file not exist."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.path + L" " + c.md5));
        PackageConfig config;
        config.CefMd5 = c.md5;
        kivotest::LogCapture log;
        EXPECT_EQ(CheckCefDownloadSuccess(c.path, config), c.ok);
        std::vector<std::string> messages = log.Finish();
        if (c.message.empty()) {
            EXPECT_TRUE(messages.empty());
        } else {
            EXPECT_EQ(messages, std::vector<std::string>{c.message});
        }
    }
}

TEST(CefTest, FailedDownloadLeavesNoFile) {
    PackageConfig config;
    config.CefDownloadUrl = L"http://127.0.0.1:1/CefSharp.7z";  // nothing listens there
    config.CefMd5 = L"900150983cd24fb0d6963f7d28e17f72";
    std::vector<std::wstring> before = TempPackages();
    kivotest::LogCapture log;
    EXPECT_EQ(kivoinstaller::Setup::GetInstance().DownloadCef(config), L"");
    log.Finish();
    EXPECT_TRUE(log.Contains("Cef download failed: 7"));
    EXPECT_EQ(TempPackages(), before);
}

}  // namespace
