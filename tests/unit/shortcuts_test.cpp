#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "GlobalInfo.h"
#include "SampleClient.h"
#include "ScopedWin.h"
#include "Setup.h"
#include "TestSupport.h"
#include "Utils.h"

using namespace kivoinstaller;

namespace {

struct LinkFields {
    bool loaded = false;
    std::wstring target;
    std::wstring arguments;
    std::wstring workingDirectory;
    std::wstring description;
    std::wstring icon;
    int iconIndex = -1;
    WORD hotKey = 0;
    int showCommand = 0;
};

// Wine's link loader does not hand the show command back, so it is read from
// the saved file: the ShowCommand field of the shell link header, offset 0x3C.
int ShowCommandOf(const std::wstring& path) {
    ScopedFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    BYTE header[0x4C] = {};
    DWORD read = 0;
    if (!file || !::ReadFile(file.Get(), header, sizeof(header), &read, nullptr) || read != sizeof(header)) {
        return -1;
    }
    return static_cast<int>(header[0x3C] | header[0x3D] << 8 | header[0x3E] << 16 | header[0x3F] << 24);
}

LinkFields ReadLink(const std::wstring& path) {
    LinkFields fields;
    ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  link.ReceiveVoid()))) {
        return fields;
    }
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid())) ||
        FAILED(file->Load(path.c_str(), STGM_READ))) {
        return fields;
    }
    wchar_t buffer[2048] = {};
    link->GetPath(buffer, 2048, nullptr, SLGP_RAWPATH);
    fields.target = buffer;
    buffer[0] = 0;
    link->GetArguments(buffer, 2048);
    fields.arguments = buffer;
    buffer[0] = 0;
    link->GetWorkingDirectory(buffer, 2048);
    fields.workingDirectory = buffer;
    buffer[0] = 0;
    link->GetDescription(buffer, 2048);
    fields.description = buffer;
    buffer[0] = 0;
    link->GetIconLocation(buffer, 2048, &fields.iconIndex);
    fields.icon = buffer;
    link->GetHotkey(&fields.hotKey);
    fields.showCommand = ShowCommandOf(path);
    fields.loaded = true;
    return fields;
}

std::wstring Folder(int csidl) {
    wchar_t path[2048] = {};
    ::SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE);
    return path;
}

std::string Narrow(const std::wstring& text) {
    return Utils::WideToUtf8(text);
}

// Every shortcut this installer can leave behind.
class ShortcutsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::CoInitialize(nullptr);
        // Links saved on the desktop or in the Start menu make Wine start its
        // menu builder, which writes into the host's home; the desktop itself
        // may be a link to the host's home. Neither belongs to a test.
        ::SetEnvironmentVariableW(L"WINEDLLOVERRIDES", L"mscoree,mshtml=;winemenubuilder.exe=d");
        std::wstring desktop = kivotest::MakeScratchDir(L"desktop");
        ScopedRegKey folders;
        ::RegCreateKeyExW(HKEY_CURRENT_USER,
                          L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", 0,
                          nullptr, 0, KEY_WRITE, nullptr, folders.Receive(), nullptr);
        ::RegSetValueExW(folders.Get(), L"Desktop", 0, REG_SZ, reinterpret_cast<const BYTE*>(desktop.c_str()),
                         static_cast<DWORD>((desktop.size() + 1) * sizeof(wchar_t)));
    }

    void SetUp() override {
        installDir_ = kivotest::MakeScratchDir(L"links") + L"\\Kivo Client";
        for (const wchar_t* file : {L"kivo.exe", L"unins.exe", L"Repair\\KivoRepair.exe"}) {
            std::wstring path = Utils::PathJoin({installDir_, file});
            Utils::CreateAllDirectories(path.substr(0, path.rfind(L'\\')));
            kivotest::WriteFileBytes(path, "MZ");
        }
        GlobalInfo& info = GlobalInfo::GetInstance();
        info.SetInstallDir(installDir_);
        info.SetDeskIcon(true);
        info.SetStartMenuIcon(true);
        info.SetAutoStart(true);
        info.SetDesktopIconUrl(L"");
        kivoinstaller::Setup::GetInstance().DeleteShortcuts();
    }

    std::wstring Client() const { return installDir_ + L"\\kivo.exe"; }
    std::wstring ProgramFolder() const { return Folder(CSIDL_COMMON_PROGRAMS) + L"\\Kivo直播"; }
    std::wstring DesktopLink() const { return Folder(CSIDL_DESKTOPDIRECTORY) + L"\\Kivo直播.lnk"; }
    std::wstring StartMenuLink() const { return Folder(CSIDL_STARTMENU) + L"\\Kivo直播.lnk"; }
    std::wstring StartupLink() const { return Folder(CSIDL_STARTUP) + L"\\Kivo直播.lnk"; }

    void ExpectLink(const std::wstring& path, const std::wstring& target, const std::wstring& arguments,
                    const std::wstring& workingDirectory) {
        SCOPED_TRACE(Narrow(path));
        LinkFields link = ReadLink(path);
        ASSERT_TRUE(link.loaded);
        EXPECT_EQ(Narrow(link.target), Narrow(target));
        EXPECT_EQ(Narrow(link.arguments), Narrow(arguments));
        EXPECT_EQ(Narrow(link.workingDirectory), Narrow(workingDirectory));
        EXPECT_EQ(link.description, L"");
        EXPECT_EQ(link.hotKey, 0);
        EXPECT_EQ(link.showCommand, SW_SHOWNORMAL);
    }

    std::wstring installDir_;
};

