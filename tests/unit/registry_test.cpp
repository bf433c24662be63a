#include <gtest/gtest.h>

#include <string>

#include "GlobalInfo.h"
#include "ScopedWin.h"
#include "Setup.h"
#include "TestSupport.h"
#include "Utils.h"

using namespace kivoinstaller;

namespace {

const wchar_t kAppKey[] = L"SOFTWARE\\KivoPc\\KivoClient";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KivoClient";

struct RegValue {
    bool found = false;
    DWORD type = REG_NONE;
    std::wstring data;  // as stored, terminator included when it was written
};

RegValue ReadValue(const wchar_t* key, const wchar_t* name, REGSAM view = KEY_WOW64_32KEY) {
    RegValue value;
    ScopedRegKey opened;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | view, opened.Receive()) != ERROR_SUCCESS) {
        return value;
    }
    wchar_t buffer[4096] = {};
    DWORD size = sizeof(buffer);
    if (::RegQueryValueExW(opened.Get(), name, nullptr, &value.type, reinterpret_cast<BYTE*>(buffer),
                           &size) != ERROR_SUCCESS) {
        return value;
    }
    value.found = true;
    value.data.assign(buffer, size / sizeof(wchar_t));
    return value;
}

bool KeyExists(const wchar_t* key, REGSAM view) {
    ScopedRegKey opened;
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | view, opened.Receive()) == ERROR_SUCCESS;
}

void DeleteKey(const wchar_t* key) {
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY, 0);
}

LONG SetRaw(const wchar_t* name, DWORD type, const std::wstring& text, bool terminator) {
    ScopedRegKey key;
    LONG result = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAppKey, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY,
                                    nullptr, key.Receive(), nullptr);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    DWORD size = static_cast<DWORD>((text.size() + (terminator ? 1 : 0)) * sizeof(wchar_t));
    return ::RegSetValueExW(key.Get(), name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()), size);
}

// A REG_SZ value written with exactly one terminating zero.
void ExpectText(const wchar_t* key, const wchar_t* name, const std::wstring& text) {
    RegValue value = ReadValue(key, name);
    ASSERT_TRUE(value.found) << Utils::WideToUtf8(name);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value.data, text + L'\0') << Utils::WideToUtf8(name);
}

class RegistryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // As in the installer: COM on the main thread before the engine starts
        // its own thread (two first initialisations at once can hang Wine).
        ::CoInitialize(nullptr);
        kivoinstaller::Setup::GetInstance();
    }
    void SetUp() override {
        DeleteKey(kAppKey);
        DeleteKey(kUninstallKey);
        // A directory with a space: the uninstall command must stay one program.
        installDir_ = kivotest::MakeScratchDir(L"reg") + L"\\Kivo Client";
        ASSERT_TRUE(Utils::CreateAllDirectories(installDir_));
        GlobalInfo& info = GlobalInfo::GetInstance();
        info.SetInstallDir(installDir_);
        info.SetChannel(L"test-channel");
        info.SetVersion(L"7.6.0.1");
    }

    std::wstring installDir_;
};

TEST_F(RegistryTest, WritesBothKeysInThe32BitView) {
    kivotest::WriteFileBytes(installDir_ + L"\\unins.exe", "MZ");
    kivotest::LogCapture log;
    kivoinstaller::Setup& setup = kivoinstaller::Setup::GetInstance();
    EXPECT_TRUE(setup.WriteUninstallRegister());
    EXPECT_TRUE(setup.WriteRegister());
    log.Finish();
    EXPECT_TRUE(log.Contains("Write uninstall register success"));

    std::wstring uninstaller = installDir_ + L"\\unins.exe";
    ExpectText(kUninstallKey, L"DisplayIcon", uninstaller);
    ExpectText(kUninstallKey, L"DisplayName", L"Kivo直播");
    ExpectText(kUninstallKey, L"Publisher", L"Kivo信息科技有限公司");
    ExpectText(kUninstallKey, L"UninstallString", L"\"" + uninstaller + L"\"");

    std::wstring machine = Utils::Utf8ToWide(Utils::GetMachineIdStr());
    EXPECT_EQ(machine.size(), 32u);
    ExpectText(kAppKey, L"installPath", installDir_);
    ExpectText(kAppKey, L"channelname", L"test-channel");
    ExpectText(kAppKey, L"version", L"7.6.0.1");
    ExpectText(kAppKey, L"machine", machine);
    ExpectText(kAppKey, L"machineid", machine);

    // The 32-bit installer writes there; a 64-bit build must not write elsewhere.
    if (Utils::IsWindows64Bit()) {
        EXPECT_FALSE(KeyExists(kAppKey, KEY_WOW64_64KEY));
        EXPECT_FALSE(KeyExists(kUninstallKey, KEY_WOW64_64KEY));
    }
}

