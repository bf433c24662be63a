#include "MainWindow.h"

#include <windowsx.h>
#include <shellapi.h>
#include <shlobj.h>

#include "Endpoints.h"
#include "GlobalInfo.h"
#include "Logger.h"
#include "ScopedWin.h"
#include "Setup.h"
#include "Utils.h"

namespace kivoinstaller {

namespace {

using SkinUI::CControlUI;
using SkinUI::COptionUI;
using SkinUI::CProgressUI;
using SkinUI::CTabLayoutUI;
using SkinUI::TNotifyUI;

const wchar_t kDownloadingText[] = L"正在下载Kivo客户端...";
const wchar_t kExtractingText[] = L"正在解压资源文件...";
const wchar_t kUpdatingText[] = L"正在更新配置文件...";
const wchar_t kInvalidPathText[] = L"请选择正确的安装路径！";
const wchar_t kNoSpaceText[] = L"磁盘空间不足，请释放空间后再重试.";
const wchar_t kCloseQuestion[] = L"当前正在安装，是否要中断安装并关闭？";
const wchar_t kTipCaption[] = L"提示";
const wchar_t kExitCaption[] = L"退出";
const wchar_t kSkinFailureText[] = L"资源文件加载失败";
const wchar_t kAgreementPath[] = L"/kivoDIYzt/6811/pc/index.html";
const wchar_t kInstallDirName[] = L"KivoClient";
const wchar_t kClientExe[] = L"kivo.exe";
// Starting the client belongs to the click handling.
const wchar_t kNotifyFunction[] = L"kivoinstaller::MainWindow::Notify";

const DWORD kDefaultAccentColor = 0xFF242424;
// The custom-install panel adds this much height to the options page.
const int kPanelHeight = 90;

// Frame thickness the Windows 8 frame keeps on the sides and at the bottom.
int FrameWidth() {
    return ::GetSystemMetrics(SM_CXFRAME) + ::GetSystemMetrics(SM_CXPADDEDBORDER);
}
int FrameHeight() {
    return ::GetSystemMetrics(SM_CYFRAME) + ::GetSystemMetrics(SM_CXPADDEDBORDER);
}

bool ReadDwordValue(HKEY key, const wchar_t* name, DWORD* value) {
    DWORD size = sizeof(*value);
    return ::RegGetValueW(key, nullptr, name, RRF_RT_REG_DWORD, nullptr, value, &size) == ERROR_SUCCESS;
}

}  // namespace

StepMessage StepMessageFor(int step, int progress) {
    StepMessage message;
    auto withText = [&message](int page, int value, const wchar_t* text) {
        message.post = true;
        message.page = page;
        message.hasPayload = true;
        message.progress = value;
        message.text = text;
    };
    switch (step) {
        case None:
            message.post = true;
            message.page = kOptionsPage;
            break;
        case Start:
            withText(kInstallingPage, 0, kDownloadingText);
            break;
        case Downloading:
            withText(kInstallingPage, progress, kDownloadingText);
            break;
        case DownloadSuccess:
        case ExtraArchive:
            withText(kInstallingPage, progress, kExtractingText);
            break;
        case DownloadFail:
            withText(kFailPage, 0, L"下载失败");
            break;
        case UpdateConfig:
            withText(kInstallingPage, progress, kUpdatingText);
            break;
        case InstallSuccess:
            withText(kSuccessPage, 100, L"安装成功");
            break;
        case InstallFail:
            withText(kFailPage, 0, L"安装失败");
            break;
        default:
            break;
    }
    return message;
}

std::wstring ProgressText(int percent) {
    return L"已完成：" + std::to_wstring(percent) + L"%";
}

std::wstring VolumeRootOf(const std::wstring& location) {
    size_t backslash = location.find(L'\\');
    return backslash == std::wstring::npos ? std::wstring() : location.substr(0, backslash + 1);
}

std::wstring InstallDirFor(const std::wstring& location, const std::wstring& currentInstallDir) {
    bool unchanged =
        ::CompareStringOrdinal(location.c_str(), static_cast<int>(location.size()), currentInstallDir.c_str(),
                               static_cast<int>(currentInstallDir.size()), TRUE) == CSTR_EQUAL;
    return unchanged ? location : Utils::PathJoin({location, kInstallDirName});
}

LocationSystem LocationSystem::Real() {
    LocationSystem system;
    system.directoryExists = Utils::DirectoryExists;
    system.createDirectories = Utils::CreateAllDirectories;
    system.freeBytes = [](const std::wstring& root, uint64_t* freeBytes) {
        ULARGE_INTEGER available = {};
        if (!::GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr)) {
            DWORD error = ::GetLastError();
            KLOG_AS(Warn, L"kivoinstaller::MainWindow::OnInstallBtnClicked",
                    L"GetDiskFreeSpaceExW failed: " + root + L", error " + std::to_wstring(error));
            return false;
        }
        *freeBytes = available.QuadPart;
        return true;
    };
    return system;
}

