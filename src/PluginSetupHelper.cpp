#include "PluginSetupHelper.h"

#include <shlobj.h>

#include <memory>
#include <string>

#include <json/json.h>

#include "Logger.h"
#include "ScopedWin.h"
#include "SevenZipHelper.h"
#include "Utils.h"

namespace kivoinstaller {

namespace {

// The settings file is the client's: any member may be missing or of another type.
const Json::Value* Member(const Json::Value& value, const char* name) {
    return value.isObject() && value.isMember(name) ? &value[name] : nullptr;
}

}  // namespace

std::wstring PluginSetupHelper::CefDirectory() {
    // A failed lookup leaves the folder part empty: the runtime is then looked
    // for relative to the current directory and simply not found.
    wchar_t appData[2048] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
    return Utils::PathJoin({appData, L"KivoPCLive\\Packages\\CefSharp"});
}

bool PluginSetupHelper::IsCefInstalled() {
    std::wstring dir = CefDirectory();
    if (!Utils::DirectoryExists(dir)) {
        LOG_INFO(L"CefSharp Dir not exists.");
        return false;
    }
    std::wstring settingPath = Utils::PathJoin({dir, L"NewSetting.json"});
    if (!Utils::FileExists(settingPath)) {
        LOG_INFO(L"Setting json not exists.");
        return false;
    }
    ScopedFileHandle file(::CreateFileW(settingPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        LOG_ERROR(L"Failed to open json file: " + settingPath);
        return false;
    }
    DWORD size = ::GetFileSize(file.Get(), nullptr);
    if (size == INVALID_FILE_SIZE) {
        LOG_ERROR(L"Failed to get file size of json file: " + settingPath);
        return false;
    }
    std::string text(size, '\0');
    DWORD read = 0;
    if (!::ReadFile(file.Get(), &text[0], size, &read, nullptr)) {
        LOG_ERROR(L"Failed to read config file: " + settingPath);
        return false;
    }
    text.resize(read);
    file.Reset();

    Json::Value root;
    std::string errors;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) {
        LOG_ERROR(L"Failed to parse json: " + Utils::Utf8ToWide(errors));
        return false;
    }
    const Json::Value* versions = Member(root, "Versions");
    if (versions != nullptr && versions->isArray()) {
        for (const Json::Value& element : *versions) {
            const Json::Value* latest = Member(element, "LatestVersion");
            if (latest == nullptr || !latest->isString()) {
                continue;
            }
            std::wstring version = Utils::Utf8ToWide(latest->asString());
            LOG_INFO(L"LatestVersion: " + version);
            std::wstring flag = Utils::PathJoin({dir, version, L"cfg"});
            if (Utils::FileExists(flag)) {
                return true;
            }
            LOG_WARN(L"Flag file not exists: " + flag);
        }
    }
    LOG_ERROR(L"Json not contains CefVersion");
    return false;
}

bool PluginSetupHelper::InstallCef(const std::wstring& packagePath, HANDLE cancelEvent) {
    return SevenZipHelper::ExtractArchive(packagePath, CefDirectory(), cancelEvent,
                                          SevenZipHelper::ProgressFunc());
}

}  // namespace kivoinstaller
