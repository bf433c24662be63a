#include "Setup.h"

#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <map>
#include <vector>

#include "Endpoints.h"
#include "HttpClient.h"
#include "Logger.h"
#include "Lonvu.h"
#include "PluginSetupHelper.h"
#include "SevenZipHelper.h"
#include "Utils.h"

// The phases are split into methods, but their lines are the installer thread's.
#define PHASE_LOG(level, message) KLOG_AS((level), L"kivoinstaller::Setup::ThreadProc", (message))

namespace kivoinstaller {

const wchar_t kDefaultPackageMd5[] = L"88ad2606f38647a8b382c2823a44a11b";
const wchar_t kDefaultPackageVersion[] = L"7.5.1.0";

namespace {

const wchar_t kRunningProgramsQuestion[] = L"当前安装目录下有程序还在运行,是否强制退出程序以继续安装?";
const int kStopClientAttempts = 3;
const DWORD kStopClientPauseMs = 3000;

void DeleteIfFile(const std::wstring& path) {
    if (Utils::FileExists(path)) {
        ::DeleteFileW(path.c_str());
    }
}

std::map<std::wstring, std::wstring> InstallEventProperties() {
    return {{L"client_ver", GlobalInfo::GetInstance().GetVersion()},
            {L"down_ver", Lonvu::GetInstance().GetInstallerVersion()}};
}

}  // namespace

std::wstring DefaultPackageUrl() {
    return std::wstring(KIVO_PACKAGE_BASE_URL) + L"/kivopc/19881/7.5.1.0/KivoClientUpdate7.5.1.0.7z";
}

bool IsAbsentConfigText(const std::wstring& value) { return value.empty() || value == L"\"\""; }

Setup::Setup() {
    startEvent_.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    installEvent_.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    exitEvent_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // The thread reads the package path only after an event, and no event can
    // be set before construction has returned.
    thread_ = std::thread(&Setup::ThreadProc, this);
    packagePath_ = GetTempDownloadPath();
    LOG_INFO(L"DonwloadPath is: " + packagePath_);
}

Setup::~Setup() {
    // The entry point always shuts down first; this only keeps a process that
    // exits without doing so from terminating on a joinable thread.
    if (thread_.joinable()) {
        if (exitEvent_) {
            ::SetEvent(exitEvent_.Get());
        }
        thread_.join();
    }
}

void Setup::StartDownload() {
    std::lock_guard<std::mutex> lock(lock_);
    if (state_ == 0) {
        ::SetEvent(startEvent_.Get());
    }
}

void Setup::StartInstall() {
    Report(Start, 0);
    int state = GetState();
    if (state == 0) {
        ::SetEvent(startEvent_.Get());
        ::SetEvent(installEvent_.Get());
    } else if (state == 1) {
        if (waiting_) {
            Report(Downloading, 49);
        }
        ::SetEvent(installEvent_.Get());
    }
}

void Setup::Shutdown() {
    if (exitEvent_) {
        ::SetEvent(exitEvent_.Get());
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    startEvent_.Reset();
    installEvent_.Reset();
    exitEvent_.Reset();
    if (Utils::FileExists(packagePath_)) {
        ::DeleteFileW(packagePath_.c_str());
    }
}

void Setup::SetCallback(InstallStepCallback callback) {
    std::lock_guard<std::mutex> lock(lock_);
    callback_ = std::move(callback);
}

void Setup::Report(InstallStep step, int value) {
    std::lock_guard<std::mutex> lock(lock_);
    if (callback_) {
        callback_(step, value);
    }
}

bool Setup::IsExitRequested() const { return ::WaitForSingleObject(exitEvent_.Get(), 0) == WAIT_OBJECT_0; }

void Setup::SetState(int state) {
    std::lock_guard<std::mutex> lock(lock_);
    state_ = state;
}

int Setup::GetState() {
    std::lock_guard<std::mutex> lock(lock_);
    return state_;
}

void Setup::ThreadProc() {
    // Shell links and WMI are used from this thread.
    ScopedCoInitialize com;
    ThreadState ts;
    for (;;) {
        SetState(0);
        HANDLE events[] = {exitEvent_.Get(), startEvent_.Get(), installEvent_.Get()};
        DWORD which = ::WaitForMultipleObjects(3, events, FALSE, INFINITE);
        if (which == WAIT_OBJECT_0) {
            PHASE_LOG(Info, L"Exit Installer thread");
            break;
        }
        if (which == WAIT_OBJECT_0 + 1) {
            RunDownloadPhase(ts);
        } else if (which == WAIT_OBJECT_0 + 2) {
            if (!RunInstallPhase(ts)) {
                break;
            }
        } else {
            PHASE_LOG(Error, L"WaitForMultipleObjects failed: " + std::to_wstring(::GetLastError()));
        }
    }
    PHASE_LOG(Info, L"Installer thread exit");
    if (ts.cefTask) {
        ts.cefTask->Wait();
        // A verified runtime package that was never installed goes with the client package.
        DeleteIfFile(ts.cefTask->GetResult());
        ts.cefTask.reset();
    }
    DeleteIfFile(ts.cefPackagePath);
}

void Setup::StartCefTask(ThreadState& ts, const PackageConfig& config) {
    auto task = std::make_unique<Task<std::wstring>>([this, config] { return DownloadCef(config); });
    // The new task replaces the old one before the old one is destroyed (and waited for).
    std::unique_ptr<Task<std::wstring>> old = std::move(ts.cefTask);
    ts.cefTask = std::move(task);
}

void Setup::RunDownloadPhase(ThreadState& ts) {
    SetState(1);
    PHASE_LOG(Info, L"Start download");
    Report(Downloading, 0);

    PackageConfig config;
    if (!GetPackageConfig(config)) {
        PHASE_LOG(Error, L"Get package config failed, use default");
        config.DownloadUrl = DefaultPackageUrl();
        config.Md5 = kDefaultPackageMd5;
        config.Version = kDefaultPackageVersion;
    }
    if (!PackageConfigValid(config)) {
        Report(DownloadFail, 0);
        return;
    }

    GlobalInfo& info = GlobalInfo::GetInstance();
    info.SetVersion(config.Version);
    if (!IsAbsentConfigText(config.LaunchCommand)) {
        info.SetLaunchCommand(config.LaunchCommand);
    }
    if (!IsAbsentConfigText(config.DesktopIconUrl)) {
        info.SetDesktopIconUrl(config.DesktopIconUrl);
    }
    info.SetStartExternal(config.StartExternal);

    if (!IsAbsentConfigText(config.CefDownloadUrl) && !IsAbsentConfigText(config.CefMd5)) {
        if (PluginSetupHelper::IsCefInstalled()) {
            PHASE_LOG(Info, L"Cef is already installed");
        } else if (!ts.cefTask) {
            PHASE_LOG(Info, L"Start cef download task");
            StartCefTask(ts, config);
        } else if (ts.cefTask->IsRunning()) {
            PHASE_LOG(Info, L"Cef download task is running");
        } else if (!CheckCefDownloadSuccess(ts.cefTask->GetResult(), config)) {
            PHASE_LOG(Info, L"ReStart cef download task");
            StartCefTask(ts, config);
        }
    }

    ts.downloaded = DownloadInstallPackage(config);
    if (!ts.downloaded) {
        Report(DownloadFail, 0);
        return;
    }

    if (ts.cefTask) {
        if (ts.cefTask->IsRunning()) {
            PHASE_LOG(Info, L"Wait cef download task exit");
            waiting_ = true;
            ts.cefTask->Wait();
            waiting_ = false;
        }
        ts.cefPackagePath = ts.cefTask->GetResult();
    }
    Report(DownloadSuccess, 50);
}

bool Setup::RunInstallPhase(ThreadState& ts) {
    SetState(2);
    PHASE_LOG(Info, L"Start install");
    Lonvu::GetInstance().Report(L"install_start", L"开始真正运行安装包，执行安装程序", InstallEventProperties());

    if (!ts.downloaded || !Utils::FileExists(packagePath_)) {
        PHASE_LOG(Error, L"Download failed, can't install");
        Report(DownloadFail, 0);
        return true;
    }
    Report(ExtraArchive, 50);

    GlobalInfo& info = GlobalInfo::GetInstance();
    if (!info.IsSilent()) {
        std::vector<DWORD> running;
        Utils::GetProcessesInDirectory(info.GetInstallDir(), running);
        Utils::GetProcessesInDirectory(info.GetUpdateDir(), running);
        if (!running.empty()) {
            PHASE_LOG(Warn, L"Processes Runing in directory");
            if (::MessageBoxW(nullptr, kRunningProgramsQuestion, L"提示", MB_OKCANCEL | MB_ICONWARNING) != IDOK) {
                PHASE_LOG(Info, L"cancel kill process");
                Report(None, 0);
                return true;
            }
        }
    }
    if (IsExitRequested()) {
        PHASE_LOG(Info, L"Exit Installer thread");
        return false;
    }

    StopRunningClient();
    if (IsExitRequested()) {
        PHASE_LOG(Info, L"Exit Installer thread");
        return false;
    }

    bool extracted = SevenZipHelper::ExtractArchive(
        packagePath_, info.GetInstallDir(), exitEvent_.Get(), [this](uint64_t total, uint64_t done) {
            // An empty archive has nothing to weigh; it counts as done.
            double fraction = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
            Report(ExtraArchive, static_cast<int>(fraction * 35 + 50));
        });
    if (!extracted) {
        PHASE_LOG(Error, L"Install failed");
        Report(InstallFail, 0);
        return true;
    }
    Report(ExtraArchive, 85);

    if (Utils::FileExists(ts.cefPackagePath)) {
        PHASE_LOG(Info, L"Start install cef");
        if (PluginSetupHelper::InstallCef(ts.cefPackagePath, exitEvent_.Get())) {
            PHASE_LOG(Info, L"Install cef success");
        } else {
            PHASE_LOG(Error, L"Install cef failed");
        }
        ::DeleteFileW(ts.cefPackagePath.c_str());
    }
    Report(ExtraArchive, 90);

    if (IsExitRequested()) {
        PHASE_LOG(Warn, L"Exit Installer thread");
        return false;
    }

    // Each configuration stage logs its own failure and the installation goes on.
    const std::pair<std::function<void()>, int> stages[] = {
        {[this] { WriteUninstallRegister(); }, 92},
        {[this] { WriteRegister(); }, 95},
        {[this] { InstallUacServer(); }, 98},
        {[this] { CreateShortCut(); }, 99},
    };
    for (const auto& stage : stages) {
        stage.first();
        Report(UpdateConfig, stage.second);
        if (IsExitRequested()) {
            PHASE_LOG(Warn, L"Exit Installer thread");
            return false;
        }
    }

    if (!info.GetDesktopIconUrl().empty()) {
        Utils::RefreshShortcutIcon();
    }
    PHASE_LOG(Info, L"Install success");
    Report(InstallSuccess, 100);
    Lonvu::GetInstance().Report(L"install_complete", L"完成安装", InstallEventProperties());

    if (!info.IsSilent() && info.GetStartExternal()) {
        StartExternal();
    }
    return true;
}

void Setup::StopRunningClient() {
    GlobalInfo& info = GlobalInfo::GetInstance();
    for (int attempt = 0; attempt < kStopClientAttempts; ++attempt) {
        std::vector<DWORD> running;
        Utils::GetProcessesInDirectory(info.GetInstallDir(), running);
        Utils::GetProcessesInDirectory(info.GetUpdateDir(), running);
        if (running.empty()) {
            break;
        }
        Utils::KillPorcessesById(running);
        ::Sleep(kStopClientPauseMs);
    }
    DeleteShortcuts();
}

void Setup::StartExternal() {
    PHASE_LOG(Info, L"Start external");
    std::wstring installDir = GlobalInfo::GetInstance().GetInstallDir();
    std::wstring external = Utils::PathJoin({installDir, L"Client\\KvExternal.exe"});
    if (!Utils::FileExists(external)) {
        PHASE_LOG(Error, L"External not exist");
        return;
    }
    ProcessLauncher launcher;
    if (!launcher.RunAsExplorerToken(external, L"")) {
        PHASE_LOG(Error, L"Failed to start external");
    }
    wchar_t startup[2048] = {};
    if (::SHGetSpecialFolderPathW(nullptr, startup, CSIDL_STARTUP, FALSE) != TRUE) {
        PHASE_LOG(Error, L"Get startup path failed");
        return;
    }
    ShortcutInfo shortcut;
    shortcut.target = external;
    shortcut.arguments = L"/auto";
    shortcut.workingDirectory = Utils::PathJoin({installDir, L"Client"});
    HRESULT hr = Utils::CreateShortcut(Utils::PathJoin({startup, L"KivoExternal.lnk"}), shortcut);
    PHASE_LOG(Info, L"Create external startup shortcut: " + std::to_wstring(static_cast<long>(hr)));
}

// ---- Package configuration and download ----

namespace {

const int kPackageConfigAttempts = 3;

// Ids run 0, 1, 2, ... over every attempt of the process, so that a late or
// stray reply to another request is never taken for this one.
std::atomic<int> g_nextRequestId{0};

#define CONFIG_LOG(level, message) KLOG_AS((level), L"kivoinstaller::Setup::GetPackageConfig", (message))

// The reader throws on input nested deeper than its limit; a reply from the
// network must never end the installer thread.
bool ParseJson(const std::string& text, Json::Value* root, std::string* errors) {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    try {
        return reader->parse(text.data(), text.data() + text.size(), root, errors);
    } catch (const Json::Exception& e) {
        *errors = e.what();
        return false;
    }
}

// Null when value is not an object or has no such member (asking a non-object
// for a member would throw).
const Json::Value* FindMember(const Json::Value& value, const char* name) {
    return value.isObject() ? value.find(name, name + std::strlen(name)) : nullptr;
}

void TakeString(const Json::Value& object, const char* name, std::wstring& field) {
    const Json::Value* member = FindMember(object, name);
    if (member && member->isString()) {
        field = Utils::Utf8ToWide(member->asString());
    }
}

}  // namespace

std::string PackageConfigRequestBody(const std::wstring& channel, int requestId) {
    Json::StreamWriterBuilder writer;
    Json::Value inner;
    inner["tReq"]["sChannel"] = Utils::WideToUtf8(channel);
    Json::Value request;
    request["iRequestId"] = requestId;
    request["iVersion"] = 4;
    request["sBuffer"] = Json::writeString(writer, inner);
    request["sFuncName"] = "getPCDownloaderbyHttpRequest";
    request["sServantName"] = "zivuz";
    return Json::writeString(writer, request);
}

bool ParsePackageConfigReply(const std::string& text, int requestId, PackageConfig& config) {
    Json::Value reply;
    std::string errors;
    if (!ParseJson(text, &reply, &errors)) {
        CONFIG_LOG(Error, L"Parse response failed: " + Utils::Utf8ToWide(errors));
        return false;
    }
    const Json::Value* id = FindMember(reply, "iRequestId");
    if (!id || !id->isInt() || id->asInt() != requestId) {
        CONFIG_LOG(Error, L"Request id not match");
        return false;
    }
    const Json::Value* buffer = FindMember(reply, "sBuffer");
    if (!buffer || !buffer->isString()) {
        CONFIG_LOG(Error, L"Response not contains sBuffer");
        return false;
    }
    Json::Value inner;
    if (!ParseJson(buffer->asString(), &inner, &errors)) {
        CONFIG_LOG(Error, L"Parse buffer failed: " + Utils::Utf8ToWide(errors));
        return false;
    }
    const Json::Value* ret = FindMember(inner, "@ret");
    if (!ret || !ret->isInt()) {
        CONFIG_LOG(Error, L"Response @ret not exist");
        return false;
    }
    if (ret->asInt() != 0) {
        CONFIG_LOG(Error, L"Response iRet is not 0: " + std::to_wstring(ret->asInt()));
        return false;
    }
    const Json::Value* rsp = FindMember(inner, "tRsp");
    if (!rsp || !rsp->isObject()) {
        CONFIG_LOG(Error, L"Response tRsp not exist");
        return false;
    }
    TakeString(*rsp, "DownloadUrl", config.DownloadUrl);
    TakeString(*rsp, "Md5", config.Md5);
    TakeString(*rsp, "Version", config.Version);
    TakeString(*rsp, "LaunchCommand", config.LaunchCommand);
    TakeString(*rsp, "DesktopIconUrl", config.DesktopIconUrl);
    TakeString(*rsp, "CefDownloadUrl", config.CefDownloadUrl);
    TakeString(*rsp, "CefMd5", config.CefMd5);
    const Json::Value* startExternal = FindMember(*rsp, "StartExternal");
    if (startExternal && startExternal->isInt()) {
        config.StartExternal = startExternal->asInt() == 1;
    }
    return true;
}

bool Setup::GetPackageConfig(PackageConfig& config) {
    GlobalInfo& info = GlobalInfo::GetInstance();
    std::wstring channel = info.GetChannel();
    std::string url = Utils::WideToUtf8(info.GetApiUrl());
    for (int attempt = 0; attempt < kPackageConfigAttempts; ++attempt) {
        int requestId = g_nextRequestId.fetch_add(1);
        std::string body = PackageConfigRequestBody(channel, requestId);
        std::vector<char> response;
        int result = HttpClient::PostJson(url, body, response, exitEvent_.Get());
        if (result == kHttpCancelled) {
            LOG_ERROR(L"Post request aborted");
            return false;
        }
        if (result != kHttpOk) {
            LOG_ERROR(L"Post request failed: " + std::to_wstring(result));
            continue;
        }
        std::string text(response.begin(), response.end());
        LOG_DEBUG(L"Response: " + Utils::Utf8ToWide(text));
        // The record is filled only from a reply that passed every check.
        PackageConfig received;
        if (ParsePackageConfigReply(text, requestId, received)) {
            config = received;
            return true;
        }
    }
    return false;
}

#undef CONFIG_LOG

bool PackageConfigValid(const PackageConfig& config) {
    LOG_INFO(L"DownloadUrl: " + config.DownloadUrl + L", Md5: " + config.Md5 + L", Version: " +
             config.Version + L", LaunchCommand: " + config.LaunchCommand + L", DesktopIconUrl: " +
             config.DesktopIconUrl + L", CefDownloadUrl: " + config.CefDownloadUrl + L", CefMd5: " +
             config.CefMd5 + L", StartExternal: " + (config.StartExternal ? L"1" : L"0"));
    if (config.DownloadUrl.empty()) {
        LOG_ERROR(L"Download url is empty");
        return false;
    }
    if (config.Md5.empty()) {
        LOG_ERROR(L"Md5 is empty");
        return false;
    }
    if (config.Version.empty()) {
        LOG_ERROR(L"Version is empty");
        return false;
    }
    return true;
}

std::wstring GetTempDownloadPath() {
    return Utils::PathJoin({Utils::GetTempDirectory(), NewGuidString() + L".kvdl"});
}

std::wstring GetSetupUserAgent() {
    return L"KivoPCSetup/" + GetOwnFileVersion();
}

int DownloadPercent(long long total, long long received) {
    return static_cast<int>(static_cast<double>(received) / static_cast<double>(total) * 50);
}

bool Setup::DownloadInstallPackage(const PackageConfig& config) {
    if (Utils::FileExists(packagePath_) && Utils::FileMd5Matches(packagePath_, config.Md5)) {
        LOG_INFO(L"File is Already Exists");
        return true;
    }
    // One report per new percentage: a fast transfer ticks thousands of times,
    // and each report becomes a window message.
    int lastPercent = -1;
    HttpDownload download(config.DownloadUrl, packagePath_, exitEvent_.Get(),
                          [this, &lastPercent](long long total, long long received) {
                              // The size is unknown until the headers have arrived.
                              if (total <= 0) {
                                  return;
                              }
                              int percent = DownloadPercent(total, received);
                              if (percent != lastPercent) {
                                  lastPercent = percent;
                                  Report(Downloading, percent);
                              }
                          });
    download.userAgent = GetSetupUserAgent();
    int result = download.Perform();
    if (result != kHttpOk) {
        LOG_ERROR(L"Download failed: " + std::to_wstring(result));
        return false;
    }
    if (!Utils::FileMd5Matches(packagePath_, config.Md5)) {
        LOG_ERROR(L"Download file md5 not match");
        return false;
    }
    LOG_INFO(L"Download success");
    return true;
}

// ---- Browser runtime ----

std::wstring Setup::DownloadCef(const PackageConfig& config) {
    std::wstring path = GetTempDownloadPath();
    HttpDownload download(config.CefDownloadUrl, path, exitEvent_.Get(), HttpDownload::Progress());
    download.userAgent = GetSetupUserAgent();
    int result = download.Perform();
    if (result != 0) {
        LOG_ERROR(L"Cef download failed: " + std::to_wstring(result));
        DeleteIfFile(path);
        return L"";
    }
    if (!CheckCefDownloadSuccess(path, config)) {
        LOG_ERROR(L"Cef download failed");
        DeleteIfFile(path);
        return L"";
    }
    return path;
}

bool CheckCefDownloadSuccess(const std::wstring& path, const PackageConfig& config) {
    if (!Utils::FileExists(path)) {
        LOG_ERROR(L"Cef download failed: file not exist.");
        return false;
    }
    std::wstring md5 = Utils::GetFileMd5String(path);
    if (Utils::EqualsIgnoreCase(md5, config.CefMd5)) {
        return true;
    }
    LOG_ERROR(L"Cef md5 not match: " + md5 + L" != " + config.CefMd5);
    return false;
}

// ---- Registry, service, shortcuts ----

namespace {

const wchar_t kAppKey[] = L"SOFTWARE\\KivoPc\\KivoClient";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KivoClient";
const wchar_t kProductName[] = L"Kivo直播";
const wchar_t kPublisher[] = L"Kivo信息科技有限公司";
const wchar_t kClientLink[] = L"Kivo直播.lnk";
const wchar_t kExternalLink[] = L"KivoExternal.lnk";
const DWORD kServiceInstallTimeoutMs = 20000;
const int kIconDownloadAttempts = 3;

// The installer is a 32-bit program; a 64-bit build must land in the same view.
const REGSAM kRegistryView = KEY_WOW64_32KEY;

LONG CreateMachineKey(const wchar_t* path, ScopedRegKey* key) {
    return ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_WRITE | kRegistryView, nullptr, key->Receive(), nullptr);
}

LONG SetStringValue(HKEY key, const wchar_t* name, const std::wstring& value) {
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// A special folder's path, empty when the shell does not know it.
std::wstring SpecialFolder(int csidl) {
    wchar_t path[2048] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) {
        return L"";
    }
    return path;
}

std::wstring DesktopFolder() {
    ScopedCoTaskMem<ITEMIDLIST> items;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, items.Receive()))) {
        return L"";
    }
    wchar_t path[2048] = {};
    if (!::SHGetPathFromIDListW(items.Get(), path)) {
        return L"";
    }
    return path;
}

