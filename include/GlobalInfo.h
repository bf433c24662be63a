#pragma once

// Settings shared by the entry point, the window and the installer thread,
// and the well-known directories and endpoints derived from them.

#include <mutex>
#include <string>

namespace kivoinstaller {

// One lazily constructed instance per process, destroyed at exit. The
// function-local static makes concurrent first calls wait for construction.
template <typename T>
class Singleton {
public:
    static T& GetInstance() {
        static T instance;
        return instance;
    }
    virtual ~Singleton() = default;

protected:
    Singleton() = default;
    Singleton(const Singleton&) = delete;
    Singleton& operator=(const Singleton&) = delete;
};

extern const wchar_t kDefaultInstallDir[];
extern const wchar_t kInstallDirSuffix[];
extern const wchar_t kUpdateDirSuffix[];
extern const wchar_t kConfigDirSuffix[];
extern const wchar_t kProductionApiUrl[];
extern const wchar_t kTestApiUrl[];

class GlobalInfo : public Singleton<GlobalInfo> {
public:
    std::wstring GetChannel();
    void SetChannel(const std::wstring& channel);
    bool IsSilent();
    void SetSilent(bool silent);
    bool IsDevMode();
    void SetDevMode(bool dev);

    // The chosen directory, or Program Files + "\KivoClient" when none was chosen.
    std::wstring GetInstallDir();
    void SetInstallDir(const std::wstring& dir);

    std::wstring GetLaunchCommand();
    void SetLaunchCommand(const std::wstring& command);
    bool GetAgree();
    void SetAgree(bool agree);
    bool GetDeskIcon();
    void SetDeskIcon(bool on);
    bool GetStartMenuIcon();
    void SetStartMenuIcon(bool on);
    bool GetAutoStart();
    void SetAutoStart(bool on);
    std::wstring GetVersion();
    void SetVersion(const std::wstring& version);
    std::wstring GetDesktopIconUrl();
    void SetDesktopIconUrl(const std::wstring& url);
    bool GetStartExternal();
    void SetStartExternal(bool on);

    std::wstring GetUpdateDir();
    std::wstring GetConfigDir();
    std::wstring GetApiUrl();

private:
    friend class Singleton<GlobalInfo>;
    GlobalInfo() = default;

    std::mutex lock_;
    std::wstring channel_ = L"official";
    bool silent_ = false;
    std::wstring installDir_;
    std::wstring launchCommand_;
    bool agree_ = true;
    bool deskIcon_ = true;
    bool startMenuIcon_ = true;
    bool autoStart_ = true;
    std::wstring version_;
    bool devMode_ = false;
    std::wstring desktopIconUrl_;
    bool startExternal_ = false;
};

}  // namespace kivoinstaller