LocationCheck CheckInstallLocation(const std::wstring& location, const std::wstring& currentInstallDir,
                                   const LocationSystem& system) {
    LocationCheck check;
    if (location.size() < 2) {
        return check;
    }
    if (!system.directoryExists(location) && !system.createDirectories(location)) {
        return check;
    }
    uint64_t freeBytes = 0;
    if (!system.freeBytes(VolumeRootOf(location), &freeBytes) || freeBytes < kRequiredFreeBytes) {
        check.verdict = LocationVerdict::kNotEnoughSpace;
        return check;
    }
    check.verdict = LocationVerdict::kAccepted;
    check.installDir = InstallDirFor(location, currentInstallDir);
    return check;
}

DWORD AccentColorFrom(bool prevalenceRead, DWORD colorPrevalence, bool colorRead, DWORD colorizationColor) {
    if (prevalenceRead && colorPrevalence != 0 && colorRead) {
        return 0xFF000000 | (colorizationColor & 0x00FFFFFF);
    }
    return kDefaultAccentColor;
}

std::wstring UserAgreementUrl() {
    return std::wstring(KIVO_AGREEMENT_BASE_URL) + kAgreementPath + L"#diySetTab=5";
}

std::wstring PrivacyPolicyUrl() {
    return std::wstring(KIVO_AGREEMENT_BASE_URL) + kAgreementPath + L"#diySetTab=1";
}

MainWindow::MainWindow() : systemFrame_(Utils::GetWindowsVersion() >= Win8) {}

MainWindow::~MainWindow() {
    HWND hwnd = hwnd_;
    if (hwnd == nullptr) {
        return;
    }
    // Reports still queued own their payloads; the installer has stopped, so no more arrive.
    MSG msg;
    while (::PeekMessageW(&msg, hwnd, kStepMessage, kStepMessage, PM_REMOVE)) {
        delete reinterpret_cast<StepPayload*>(msg.lParam);
    }
    ::DestroyWindow(hwnd);
}

LRESULT MainWindow::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_ACTIVATE) {
        active_ = LOWORD(wParam) != WA_INACTIVE;
        if (systemFrame_ && titleBarTopSide_ != nullptr) {
            PaintTopStrip();
        }
    }
    return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

void MainWindow::OnFinalMessage(HWND hwnd) {
    postTarget_ = nullptr;
    WindowImplBase::OnFinalMessage(hwnd);
}

LRESULT MainWindow::OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    postTarget_ = hwnd_;
    if (!systemFrame_) {
        return WindowImplBase::OnCreate(uMsg, wParam, lParam, bHandled);
    }
    // The caption style stays, so the system keeps drawing the frame; the
    // frame is recomputed through OnNcCalcSize, which gives the title area to the client.
    RECT client = {};
    ::GetClientRect(hwnd_, &client);
    ::SetWindowPos(hwnd_, nullptr, client.left, client.top, client.right - client.left,
                   client.bottom - client.top, SWP_NOSIZE | SWP_NOMOVE | SWP_FRAMECHANGED);
    return BuildContent(kSkinFailureText);
}