TEST_F(ShortcutsTest, CreateShortcutWritesEveryField) {
    std::wstring path = kivotest::MakeScratchDir(L"link") + L"\\all.lnk";
    ShortcutInfo info;
    info.target = Client();
    info.icon = installDir_ + L"\\unins.exe";
    info.arguments = L"/auto --x \"y z\"";
    info.workingDirectory = installDir_;
    info.description = L"Kivo直播 客户端";
    info.hotKey = MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_ALT);
    info.showCommand = SW_SHOWMAXIMIZED;
    ASSERT_EQ(Utils::CreateShortcut(path, info), S_OK);
    LinkFields link = ReadLink(path);
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(link.target, info.target);
    EXPECT_EQ(link.arguments, info.arguments);
    EXPECT_EQ(link.workingDirectory, info.workingDirectory);
    EXPECT_EQ(link.description, info.description);
    EXPECT_EQ(link.icon, info.icon);
    EXPECT_EQ(link.iconIndex, 0);
    EXPECT_EQ(link.hotKey, info.hotKey);
    EXPECT_EQ(link.showCommand, SW_SHOWMAXIMIZED);

    // A folder that does not exist cannot hold the link: the save's HRESULT comes back.
    EXPECT_LT(Utils::CreateShortcut(path + L".missing\\x.lnk", info), 0);
}

TEST_F(ShortcutsTest, CreatesTheWholeSet) {
    kivotest::LogCapture log;
    kivoinstaller::Setup::GetInstance().CreateShortCut();
    log.Finish();
    ExpectLink(DesktopLink(), Client(), L"", installDir_);
    ExpectLink(ProgramFolder() + L"\\Kivo直播.lnk", Client(), L"", installDir_);
    ExpectLink(ProgramFolder() + L"\\卸载.lnk", installDir_ + L"\\unins.exe", L"", installDir_);
    ExpectLink(ProgramFolder() + L"\\环境修复.lnk", installDir_ + L"\\Repair\\KivoRepair.exe", L"",
               installDir_ + L"\\Repair");
    ExpectLink(StartMenuLink(), Client(), L"", installDir_);
    ExpectLink(StartupLink(), Client(), L"/auto", installDir_);
    EXPECT_EQ(ReadLink(DesktopLink()).icon, L"");
    for (const char* message :
         {"Create desktop shortcut: 0", "Create common programs shortcut: 0", "Create uninstall shortcut: 0",
          "Create repair shortcut: 0", "Create start menu shortcut: 0", "Create startup shortcut: 0"}) {
        EXPECT_TRUE(log.Contains(message)) << message;
    }
}

TEST_F(ShortcutsTest, OptionsOffLeaveOnlyTheProgramFolder) {
    GlobalInfo& info = GlobalInfo::GetInstance();
    info.SetDeskIcon(false);
    info.SetStartMenuIcon(false);
    info.SetAutoStart(false);
    info.SetDesktopIconUrl(L"http://127.0.0.1:1/desktop.ico");
    kivotest::LogCapture log;
    kivoinstaller::Setup::GetInstance().CreateShortCut();
    log.Finish();
    EXPECT_FALSE(Utils::FileExists(DesktopLink()));
    EXPECT_FALSE(Utils::FileExists(StartMenuLink()));
    EXPECT_FALSE(Utils::FileExists(StartupLink()));
    EXPECT_TRUE(Utils::FileExists(ProgramFolder() + L"\\Kivo直播.lnk"));
    EXPECT_TRUE(Utils::FileExists(ProgramFolder() + L"\\卸载.lnk"));
    EXPECT_TRUE(Utils::FileExists(ProgramFolder() + L"\\环境修复.lnk"));
    // Without a desktop shortcut there is no icon to fetch.
    EXPECT_FALSE(log.Contains("Download desktop icon: http://127.0.0.1:1/desktop.ico"));
}

