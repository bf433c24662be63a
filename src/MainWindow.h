#pragma once

// The installer's window in interactive mode: options, progress, failure and
// success pages built from the embedded skin. The installer thread reaches it
// only through step messages posted to its queue.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <SkinUI.h>

#include "Config.h"

namespace kivoinstaller {

// The step message: wParam is the page index, lParam a heap StepPayload or 0.
constexpr UINT kStepMessage = WM_USER + 1;

enum Page : int {
    kOptionsPage = 0,
    kInstallingPage = 1,
    kFailPage = 2,
    kSuccessPage = 3,
};
constexpr int kLastPage = kSuccessPage;

// Allocated by the poster; owned by the window thread once the message is posted.
struct StepPayload {
    int progress = 0;
    std::wstring text;
};

// What one step report becomes; nothing is posted for unknown steps.
struct StepMessage {
    bool post = false;
    int page = kOptionsPage;
    bool hasPayload = false;
    int progress = 0;
    std::wstring text;
};
StepMessage StepMessageFor(int step, int progress);

// "已完成：45%"
std::wstring ProgressText(int percent);

constexpr uint64_t kRequiredFreeBytes = 0x40000000ULL;

// The location up to and including its first backslash; empty without one.
std::wstring VolumeRootOf(const std::wstring& location);

// A newly chosen folder gets its own "KivoClient" directory; the directory the
// installer already uses (compared without case) is kept as it is.
std::wstring InstallDirFor(const std::wstring& location, const std::wstring& currentInstallDir);

// The file system as the location check sees it, so the check can run on
// made-up volumes.
struct LocationSystem {
    std::function<bool(const std::wstring& dir)> directoryExists;
    std::function<bool(const std::wstring& dir)> createDirectories;
    // Bytes available to the calling user on the volume of root; false when unknown.
    std::function<bool(const std::wstring& root, uint64_t* freeBytes)> freeBytes;

    static LocationSystem Real();
};

enum class LocationVerdict {
    kAccepted,
    kInvalidPath,
    kNotEnoughSpace,
};

struct LocationCheck {
    LocationVerdict verdict = LocationVerdict::kInvalidPath;
    // The install directory to use when accepted.
    std::wstring installDir;
};

// What the install button does with the typed location: at least two
// characters, an existing or creatable directory, 1 GiB free on its volume (a
// volume whose free space cannot be read counts as full).
LocationCheck CheckInstallLocation(const std::wstring& location, const std::wstring& currentInstallDir,
                                   const LocationSystem& system);

// 0xAARRGGBB of the top strip from the DWM values; absent values are passed as
// not read.
DWORD AccentColorFrom(bool prevalenceRead, DWORD colorPrevalence, bool colorRead, DWORD colorizationColor);
constexpr DWORD kInactiveStripColor = 0xFF3A3A3A;

std::wstring UserAgreementUrl();
std::wstring PrivacyPolicyUrl();

class MainWindow : public SkinUI::WindowImplBase {
public:
    MainWindow();
    ~MainWindow() override;

    const wchar_t* GetWindowClassName() const override { return L"MainWindow"; }
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND hwnd) override;
    void InitWindow() override;
    std::wstring GetSkinFolder() override { return std::wstring(); }
    std::wstring GetSkinFile() override { return L"MainWindow.xml"; }
    SkinUI::UILIB_RESOURCETYPE GetResourceType() const override { return SkinUI::UILIB_ZIPRESOURCE; }
    const wchar_t* GetResourceID() const override { return MAKEINTRESOURCEW(1000); }
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    LRESULT OnNcActivate(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    LRESULT OnNcCalcSize(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    LRESULT OnNcPaint(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    LRESULT OnNcHitTest(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

    void Notify(SkinUI::TNotifyUI& msg) override;

    void ShowPage(int page, int progress, const std::wstring& text);
    void OnInstallBtnClicked();
    // The installer's step callback: only posts, from whichever thread reports.
    void OnInstallStep(InstallStep step, int progress);
    static std::wstring ChooseInstallFolder(HWND owner);
    void CreateShadow();
    static DWORD GetAccentColor();

private:
    void HandleClick(const std::wstring& name);
    void OnSelectChanged(SkinUI::COptionUI* option);
    void SetExpanded(bool expanded);
    void ResizeTo(const RECT& size);
    void PaintTopStrip();
    void LaunchClient();

    // Windows 8 and later draw the frame and the shadow themselves.
    const bool systemFrame_;
    bool active_ = false;
    bool expanded_ = true;
    std::atomic<bool> closing_{false};
    // The window the installer thread posts to; null before creation and after destruction.
    std::atomic<HWND> postTarget_{nullptr};
    SkinUI::CControlUI* titleBarTopSide_ = nullptr;
    SkinUI::CControlUI* titleBar_ = nullptr;
    SkinUI::CControlUI* titleBtnArea_ = nullptr;
    std::shared_ptr<SkinUI::CWndShadow> shadow_;
    RECT fullRect_{0, 0, 700, 500};
    RECT compactRect_{0, 0, 700, 410};

    SkinUI::CTabLayoutUI* tabLayout_ = nullptr;
    SkinUI::CControlUI* userAgreementLayout_ = nullptr;
    SkinUI::CControlUI* customInstallLayout_ = nullptr;
    SkinUI::COptionUI* agreeOption_ = nullptr;
    SkinUI::COptionUI* deskIconOption_ = nullptr;
    SkinUI::COptionUI* startMenuIconOption_ = nullptr;
    SkinUI::COptionUI* autoStartOption_ = nullptr;
    SkinUI::CControlUI* installBtn_ = nullptr;
    SkinUI::CControlUI* changeBtn_ = nullptr;
    SkinUI::CControlUI* installDirEdit_ = nullptr;
    SkinUI::CControlUI* installTipsLabel_ = nullptr;
    SkinUI::CProgressUI* installProgress_ = nullptr;
    SkinUI::CControlUI* failedTipsLabel_ = nullptr;
};

}  // namespace kivoinstaller