void MainWindow::InitWindow() {
    if (systemFrame_) {
        // The top of the frame belongs to the client area (OnNcCalcSize), so
        // only the sides and the bottom are added.
        RECT frame = {0, 0, 700, 500};
        ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE, 0);
        int width = frame.right - frame.left;
        int height = frame.bottom;
        fullRect_ = RECT{0, 0, width, height};
        compactRect_ = RECT{0, 0, width, height - kPanelHeight};
    }
    ResizeTo(compactRect_);

    SkinUI::CPaintManagerUI& pm = paintManager_;
    titleBarTopSide_ = pm.FindControl(L"titleBarTopSide");
    titleBar_ = pm.FindControl(L"titleBar");
    titleBtnArea_ = pm.FindControl(L"titleBtnArea");
    tabLayout_ = dynamic_cast<CTabLayoutUI*>(pm.FindControl(L"tabLayout"));
    userAgreementLayout_ = pm.FindControl(L"userAgreementLayout");
    customInstallLayout_ = pm.FindControl(L"customInstallLayout");
    agreeOption_ = dynamic_cast<COptionUI*>(pm.FindControl(L"agreeOption"));
    deskIconOption_ = dynamic_cast<COptionUI*>(pm.FindControl(L"deskIconOption"));
    startMenuIconOption_ = dynamic_cast<COptionUI*>(pm.FindControl(L"startMenuIconOption"));
    autoStartOption_ = dynamic_cast<COptionUI*>(pm.FindControl(L"autoStartOption"));
    installBtn_ = pm.FindControl(L"installBtn");
    changeBtn_ = pm.FindControl(L"changeBtn");
    installDirEdit_ = pm.FindControl(L"installDirEdit");
    installTipsLabel_ = pm.FindControl(L"installTipsLabel");
    installProgress_ = dynamic_cast<CProgressUI*>(pm.FindControl(L"installProgress"));
    failedTipsLabel_ = pm.FindControl(L"failedTipsLabel");

    if (titleBarTopSide_ != nullptr) {
        titleBarTopSide_->SetVisible(systemFrame_);
        if (systemFrame_) {
            PaintTopStrip();
        }
    }
    CreateShadow();
    ShowPage(kOptionsPage, 0, std::wstring());
}

void MainWindow::PaintTopStrip() {
    titleBarTopSide_->SetBkColor(active_ ? GetAccentColor() : kInactiveStripColor);
    titleBarTopSide_->Invalidate();
}

void MainWindow::ResizeTo(const RECT& size) {
    ::SetWindowPos(hwnd_, nullptr, 0, 0, size.right - size.left, size.bottom - size.top,
                   SWP_NOMOVE | SWP_NOZORDER);
}

void MainWindow::SetExpanded(bool expanded) {
    expanded_ = expanded;
    if (userAgreementLayout_ != nullptr) {
        userAgreementLayout_->SetVisible(!expanded);
    }
    if (customInstallLayout_ != nullptr) {
        customInstallLayout_->SetVisible(expanded);
    }
    ResizeTo(expanded ? fullRect_ : compactRect_);
}

void MainWindow::ShowPage(int page, int progress, const std::wstring& text) {
    if (page < kOptionsPage || page > kLastPage || tabLayout_ == nullptr) {
        return;
    }
    if (expanded_) {
        SetExpanded(false);
    }
    tabLayout_->SelectItem(page);
    GlobalInfo& info = GlobalInfo::GetInstance();
    switch (page) {
        case kOptionsPage: {
            // A changed option notifies "selectchanged", which writes the value
            // back and keeps the install button in step with the agreement.
            const std::pair<COptionUI*, bool> options[] = {
                {agreeOption_, info.GetAgree()},
                {deskIconOption_, info.GetDeskIcon()},
                {startMenuIconOption_, info.GetStartMenuIcon()},
                {autoStartOption_, info.GetAutoStart()},
            };
            for (const auto& option : options) {
                if (option.first != nullptr) {
                    option.first->Selected(option.second, true);
                }
            }
            if (installDirEdit_ != nullptr) {
                installDirEdit_->SetText(info.GetInstallDir());
            }
            break;
        }
        case kInstallingPage:
            if (installTipsLabel_ != nullptr) {
                installTipsLabel_->SetText(text);
            }
            if (installProgress_ != nullptr) {
                installProgress_->SetText(ProgressText(progress));
                installProgress_->SetValue(progress);
            }
            break;
        case kFailPage:
            if (failedTipsLabel_ != nullptr) {
                failedTipsLabel_->SetText(text);
            }
            break;
        default:
            break;
    }
}

void MainWindow::Notify(TNotifyUI& msg) {
    if (msg.pSender == nullptr) {
        return;
    }
    if (msg.sType == L"click") {
        HandleClick(msg.pSender->GetName());
    } else if (msg.sType == L"selectchanged") {
        OnSelectChanged(dynamic_cast<COptionUI*>(msg.pSender));
    }
}