TEST_F(ShortcutsTest, MissingRepairToolSkipsOnlyItsLink) {
    ::DeleteFileW((installDir_ + L"\\Repair\\KivoRepair.exe").c_str());
    kivotest::LogCapture log;
    kivoinstaller::Setup::GetInstance().CreateShortCut();
    log.Finish();
    EXPECT_TRUE(log.Contains("Target path not exists: " + Narrow(installDir_) + "\\Repair\\KivoRepair.exe"));
    EXPECT_FALSE(Utils::FileExists(ProgramFolder() + L"\\环境修复.lnk"));
    EXPECT_TRUE(Utils::FileExists(ProgramFolder() + L"\\Kivo直播.lnk"));
    EXPECT_TRUE(Utils::FileExists(ProgramFolder() + L"\\卸载.lnk"));
    EXPECT_TRUE(Utils::FileExists(DesktopLink()));
    EXPECT_TRUE(Utils::FileExists(StartupLink()));
}

TEST_F(ShortcutsTest, ProgramFolderAlreadyPresentGetsNoLinks) {
    ASSERT_TRUE(Utils::CreateAllDirectories(ProgramFolder()));
    kivotest::LogCapture log;
    kivoinstaller::Setup::GetInstance().CreateShortCut();
    log.Finish();
    EXPECT_TRUE(log.Contains("Create directory failed: " + Narrow(ProgramFolder())));
    EXPECT_FALSE(Utils::FileExists(ProgramFolder() + L"\\Kivo直播.lnk"));
    EXPECT_TRUE(Utils::FileExists(DesktopLink()));
    EXPECT_TRUE(Utils::FileExists(StartMenuLink()));
}

TEST_F(ShortcutsTest, DesktopIconThatNeverDownloads) {
    // Nothing listens on port 1: each attempt fails at once with "could not connect".
    GlobalInfo::GetInstance().SetDesktopIconUrl(L"http://127.0.0.1:1/desktop.ico");
    kivotest::LogCapture log;
    kivoinstaller::Setup::GetInstance().CreateShortCut();
    std::vector<std::string> messages = log.Finish();
    EXPECT_TRUE(log.Contains("Download desktop icon: http://127.0.0.1:1/desktop.ico"));
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Download desktop icon failed: 7"), 3);
    ExpectLink(DesktopLink(), Client(), L"", installDir_);
    EXPECT_EQ(ReadLink(DesktopLink()).icon, L"");
}

TEST_F(ShortcutsTest, DeleteRemovesEveryShortcutAndTheFolder) {
    kivoinstaller::Setup& setup = kivoinstaller::Setup::GetInstance();
    setup.CreateShortCut();
    std::wstring external = Folder(CSIDL_STARTUP) + L"\\KivoExternal.lnk";
    std::wstring common = Folder(CSIDL_COMMON_STARTUP) + L"\\Kivo直播.lnk";
    ShortcutInfo info;
    info.target = Client();
    ASSERT_EQ(Utils::CreateShortcut(external, info), S_OK);
    ASSERT_EQ(Utils::CreateShortcut(common, info), S_OK);
    kivotest::WriteFileBytes(installDir_ + L"\\keep.txt", "the install directory is not touched");

    setup.DeleteShortcuts();
    for (const std::wstring& path : {DesktopLink(), StartMenuLink(), StartupLink(), external, common}) {
        EXPECT_FALSE(Utils::FileExists(path)) << Narrow(path);
    }
    EXPECT_FALSE(Utils::DirectoryExists(ProgramFolder()));
    EXPECT_TRUE(Utils::FileExists(installDir_ + L"\\keep.txt"));
    EXPECT_TRUE(Utils::FileExists(Client()));
}

TEST(IconCacheTest, RunsTheSystemToolWithTheArgumentForThisWindows) {
    // Wine has no ie4uinit.exe: a sample program stands in for it and records its command line.
    const std::wstring tool = L"C:\\Windows\\System32\\ie4uinit.exe";
    ::DeleteFileW(tool.c_str());
    {
        kivotest::LogCapture log;
        Utils::RefreshShortcutIcon();
        EXPECT_EQ(log.Finish(), std::vector<std::string>{"ie4uinit.exe not found"});
    }

    kivotest::SampleRecord record;
    ::GetDesktopWindow();  // Wine's desktop shell, whose token the tool runs with
    ASSERT_TRUE(kivotest::PlaceSampleProgram(tool));
    kivotest::LogCapture log;
    Utils::RefreshShortcutIcon();
    EXPECT_TRUE(log.Finish().empty());
    ASSERT_TRUE(kivotest::WaitUntil([&] { return !record.Runs().empty(); }));
    const char* argument = Utils::GetWindowsVersion() < Win10 ? "-ClearIconCache" : "-show";
    EXPECT_EQ(record.Runs()[0].commandLine,
              "\"C:\\Windows\\System32\\ie4uinit.exe\" " + std::string(argument));
    ::DeleteFileW(tool.c_str());
}

}  // namespace
