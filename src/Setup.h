#pragma once

// The installation engine: one installer thread driven by three events.
// The entry point and the window only request work and receive step reports.

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Config.h"
#include "GlobalInfo.h"
#include "ScopedWin.h"
#include "Task.h"

namespace kivoinstaller {

struct PackageConfig {
    std::wstring DownloadUrl;
    std::wstring Md5;
    std::wstring Version;
    std::wstring LaunchCommand;
    std::wstring DesktopIconUrl;
    std::wstring CefDownloadUrl;
    std::wstring CefMd5;
    bool StartExternal = false;
};

// Logs the whole record and checks the mandatory fields.
bool PackageConfigValid(const PackageConfig& config);
// True when path names an existing file whose MD5 equals config.CefMd5.
bool CheckCefDownloadSuccess(const std::wstring& path, const PackageConfig& config);
// Temporary directory + new GUID + ".kvdl"; a new name on every call.
std::wstring GetTempDownloadPath();
// "KivoPCSetup/" + the installer's file version.
std::wstring GetSetupUserAgent();
// The text posted to the package-configuration service for one attempt.
std::string PackageConfigRequestBody(const std::wstring& channel, int requestId);
// Checks one reply of the service (each failure is logged) and, when every
// check passes, fills config from its tRsp object.
bool ParsePackageConfigReply(const std::string& text, int requestId, PackageConfig& config);
// Share of the client package download in the overall progress (0 to 50); total > 0.
int DownloadPercent(long long total, long long received);
// installPath of the application key, empty when nothing is recorded.
std::wstring ReadInstallPath();

// Placeholder the package service sends for an absent text value.
bool IsAbsentConfigText(const std::wstring& value);

extern const wchar_t kDefaultPackageMd5[];
extern const wchar_t kDefaultPackageVersion[];
std::wstring DefaultPackageUrl();

class ISetup {
public:
    virtual void StartDownload() = 0;
    virtual void StartInstall() = 0;
    virtual void Shutdown() = 0;

protected:
    virtual ~ISetup() = default;
};

class Setup : public Singleton<Setup>, public ISetup {
public:
    ~Setup() override;

    void StartDownload() override;
    void StartInstall() override;
    void Shutdown() override;

    void SetCallback(InstallStepCallback callback);
    void Report(InstallStep step, int value);
    bool IsExitRequested() const;

    const std::wstring& PackagePath() const { return packagePath_; }
    HANDLE ExitEvent() const { return exitEvent_.Get(); }

    // Stages, run on the installer thread (DownloadCef on the browser-runtime task).
    bool GetPackageConfig(PackageConfig& config);
    bool DownloadInstallPackage(const PackageConfig& config);
    std::wstring DownloadCef(const PackageConfig& config);
    bool WriteUninstallRegister();
    bool WriteRegister();
    bool InstallUacServer();
    void CreateShortCut();
    void DeleteShortcuts();

private:
    friend class Singleton<Setup>;
    Setup();

    // What the installer thread keeps between phases.
    struct ThreadState {
        bool downloaded = false;
        std::unique_ptr<Task<std::wstring>> cefTask;
        std::wstring cefPackagePath;
    };

    void ThreadProc();
    void SetState(int state);
    int GetState();
    void RunDownloadPhase(ThreadState& ts);
    // False when the thread must end (exit requested at a check point).
    bool RunInstallPhase(ThreadState& ts);
    void StartCefTask(ThreadState& ts, const PackageConfig& config);
    // Path of the downloaded desktop icon, empty when every attempt failed.
    std::wstring DownloadDesktopIcon(const std::wstring& url);
    void StopRunningClient();
    void StartExternal();

    int state_ = 0;
    std::mutex lock_;
    std::thread thread_;
    ScopedHandle startEvent_;
    ScopedHandle installEvent_;
    ScopedHandle exitEvent_;
    InstallStepCallback callback_;
    std::wstring packagePath_;
    std::atomic<bool> waiting_{false};
};

}  // namespace kivoinstaller