void MainWindow::HandleClick(const std::wstring& name) {
    if (name == L"closeBtn" || name == L"cancelBtn") {
        SendMessage(WM_CLOSE);
    } else if (name == L"minBtn") {
        SendMessage(WM_SYSCOMMAND, SC_MINIMIZE);
    } else if (name == L"licenseBtn") {
        ::ShellExecuteW(nullptr, L"open", UserAgreementUrl().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    } else if (name == L"privacyBtn") {
        ::ShellExecuteW(nullptr, L"open", PrivacyPolicyUrl().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    } else if (name == L"openCustomBtn") {
        if (!expanded_) {
            SetExpanded(true);
        }
    } else if (name == L"closeCustomBtn") {
        if (expanded_) {
            SetExpanded(false);
        }
    } else if (name == L"changeBtn") {
        std::wstring folder = ChooseInstallFolder(hwnd_);
        if (!folder.empty() && installDirEdit_ != nullptr) {
            installDirEdit_->SetText(folder);
        }
    } else if (name == L"installBtn") {
        OnInstallBtnClicked();
    } else if (name == L"retryBtn") {
        ShowPage(kOptionsPage, 0, std::wstring());
    } else if (name == L"useNowBtn") {
        LaunchClient();
    }
}

void MainWindow::OnSelectChanged(COptionUI* option) {
    if (option == nullptr) {
        return;
    }
    GlobalInfo& info = GlobalInfo::GetInstance();
    bool selected = option->IsSelected();
    if (option == agreeOption_) {
        info.SetAgree(selected);
        if (installBtn_ != nullptr) {
            installBtn_->SetEnabled(selected);
        }
    } else if (option == deskIconOption_) {
        info.SetDeskIcon(selected);
    } else if (option == startMenuIconOption_) {
        info.SetStartMenuIcon(selected);
    } else if (option == autoStartOption_) {
        info.SetAutoStart(selected);
    }
}

void MainWindow::LaunchClient() {
    GlobalInfo& info = GlobalInfo::GetInstance();
    std::wstring client = Utils::PathJoin({info.GetInstallDir(), kClientExe});
    std::wstring arguments = info.GetLaunchCommand();
    // The client must not inherit the installer's administrator rights.
    ProcessLauncher launcher;
    if (!launcher.RunAsExplorerToken(client, arguments)) {
        KLOG_AS(Warn, kNotifyFunction, L"Failed to launch kivo.exe AsExplorerToken");
        if (!launcher.Run(client, arguments)) {
            KLOG_AS(Error, kNotifyFunction, L"Failed to launch kivo.exe");
        }
    }
    KLOG_AS(Info, kNotifyFunction, L"Launch kivo.exe");
    SendMessage(WM_CLOSE);
}

void MainWindow::OnInstallBtnClicked() {
    if (installDirEdit_ == nullptr) {
        return;
    }
    GlobalInfo& info = GlobalInfo::GetInstance();
    LocationCheck check =
        CheckInstallLocation(installDirEdit_->GetText(), info.GetInstallDir(), LocationSystem::Real());
    if (check.verdict == LocationVerdict::kInvalidPath) {
        ::MessageBoxW(hwnd_, kInvalidPathText, kTipCaption, MB_ICONINFORMATION);
        return;
    }
    if (check.verdict == LocationVerdict::kNotEnoughSpace) {
        LOG_ERROR(L"Disk space is not enough");
        ::MessageBoxW(nullptr, kNoSpaceText, kTipCaption, MB_ICONWARNING);
        return;
    }
    installDirEdit_->SetText(check.installDir);
    info.SetInstallDir(check.installDir);
    ShowPage(kInstallingPage, 0, kDownloadingText);

    Setup& setup = Setup::GetInstance();
    setup.SetCallback([this](InstallStep step, int progress) { OnInstallStep(step, progress); });
    setup.StartInstall();
}

void MainWindow::OnInstallStep(InstallStep step, int progress) {
    HWND target = postTarget_.load();
    if (closing_.load() || target == nullptr) {
        return;
    }
    StepMessage message = StepMessageFor(step, progress);
    if (!message.post) {
        return;
    }
    std::unique_ptr<StepPayload> payload;
    if (message.hasPayload) {
        payload.reset(new StepPayload{message.progress, message.text});
    }
    if (::PostMessageW(target, kStepMessage, static_cast<WPARAM>(message.page),
                       reinterpret_cast<LPARAM>(payload.get()))) {
        payload.release();
    }
}

LRESULT MainWindow::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    if (uMsg != kStepMessage) {
        bHandled = false;
        return 0;
    }
    std::unique_ptr<StepPayload> payload(reinterpret_cast<StepPayload*>(lParam));
    if (wParam > static_cast<WPARAM>(kLastPage)) {
        LOG_ERROR(L"Invalid tab index: " + std::to_wstring(wParam));
        return 0;
    }
    if (payload) {
        ShowPage(static_cast<int>(wParam), payload->progress, payload->text);
    } else {
        ShowPage(static_cast<int>(wParam), 0, std::wstring());
    }
    return 0;
}

LRESULT MainWindow::OnClose(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = true;
    if (tabLayout_ != nullptr && tabLayout_->GetCurSel() == kInstallingPage) {
        if (::MessageBoxW(hwnd_, kCloseQuestion, kExitCaption, MB_ICONQUESTION | MB_OKCANCEL) == IDCANCEL) {
            return 0;
        }
    }
    ::ShowWindow(hwnd_, SW_HIDE);
    closing_.exchange(true);
    ::PostQuitMessage(0);
    return 0;
}

LRESULT MainWindow::OnNcActivate(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    if (systemFrame_) {
        return ::DefWindowProcW(hwnd_, uMsg, wParam, lParam);
    }
    return WindowImplBase::OnNcActivate(uMsg, wParam, lParam, bHandled);
}

LRESULT MainWindow::OnNcCalcSize(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    if (!systemFrame_) {
        return WindowImplBase::OnNcCalcSize(uMsg, wParam, lParam, bHandled);
    }
    if (wParam == FALSE) {
        return ::DefWindowProcW(hwnd_, uMsg, wParam, lParam);
    }
    RECT& proposed = reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0];
    proposed.left += FrameWidth();
    proposed.right -= FrameWidth();
    proposed.bottom -= FrameHeight();
    // A maximized window hangs its frame off the screen edge; the top would be lost.
    if (::IsZoomed(hwnd_)) {
        proposed.top += FrameHeight();
    }
    return 0;
}

