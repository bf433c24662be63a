#pragma once

// The configuration embedded in the executable, the installation steps and
// the contract through which the engine reports them.

#include <windows.h>

#include <functional>
#include <exception>
#include <memory>
#include <string>

#include <json/json.h>

#include "Logger.h"
#include "Utils.h"

namespace kivoinstaller {

enum InstallStep : int {
    None = 0,
    Start = 1,
    Downloading = 2,
    DownloadSuccess = 3,
    DownloadFail = 4,
    ExtraArchive = 5,
    UpdateConfig = 6,
    InstallSuccess = 7,
    InstallFail = 8,
};

// Progress value on a 0 to 100 scale for the whole installation. Called under
// the engine's lock: it must only record and post, never call back into it.
using InstallStepCallback = std::function<void(InstallStep, int)>;

inline std::wstring InstallStepName(InstallStep step) {
    static const wchar_t* const kNames[] = {L"None",         L"Start",          L"Downloading",
                                            L"DownloadSuccess", L"DownloadFail", L"ExtraArchive",
                                            L"UpdateConfig", L"InstallSuccess", L"InstallFail"};
    int index = static_cast<int>(step);
    return index >= 0 && index < 9 ? kNames[index] : L"Unknown";
}

// Steps after which an installation attempt is over.
inline bool IsTerminalStep(InstallStep step) {
    return step == None || step == DownloadFail || step == InstallSuccess || step == InstallFail;
}

struct EmbeddedConfig {
    std::wstring channel = L"official";
    bool silent = false;
};

constexpr int kConfigResourceId = 2000;

class ConfigParser {
public:
    // Never fails: any problem is logged once and the defaults are kept.
    static EmbeddedConfig Parse() {
        EmbeddedConfig config;
        HMODULE module = ::GetModuleHandleW(nullptr);
        HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(kConfigResourceId), L"CFG");
        if (!info) {
            LOG_ERROR(L"Failed to find resource: IDR_JSON_CONFIG");
            return config;
        }
        HGLOBAL loaded = ::LoadResource(module, info);
        if (!loaded) {
            LOG_ERROR(L"Failed to load resource: IDR_JSON_CONFIG");
            return config;
        }
        DWORD size = ::SizeofResource(module, info);
        if (size == 0) {
            LOG_ERROR(L"Failed to get size of resource: IDR_JSON_CONFIG");
            return config;
        }
        const void* data = ::LockResource(loaded);
        if (!data) {
            LOG_ERROR(L"Failed to lock resource: IDR_JSON_CONFIG");
            return config;
        }
        return ParseText(std::string(static_cast<const char*>(data), size));
    }

    // The resource's text; its lines are logged as Parse's.
    static EmbeddedConfig ParseText(const std::string& text) {
        static const wchar_t kParseFunction[] = L"kivoinstaller::ConfigParser::Parse";
        EmbeddedConfig config;
        Json::Value root;
        std::string errors;
        Json::CharReaderBuilder builder;
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        bool parsed = false;
        try {
            parsed = reader->parse(text.data(), text.data() + text.size(), &root, &errors);
        } catch (const std::exception& e) {
            // The reader throws instead of reporting on absurdly deep nesting.
            errors = e.what();
        }
        if (!parsed) {
            KLOG_AS(Error, kParseFunction, L"Failed to parse json: " + Utils::Utf8ToWide(errors));
            return config;
        }
        if (!root.isObject()) {
            KLOG_AS(Error, kParseFunction, L"Failed to parse json: root is not an object");
            return config;
        }
        if (root.isMember("Channel") && root["Channel"].isString()) {
            config.channel = Utils::Utf8ToWide(root["Channel"].asString());
        }
        if (root.isMember("Silent") && root["Silent"].isBool()) {
            config.silent = root["Silent"].asBool();
        }
        return config;
    }
};

}  // namespace kivoinstaller