TEST_F(RegistryTest, RerunOverwritesAndKeepsForeignValues) {
    kivotest::WriteFileBytes(installDir_ + L"\\unins.exe", "MZ");
    kivoinstaller::Setup& setup = kivoinstaller::Setup::GetInstance();
    setup.WriteUninstallRegister();
    setup.WriteRegister();
    ASSERT_EQ(SetRaw(L"clientSetting", REG_SZ, L"kept", true), ERROR_SUCCESS);

    std::wstring moved = installDir_ + L"2";
    ASSERT_TRUE(Utils::CreateAllDirectories(moved));
    kivotest::WriteFileBytes(moved + L"\\unins.exe", "MZ");
    GlobalInfo::GetInstance().SetInstallDir(moved);
    GlobalInfo::GetInstance().SetVersion(L"7.7.0.0");
    setup.WriteUninstallRegister();
    setup.WriteRegister();

    ExpectText(kAppKey, L"installPath", moved);
    ExpectText(kAppKey, L"version", L"7.7.0.0");
    ExpectText(kAppKey, L"clientSetting", L"kept");
    ExpectText(kUninstallKey, L"DisplayIcon", moved + L"\\unins.exe");
    ExpectText(kUninstallKey, L"UninstallString", L"\"" + moved + L"\\unins.exe\"");
}

TEST_F(RegistryTest, NoUninstallEntryWithoutTheUninstaller) {
    kivotest::LogCapture log;
    kivoinstaller::Setup& setup = kivoinstaller::Setup::GetInstance();
    EXPECT_FALSE(setup.WriteUninstallRegister());
    EXPECT_TRUE(setup.WriteRegister());
    log.Finish();
    EXPECT_TRUE(log.Contains("Uninstall file not exists"));
    EXPECT_FALSE(log.Contains("Write uninstall register success"));
    EXPECT_FALSE(KeyExists(kUninstallKey, KEY_WOW64_32KEY));
    ExpectText(kAppKey, L"installPath", installDir_);
}

TEST_F(RegistryTest, ReadInstallPathRoundTrip) {
    EXPECT_EQ(ReadInstallPath(), L"");  // no key

    kivoinstaller::Setup::GetInstance().WriteRegister();
    EXPECT_EQ(ReadInstallPath(), installDir_);

    const std::wstring longest(1023, L'x');
    const struct {
        const char* what;
        DWORD type;
        std::wstring text;
        bool terminator;
        std::wstring expected;
    } cases[] = {
        {"with terminator", REG_SZ, L"D:\\Kivo", true, L"D:\\Kivo"},
        {"without terminator", REG_SZ, L"D:\\Kivo", false, L"D:\\Kivo"},
        {"1023 characters", REG_SZ, longest, true, longest},
        {"1024 characters", REG_SZ, longest + L"y", true, L""},
        {"expandable text", REG_EXPAND_SZ, L"%ProgramFiles%\\Kivo", true, L""},
        {"multi text", REG_MULTI_SZ, L"D:\\Kivo", true, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(SetRaw(L"installPath", c.type, c.text, c.terminator), ERROR_SUCCESS);
        EXPECT_EQ(ReadInstallPath(), c.expected);
    }
}

}  // namespace