std::wstring HResultText(HRESULT hr) {
    return std::to_wstring(static_cast<long>(hr));
}

}  // namespace

bool Setup::WriteUninstallRegister() {
    std::wstring uninstaller = Utils::PathJoin({GlobalInfo::GetInstance().GetInstallDir(), L"unins.exe"});
    if (!Utils::FileExists(uninstaller)) {
        LOG_ERROR(L"Uninstall file not exists");
        return false;
    }
    ScopedRegKey key;
    LONG result = CreateMachineKey(kUninstallKey, &key);
    if (result != ERROR_SUCCESS) {
        LOG_ERROR(L"Failed to create uninstall register key: " + std::to_wstring(result));
        return false;
    }
    // The uninstall command is quoted: Windows runs it as a command line, and an
    // unquoted path with spaces would start whatever matches its first word.
    const std::pair<const wchar_t*, std::wstring> values[] = {
        {L"DisplayIcon", uninstaller},
        {L"DisplayName", kProductName},
        {L"Publisher", kPublisher},
        {L"UninstallString", L"\"" + uninstaller + L"\""},
    };
    bool written = true;
    for (const auto& value : values) {
        result = SetStringValue(key.Get(), value.first, value.second);
        if (result != ERROR_SUCCESS) {
            LOG_ERROR(std::wstring(L"Failed to set ") + value.first + L" register value: " +
                      std::to_wstring(result));
            written = false;
        }
    }
    LOG_INFO(L"Write uninstall register success");
    return written;
}

