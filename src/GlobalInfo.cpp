#include "GlobalInfo.h"

#include <shlobj.h>

#include "Endpoints.h"
#include "Logger.h"

namespace kivoinstaller {

const wchar_t kDefaultInstallDir[] = L"C:\\Program Files (x86)\\KivoClient";
const wchar_t kInstallDirSuffix[] = L"\\KivoClient";
const wchar_t kUpdateDirSuffix[] = L"\\KivoPCLive\\KivoUpdate";
const wchar_t kConfigDirSuffix[] = L"\\KivoPCLive\\Config";
const wchar_t kProductionApiUrl[] = KIVO_API_URL;
const wchar_t kTestApiUrl[] = KIVO_TEST_API_URL;

namespace {

HRESULT ShellFolder(int csidl, std::wstring* folder) {
    wchar_t buffer[2048] = {};
    HRESULT hr = ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
    *folder = SUCCEEDED(hr) ? buffer : L"";
    return hr;
}

}  // namespace

#define KIVO_GLOBAL_ACCESSORS(Type, Getter, Setter, field) \
    Type GlobalInfo::Getter() {                            \
        std::lock_guard<std::mutex> lock(lock_);           \
        return field;                                      \
    }                                                      \
    void GlobalInfo::Setter(const Type& value) {           \
        std::lock_guard<std::mutex> lock(lock_);           \
        field = value;                                     \
    }

#define KIVO_GLOBAL_FLAG(Getter, Setter, field)  \
    bool GlobalInfo::Getter() {                  \
        std::lock_guard<std::mutex> lock(lock_); \
        return field;                            \
    }                                            \
    void GlobalInfo::Setter(bool value) {        \
        std::lock_guard<std::mutex> lock(lock_); \
        field = value;                           \
    }

KIVO_GLOBAL_ACCESSORS(std::wstring, GetChannel, SetChannel, channel_)
KIVO_GLOBAL_ACCESSORS(std::wstring, GetLaunchCommand, SetLaunchCommand, launchCommand_)
KIVO_GLOBAL_ACCESSORS(std::wstring, GetVersion, SetVersion, version_)
KIVO_GLOBAL_ACCESSORS(std::wstring, GetDesktopIconUrl, SetDesktopIconUrl, desktopIconUrl_)
KIVO_GLOBAL_FLAG(IsSilent, SetSilent, silent_)
KIVO_GLOBAL_FLAG(IsDevMode, SetDevMode, devMode_)
KIVO_GLOBAL_FLAG(GetAgree, SetAgree, agree_)
KIVO_GLOBAL_FLAG(GetDeskIcon, SetDeskIcon, deskIcon_)
KIVO_GLOBAL_FLAG(GetStartMenuIcon, SetStartMenuIcon, startMenuIcon_)
KIVO_GLOBAL_FLAG(GetAutoStart, SetAutoStart, autoStart_)
KIVO_GLOBAL_FLAG(GetStartExternal, SetStartExternal, startExternal_)

void GlobalInfo::SetInstallDir(const std::wstring& dir) {
    std::lock_guard<std::mutex> lock(lock_);
    installDir_ = dir;
}

std::wstring GlobalInfo::GetInstallDir() {
    std::lock_guard<std::mutex> lock(lock_);
    if (!installDir_.empty()) {
        return installDir_;
    }
    // A 32-bit process gets "Program Files (x86)" on 64-bit Windows. The
    // default is looked up on every call, never stored.
    std::wstring programFiles;
    HRESULT hr = ShellFolder(CSIDL_PROGRAM_FILES, &programFiles);
    if (SUCCEEDED(hr)) {
        return programFiles + kInstallDirSuffix;
    }
    LOG_ERROR(L"Failed to get program files path: " + std::to_wstring(static_cast<long>(hr)));
    return kDefaultInstallDir;
}

std::wstring GlobalInfo::GetUpdateDir() {
    std::wstring appData;
    ShellFolder(CSIDL_APPDATA, &appData);
    return appData + kUpdateDirSuffix;
}

std::wstring GlobalInfo::GetConfigDir() {
    std::wstring appData;
    if (FAILED(ShellFolder(CSIDL_APPDATA, &appData))) {
        return L"";
    }
    return appData + kConfigDirSuffix;
}

std::wstring GlobalInfo::GetApiUrl() {
    std::lock_guard<std::mutex> lock(lock_);
    return devMode_ ? kTestApiUrl : kProductionApiUrl;
}

}  // namespace kivoinstaller
