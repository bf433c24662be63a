#include "Main.h"

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cwctype>
#include <map>
#include <memory>

#include <curl/curl.h>
#include <7zCrc.h>

#include "Config.h"
#include "GlobalInfo.h"
#include "Logger.h"
#include "Lonvu.h"
#include "MainWindow.h"
#include "ScopedWin.h"
#include "Setup.h"
#include "Utils.h"

// Start-up and shutdown are the entry point's, whichever helper runs them.
#define MAIN_LOG(message) KLOG_AS(::kivoinstaller::Info, L"WinMain", (message))

namespace kivoinstaller {

CommandLineArgs ParseCommandLine(int argc, const wchar_t* const* argv) {
    CommandLineArgs args;
    if (argc <= 1) {
        return args;
    }
    static const wchar_t kChannel[] = L"/channel=";
    for (int i = 0; i < argc; ++i) {
        std::wstring arg = argv[i];
        for (wchar_t& c : arg) {
            c = static_cast<wchar_t>(towlower(c));
        }
        if (arg == L"/silent" || arg == L"/s") {
            args.silent = true;
        } else if (arg == L"/verbose" || arg == L"/v") {
            args.verbose = true;
        } else if (arg == L"/dev" || arg == L"/d") {
            args.dev = true;
        } else if (arg.compare(0, wcslen(kChannel), kChannel) == 0) {
            args.channel = arg.substr(wcslen(kChannel));
        }
    }
    return args;
}

EffectiveSettings ResolveSettings(const CommandLineArgs& args, const EmbeddedConfig& config) {
    EffectiveSettings settings;
    settings.channel = args.channel.empty() ? config.channel : args.channel;
    settings.silent = args.silent || config.silent;
    settings.dev = args.dev;
    return settings;
}

int SilentExitCode(int step) {
    switch (step) {
        case DownloadFail:
            return kExitDownloadFailed;
        case InstallFail:
            return kExitInstallFailed;
        case None:
            return kExitNotInstalled;
        default:
            return kExitOk;
    }
}

namespace {

// WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX: fixed size, no maximise box.
const DWORD kMainWindowStyle = 0x06CA0000;
const UINT kMainWindowIconId = 107;

// An elevated installer is often started from the Downloads folder, where a
// planted DLL would otherwise be loaded with administrator rights.
void RestrictDllSearchToSystem() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return;
    }
    // Windows 7 without KB2533623: at least take the current directory out of the search.
    ::SetDllDirectoryW(L"");
}

CommandLineArgs ReadCommandLine() {
    int argc = 0;
    ScopedLocal argvMemory(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    if (!argvMemory) {
        return CommandLineArgs();
    }
    return ParseCommandLine(argc, static_cast<const wchar_t* const*>(argvMemory.Get()));
}

int RunSilent(HINSTANCE instance) {
    ScopedWindow window(
        ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr));
    HWND target = window.Get();
    std::atomic<int> finalStep{-1};
    Setup& setup = Setup::GetInstance();
    setup.SetCallback([target, &finalStep](InstallStep step, int) {
        if (!IsTerminalStep(step)) {
            return;
        }
        KLOG_AS(Info, L"WinMain::<lambda_d282752a408f67c551f8b7290d163830>::operator ()",
                L"Exit installer, step: " + InstallStepName(step));
        finalStep = step;
        ::PostMessageW(target, WM_QUIT, 0, 0);
    });
    setup.StartInstall();

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    setup.SetCallback(InstallStepCallback());
    setup.Shutdown();
    return SilentExitCode(finalStep.load());
}

int RunWindowMode(HINSTANCE instance) {
    Setup& setup = Setup::GetInstance();
    // The package is fetched while the user reads the first page.
    setup.StartDownload();

    SkinUI::CPaintManagerUI::SetInstance(instance);
    SkinUI::CPaintManagerUI::SetResourceInstance(instance);
    SkinUI::CWndShadow::Initialize(instance);

    int exitCode = kExitOk;
    auto window = std::make_unique<MainWindow>();
    if (window->Create(nullptr, L"Kivo安装程序", kMainWindowStyle, 0, 0, 0, 700, 500) != nullptr) {
        window->SetIcon(kMainWindowIconId);
        window->CenterWindow();
        ::ShowWindow(window->GetHWND(), SW_SHOW);
        SkinUI::CPaintManagerUI::MessageLoop();
    } else {
        KLOG_AS(Error, L"WinMain",
                L"Failed to create main window, error " + std::to_wstring(::GetLastError()));
        exitCode = kExitInitFailed;
    }
    // The window goes only after the installer thread, which may still be posting to it.
    setup.SetCallback(InstallStepCallback());
    setup.Shutdown();
    window.reset();
    return exitCode;
}

int RunInstaller(HINSTANCE instance) {
    if (FAILED(::CoInitialize(nullptr))) {
        return kExitInitFailed;
    }
    CommandLineArgs args = ReadCommandLine();
    auto logger = std::make_unique<Logger>(args.verbose ? Debug : Info);
    SetLogger(logger.get());
    MAIN_LOG(L"Strat KivoInstaller");

    GlobalInfo& info = GlobalInfo::GetInstance();
    EffectiveSettings settings = ResolveSettings(args, ConfigParser::Parse());
    info.SetChannel(settings.channel);
    MAIN_LOG(L"Channel: " + info.GetChannel());

    bool silent = settings.silent;
    MAIN_LOG(std::wstring(L"Silent mode: ") + (silent ? L"1" : L"0"));
    info.SetSilent(silent);

    ScopedHandle mutex(::CreateMutexW(nullptr, FALSE, L"Global\\KivoInstallerMutex-1F845EF1"));
    if (mutex && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        MAIN_LOG(L"Exit installer, already running");
        if (!silent) {
            ::MessageBoxW(nullptr, L"安装程序已经在运行.", L"提示", MB_OK | MB_ICONWARNING);
        }
        ::CoUninitialize();
        StopLogging();
        mutex.Reset();
        SetLogger(nullptr);
        return kExitAlreadyRunning;
    }

    MAIN_LOG(std::wstring(L"Dev mode: ") + (settings.dev ? L"1" : L"0"));
    info.SetDevMode(settings.dev);

    std::wstring previous = ReadInstallPath();
    if (!previous.empty()) {
        info.SetInstallDir(previous);
    }

    curl_global_init(CURL_GLOBAL_WIN32);
    CrcGenerateTable();

    Lonvu& lonvu = Lonvu::GetInstance();
    lonvu.Report(L"install_open", L"打开安装包", {{L"client_ver", L""}, {L"down_ver", lonvu.GetInstallerVersion()}});

    int exitCode = silent ? RunSilent(instance) : RunWindowMode(instance);

    lonvu.Stop();
    StopLogging();
    curl_global_cleanup();
    ::CoUninitialize();
    mutex.Reset();
    SetLogger(nullptr);
    return exitCode;
}

}  // namespace
}  // namespace kivoinstaller

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    kivoinstaller::RestrictDllSearchToSystem();
    return kivoinstaller::RunInstaller(instance);
}
