// skinviewer: shows a window description from a skin folder or a zip package in a real window.
//
//   skinviewer <skin folder | package.zip> [--file NAME] [--size W,H] [--select NAME=INDEX]
//              [--show NAME] [--hide NAME] [--text NAME=TEXT] [--check NAME] [--value NAME=N]
//              [--screenshot OUT.png]
//
// Options are applied in the order given, after the description is built. With --screenshot
// the client area is written to OUT.png after the first paint and the viewer exits (exit code
// 0 on success, 1 when the description cannot be built, 2 when the screenshot fails).
#include <SkinUI.h>

#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace SkinUI;

constexpr UINT kScreenshotMessage = WM_APP + 1;

struct Options {
    std::wstring skin;
    std::wstring file = L"MainWindow.xml";
    SIZE size{0, 0};
    std::vector<std::pair<std::wstring, std::wstring>> actions;
    std::wstring screenshot;
};

bool IsZip(const std::wstring& path) {
    return path.size() > 4 && EqualsNoCase(path.substr(path.size() - 4), L".zip");
}

std::pair<std::wstring, std::wstring> SplitPath(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return {std::wstring(), path};
    }
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

std::pair<std::wstring, std::wstring> SplitAssignment(const std::wstring& text) {
    size_t equals = text.find(L'=');
    if (equals == std::wstring::npos) {
        return {text, std::wstring()};
    }
    return {text.substr(0, equals), text.substr(equals + 1)};
}

class ViewerWindow : public WindowImplBase {
public:
    explicit ViewerWindow(const Options& options) : options_(options) {}

    int Result() const { return result_; }

    const wchar_t* GetWindowClassName() const override { return L"SkinViewer"; }
    std::wstring GetSkinFile() override { return options_.file; }
    UILIB_RESOURCETYPE GetResourceType() const override {
        return IsZip(options_.skin) ? UILIB_ZIP : UILIB_FILE;
    }
    std::wstring GetZIPFileName() const override { return SplitPath(options_.skin).second; }

    void InitWindow() override {
        SIZE size = options_.size;
        if (size.cx <= 0 || size.cy <= 0) {
            size = paintManager_.GetInitSize();
        }
        if (size.cx > 0 && size.cy > 0) {
            ::SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        }
        for (const auto& action : options_.actions) {
            Apply(action.first, action.second);
        }
    }

    void Notify(TNotifyUI& msg) override {
        if (msg.sType == L"windowinit" && !options_.screenshot.empty()) {
            PostMessage(kScreenshotMessage);
        }
        WindowImplBase::Notify(msg);
    }

    LRESULT HandleCustomMessage(UINT uMsg, WPARAM, LPARAM, bool& bHandled) override {
        if (uMsg != kScreenshotMessage) {
            bHandled = false;
            return 0;
        }
        result_ = Screenshot() ? 0 : 2;
        ::DestroyWindow(hwnd_);
        return 0;
    }

    LRESULT OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) override {
        ::PostQuitMessage(result_);
        bHandled = false;
        return 0;
    }