LRESULT MainWindow::OnNcPaint(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    if (systemFrame_) {
        return ::DefWindowProcW(hwnd_, uMsg, wParam, lParam);
    }
    return WindowImplBase::OnNcPaint(uMsg, wParam, lParam, bHandled);
}

LRESULT MainWindow::OnNcHitTest(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    if (!systemFrame_) {
        return WindowImplBase::OnNcHitTest(uMsg, wParam, lParam, bHandled);
    }
    LRESULT hit = ::DefWindowProcW(hwnd_, uMsg, wParam, lParam);
    if (hit == HTNOWHERE || (hit >= HTLEFT && hit <= HTBOTTOMRIGHT)) {
        return hit;
    }
    POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ScreenToClient(hwnd_, &pt);
    if (pt.y > 0 && pt.y < FrameHeight()) {
        return HTTOP;
    }
    if (titleBar_ != nullptr && titleBtnArea_ != nullptr && ::PtInRect(&titleBar_->GetPos(), pt) &&
        !::PtInRect(&titleBtnArea_->GetPos(), pt)) {
        return HTCAPTION;
    }
    return HTCLIENT;
}

void MainWindow::CreateShadow() {
    if (systemFrame_) {
        return;
    }
    shadow_ = std::make_shared<SkinUI::CWndShadow>();
    shadow_->Create(hwnd_);
    shadow_->SetImage(L"shadow.png", RECT{3, 3, 4, 4}, RECT{0, 0, 0, 0});
}

DWORD MainWindow::GetAccentColor() {
    ScopedRegKey key;
    DWORD prevalence = 0;
    DWORD colorization = 0;
    bool prevalenceRead = false;
    bool colorRead = false;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\DWM", 0, KEY_READ,
                        key.Receive()) == ERROR_SUCCESS) {
        prevalenceRead = ReadDwordValue(key.Get(), L"ColorPrevalence", &prevalence);
        colorRead = ReadDwordValue(key.Get(), L"ColorizationColor", &colorization);
    }
    return AccentColorFrom(prevalenceRead, prevalence, colorRead, colorization);
}

std::wstring MainWindow::ChooseInstallFolder(HWND owner) {
    wchar_t displayName[2048] = {};
    BROWSEINFOW browse = {};
    browse.hwndOwner = owner;
    browse.pidlRoot = nullptr;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = L"请选择安装位置";
    browse.ulFlags = BIF_NEWDIALOGSTYLE;
    ScopedCoTaskMem<ITEMIDLIST> chosen(::SHBrowseForFolderW(&browse));
    if (!chosen) {
        return std::wstring();
    }
    wchar_t path[MAX_PATH] = {};
    if (!::SHGetPathFromIDListW(chosen.Get(), path)) {
        return std::wstring();
    }
    return path;
}

}  // namespace kivoinstaller