bool Setup::WriteRegister() {
    ScopedRegKey key;
    LONG result = CreateMachineKey(kAppKey, &key);
    if (result != ERROR_SUCCESS) {
        LOG_ERROR(L"Failed to create register key: " + std::to_wstring(result));
        return false;
    }
    GlobalInfo& info = GlobalInfo::GetInstance();
    std::wstring machine;
    const std::pair<const wchar_t*, std::function<std::wstring()>> values[] = {
        {L"installPath", [&info] { return info.GetInstallDir(); }},
        {L"channelname", [&info] { return info.GetChannel(); }},
        {L"version", [&info] { return info.GetVersion(); }},
        {L"machine", [&machine] { return machine = Utils::Utf8ToWide(Utils::GetMachineIdStr()); }},
        {L"machineid", [&machine] { return machine; }},
    };
    bool written = true;
    for (const auto& value : values) {
        result = SetStringValue(key.Get(), value.first, value.second());
        if (result != ERROR_SUCCESS) {
            LOG_ERROR(std::wstring(L"Failed to set ") + value.first + L" register value: " +
                      std::to_wstring(result));
            written = false;
        }
    }
    return written;
}

std::wstring ReadInstallPath() {
    ScopedRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAppKey, 0, KEY_READ | kRegistryView, key.Receive()) !=
        ERROR_SUCCESS) {
        return L"";
    }
    wchar_t buffer[1024] = {};
    DWORD type = 0;
    DWORD size = sizeof(buffer);
    if (::RegQueryValueExW(key.Get(), L"installPath", nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                           &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return L"";
    }
    std::wstring text(buffer, size / sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

bool Setup::InstallUacServer() {
    if (Utils::GetWindowsVersion() < Win10 || !Utils::IsWindows64Bit()) {
        LOG_WARN(L"UacService not support");
        return false;
    }
    std::wstring services = Utils::PathJoin({GlobalInfo::GetInstance().GetInstallDir(), L"Services"});
    std::wstring serviceDir = Utils::PathJoin({services, L"UacService"});
    std::wstring installer = Utils::PathJoin({services, L"KivoServerInstaller.exe"});
    if (!Utils::FileExists(installer)) {
        LOG_ERROR(L"KivoServerInstaller.exe not exists");
        return false;
    }
    ProcessLauncher launcher;
    launcher.Run(installer, L"/UacService /Install /CopySelf /ServerFileDir=\"" + serviceDir + L"\"");
    bool finished = false;
    if (launcher.ProcessHandle() != nullptr) {
        if (!exitEvent_) {
            finished =
                ::WaitForSingleObject(launcher.ProcessHandle(), kServiceInstallTimeoutMs) == WAIT_OBJECT_0;
        } else {
            HANDLE handles[] = {exitEvent_.Get(), launcher.ProcessHandle()};
            finished =
                ::WaitForMultipleObjects(2, handles, FALSE, kServiceInstallTimeoutMs) == WAIT_OBJECT_0 + 1;
        }
    }
    if (!finished) {
        LOG_ERROR(L"Install UacService timeout");
    }
    return finished;
}

std::wstring Setup::DownloadDesktopIcon(const std::wstring& url) {
    KLOG_AS(Info, L"kivoinstaller::Setup::CreateShortCut", L"Download desktop icon: " + url);
    std::wstring configDir = GlobalInfo::GetInstance().GetConfigDir();
    if (!Utils::CreateAllDirectories(configDir)) {
        KLOG_AS(Warn, L"kivoinstaller::Setup::CreateShortCut", L"Create directory failed: " + configDir);
        return L"";
    }
    std::wstring iconPath = Utils::PathJoin({configDir, L"desktop.ico"});
    for (int attempt = 0; attempt < kIconDownloadAttempts; ++attempt) {
        HttpDownload download(url, iconPath, exitEvent_.Get(), HttpDownload::Progress());
        download.userAgent = GetSetupUserAgent();
        int result = download.Perform();
        if (result == 0) {
            return iconPath;
        }
        KLOG_AS(Warn, L"kivoinstaller::Setup::CreateShortCut",
                L"Download desktop icon failed: " + std::to_wstring(result));
    }
    return L"";
}

void Setup::CreateShortCut() {
    GlobalInfo& info = GlobalInfo::GetInstance();
    std::wstring installDir = info.GetInstallDir();
    std::wstring client = Utils::PathJoin({installDir, L"kivo.exe"});

    if (info.GetDeskIcon()) {
        std::wstring iconUrl = info.GetDesktopIconUrl();
        std::wstring icon = iconUrl.empty() ? L"" : DownloadDesktopIcon(iconUrl);
        std::wstring desktop = DesktopFolder();
        if (desktop.empty()) {
            LOG_ERROR(L"GetDesktopPath failed");
        } else {
            ShortcutInfo shortcut;
            shortcut.target = client;
            shortcut.workingDirectory = installDir;
            shortcut.icon = icon;
            HRESULT hr = Utils::CreateShortcut(Utils::PathJoin({desktop, kClientLink}), shortcut);
            LOG_INFO(L"Create desktop shortcut: " + HResultText(hr));
        }
    }

    // Each link is written only when its program exists in this package.
    auto createLink = [](const std::wstring& folder, const wchar_t* name, const std::wstring& target,
                         const std::wstring& arguments, const std::wstring& workingDirectory, HRESULT* hr) {
        if (!Utils::FileExists(target)) {
            KLOG_AS(Error, L"kivoinstaller::Setup::CreateShortCut", L"Target path not exists: " + target);
            return false;
        }
        ShortcutInfo shortcut;
        shortcut.target = target;
        shortcut.arguments = arguments;
        shortcut.workingDirectory = workingDirectory;
        *hr = Utils::CreateShortcut(Utils::PathJoin({folder, name}), shortcut);
        return true;
    };
    HRESULT hr = S_OK;

    std::wstring programs = SpecialFolder(CSIDL_COMMON_PROGRAMS);
    std::wstring programFolder = Utils::PathJoin({programs, kProductName});
    if (programs.empty() || !::CreateDirectoryW(programFolder.c_str(), nullptr)) {
        LOG_ERROR(L"Create directory failed: " + programFolder);
    } else {
        if (createLink(programFolder, kClientLink, client, L"", installDir, &hr)) {
            LOG_INFO(L"Create common programs shortcut: " + HResultText(hr));
        }
        if (createLink(programFolder, L"卸载.lnk", Utils::PathJoin({installDir, L"unins.exe"}), L"",
                       installDir, &hr)) {
            LOG_INFO(L"Create uninstall shortcut: " + HResultText(hr));
        }
        if (createLink(programFolder, L"环境修复.lnk",
                       Utils::PathJoin({installDir, L"Repair\\KivoRepair.exe"}), L"",
                       Utils::PathJoin({installDir, L"Repair"}), &hr)) {
            LOG_INFO(L"Create repair shortcut: " + HResultText(hr));
        }
    }

    if (info.GetStartMenuIcon()) {
        std::wstring startMenu = SpecialFolder(CSIDL_STARTMENU);
        if (startMenu.empty()) {
            LOG_ERROR(L"Get start menu path failed");
        } else if (createLink(startMenu, kClientLink, client, L"", installDir, &hr)) {
            LOG_INFO(L"Create start menu shortcut: " + HResultText(hr));
        }
    }

    if (info.GetAutoStart()) {
        std::wstring startup = SpecialFolder(CSIDL_STARTUP);
        if (startup.empty()) {
            LOG_ERROR(L"Get startup path failed");
        } else if (createLink(startup, kClientLink, client, L"/auto", installDir, &hr)) {
            LOG_INFO(L"Create startup shortcut: " + HResultText(hr));
        }
    }
}

void Setup::DeleteShortcuts() {
    // A folder the shell cannot name is skipped: the bare link name would
    // otherwise be resolved against the current directory.
    auto deleteLink = [](int csidl, const wchar_t* name, bool logFailure) {
        std::wstring folder = csidl == CSIDL_DESKTOP ? DesktopFolder() : SpecialFolder(csidl);
        if (folder.empty()) {
            return;
        }
        std::wstring path = Utils::PathJoin({folder, name});
        if (Utils::FileExists(path) && !::DeleteFileW(path.c_str()) && logFailure) {
            KLOG_AS(Warn, L"kivoinstaller::Setup::DeleteShortcuts",
                    L"Delete file failed: " + path + L" ,last error: " + std::to_wstring(::GetLastError()));
        }
    };
    deleteLink(CSIDL_STARTUP, kClientLink, true);
    deleteLink(CSIDL_COMMON_STARTUP, kClientLink, true);
    deleteLink(CSIDL_STARTUP, kExternalLink, true);
    deleteLink(CSIDL_STARTMENU, kClientLink, false);

    std::wstring programs = SpecialFolder(CSIDL_COMMON_PROGRAMS);
    std::wstring programFolder = Utils::PathJoin({programs, kProductName});
    if (!programs.empty() && Utils::DirectoryExists(programFolder) &&
        !Utils::DeleteDirectory(programFolder)) {
        LOG_WARN(L"Delete Folder failed: " + programFolder + L" ,last error: " +
                 std::to_wstring(::GetLastError()));
    }

    deleteLink(CSIDL_DESKTOP, kClientLink, true);
}

}  // namespace kivoinstaller