private:
    void Apply(const std::wstring& option, const std::wstring& argument) {
        auto assignment = SplitAssignment(argument);
        CControlUI* control = paintManager_.FindControl(assignment.first);
        if (control == nullptr) {
            fwprintf(stderr, L"skinviewer: no control named %ls\n", assignment.first.c_str());
            return;
        }
        if (option == L"--select") {
            if (auto* tab = dynamic_cast<CTabLayoutUI*>(control)) {
                tab->SelectItem(_wtoi(assignment.second.c_str()), false);
            }
        } else if (option == L"--show" || option == L"--hide") {
            control->SetVisible(option == L"--show");
        } else if (option == L"--text") {
            control->SetText(assignment.second);
        } else if (option == L"--check") {
            if (auto* check = dynamic_cast<COptionUI*>(control)) {
                check->Selected(true, false);
            }
        } else if (option == L"--value") {
            if (auto* progress = dynamic_cast<CProgressUI*>(control)) {
                progress->SetValue(_wtoi(assignment.second.c_str()));
            }
        }
    }

    // Copies what the window shows on the screen.
    bool Screenshot() {
        RECT client{};
        ::GetClientRect(hwnd_, &client);
        CCanvas canvas;
        if (!canvas.Create(client.right, client.bottom)) {
            return false;
        }
        ScopedWindowDc windowDc(hwnd_);
        if (windowDc.Get() == nullptr ||
            !::BitBlt(canvas.Dc(), 0, 0, client.right, client.bottom, windowDc.Get(), 0, 0, SRCCOPY)) {
            return false;
        }
        return canvas.SavePng(options_.screenshot);
    }

    Options options_;
    int result_ = 0;
};

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    if (argc < 2) {
        return false;
    }
    options.skin = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::wstring option = argv[i];
        if (i + 1 >= argc) {
            return false;
        }
        std::wstring value = argv[++i];
        if (option == L"--file") {
            options.file = value;
        } else if (option == L"--size") {
            RECT rc = ParseRect(value);
            options.size = SIZE{rc.left, rc.top};
        } else if (option == L"--screenshot") {
            options.screenshot = value;
        } else if (option == L"--select" || option == L"--show" || option == L"--hide" ||
                   option == L"--text" || option == L"--check" || option == L"--value") {
            options.actions.emplace_back(option, value);
        } else {
            return false;
        }
    }
    return true;
}

bool CheckDescription(const Options& options) {
    std::vector<uint8_t> packageBytes;
    std::wstring error;
    CZipPackage package;
    if (IsZip(options.skin)) {
        if (!ReadFileBytes(options.skin, SIZE_MAX, packageBytes, error)) {
            fwprintf(stderr, L"skinviewer: %ls: %ls\n", options.skin.c_str(), error.c_str());
            return false;
        }
        package.Open(packageBytes.data(), packageBytes.size());
    }
    CMarkup markup;
    if (!markup.LoadFromFile(options.file, CPaintManagerUI::GetResourcePath(),
                             IsZip(options.skin) ? &package : nullptr)) {
        fwprintf(stderr, L"skinviewer: %ls: %ls at \"%ls\"\n", options.file.c_str(),
                 markup.GetLastErrorMessage().c_str(), markup.GetLastErrorLocation().c_str());
        return false;
    }
    return true;
}

struct ArgvTraits {
    using Type = wchar_t**;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type value) { return value != nullptr; }
    static void Close(Type value) { ::LocalFree(value); }
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    int argc = 0;
    ScopedHandle<ArgvTraits> argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    Options options;
    if (!argv || !ParseOptions(argc, argv.Get(), options)) {
        fwprintf(stderr,
                 L"usage: skinviewer <skin folder | package.zip> [--file NAME] [--size W,H] [--select "
                 L"NAME=INDEX]\n"
                 L"       [--show NAME] [--hide NAME] [--text NAME=TEXT] [--check NAME] [--value NAME=N]\n"
                 L"       [--screenshot OUT.png]\n");
        return 1;
    }
    CPaintManagerUI::SetInstance(instance);
    std::wstring folder = IsZip(options.skin) ? SplitPath(options.skin).first : options.skin;
    CPaintManagerUI::SetResourcePath(folder.empty() ? CPaintManagerUI::GetInstancePath() : folder);

    // The window would report a broken description with a message box; a headless run must not wait on one.
    if (!CheckDescription(options)) {
        return 1;
    }

    auto window = std::make_unique<ViewerWindow>(options);
    if (window->Create(nullptr, L"skinviewer",
                       WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0,
                       700, 500) == nullptr) {
        fwprintf(stderr, L"skinviewer: cannot create the window\n");
        return 1;
    }
    window->CenterWindow();
    ::ShowWindow(window->GetHWND(), SW_SHOW);
    ::UpdateWindow(window->GetHWND());
    int code = CPaintManagerUI::MessageLoop();
    return code != 0 ? code : window->Result();
}
