#include "UIBase.h"

#include "UIBuilder.h"

#include <windowsx.h>

#include <vector>

namespace SkinUI {

namespace {

const wchar_t kWindowProperty[] = L"SkinUI.Window";

}  // namespace

CWindowWnd* CWindowWnd::FromHandle(HWND hwnd) {
    return static_cast<CWindowWnd*>(::GetPropW(hwnd, kWindowProperty));
}

bool CWindowWnd::RegisterWindowClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    HINSTANCE instance = CPaintManagerUI::GetInstance();
    if (::GetClassInfoExW(instance, GetWindowClassName(), &wc)) {
        return true;
    }
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof(wc);
    wc.style = GetClassStyle();
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = GetWindowClassName();
    return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool CWindowWnd::RegisterSuperclass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (!::GetClassInfoExW(nullptr, GetSuperClassName(), &wc) &&
        !::GetClassInfoExW(CPaintManagerUI::GetInstance(), GetSuperClassName(), &wc)) {
        return false;
    }
    // The object behind each window is found through its window property, so a superclass shares
    // the one window procedure; messages it does not handle go on to the system class.
    oldWndProc_ = wc.lpfnWndProc;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = CPaintManagerUI::GetInstance();
    wc.lpszClassName = GetWindowClassName();
    return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CWindowWnd::Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, int x, int y, int cx,
                        int cy, HMENU menu) {
    bool registered = GetSuperClassName() != nullptr ? RegisterSuperclass() : RegisterWindowClass();
    if (!registered) {
        return nullptr;
    }
    return ::CreateWindowExW(exStyle, GetWindowClassName(), name, style, x, y, cx, cy, parent, menu,
                             CPaintManagerUI::GetInstance(), this);
}

HWND CWindowWnd::Subclass(HWND hwnd) {
    hwnd_ = hwnd;
    ::SetPropW(hwnd, kWindowProperty, this);
    oldWndProc_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WndProc)));
    subclassed_ = true;
    return hwnd;
}

void CWindowWnd::Unsubclass() {
    if (!subclassed_ || hwnd_ == nullptr) {
        return;
    }
    ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldWndProc_));
    ::RemovePropW(hwnd_, kWindowProperty);
    oldWndProc_ = ::DefWindowProcW;
    subclassed_ = false;
    hwnd_ = nullptr;
}

void CWindowWnd::ShowWindow(bool show, bool takeFocus) {
    if (::IsWindow(hwnd_)) {
        ::ShowWindow(hwnd_, show ? (takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
    }
}

void CWindowWnd::Close(UINT code) {
    if (::IsWindow(hwnd_)) {
        ::PostMessageW(hwnd_, WM_CLOSE, static_cast<WPARAM>(code), 0);
    }
}

void CWindowWnd::CenterWindow() {
    RECT window{};
    ::GetWindowRect(hwnd_, &window);
    RECT area{};
    HWND owner = ::GetWindow(hwnd_, GW_OWNER);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromWindow(owner != nullptr ? owner : hwnd_, MONITOR_DEFAULTTONEAREST),
                      &monitor);
    if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
        ::GetWindowRect(owner, &area);
    } else {
        area = monitor.rcWork;
    }
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    int x = (area.left + area.right - width) / 2;
    int y = (area.top + area.bottom - height) / 2;
    // Keep the window on its monitor's work area.
    if (x < monitor.rcWork.left) {
        x = monitor.rcWork.left;
    } else if (x + width > monitor.rcWork.right) {
        x = monitor.rcWork.right - width;
    }
    if (y < monitor.rcWork.top) {
        y = monitor.rcWork.top;
    } else if (y + height > monitor.rcWork.bottom) {
        y = monitor.rcWork.bottom - height;
    }
    ::SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowWnd::SetIcon(UINT resourceId) {
    HINSTANCE instance = CPaintManagerUI::GetInstance();
    // Shared icons are owned by the system, so nothing has to be destroyed later.
    auto big = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                               ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON),
                                               LR_DEFAULTCOLOR | LR_SHARED));
    auto small = static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                     ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR | LR_SHARED));
    ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

LRESULT CWindowWnd::SendMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageW(hwnd_, uMsg, wParam, lParam);
}

LRESULT CWindowWnd::PostMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return ::PostMessageW(hwnd_, uMsg, wParam, lParam);
}

LRESULT CWindowWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcW(oldWndProc_, hwnd_, uMsg, wParam, lParam);
}

void CWindowWnd::OnFinalMessage(HWND) {}

LRESULT CALLBACK CWindowWnd::WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    CWindowWnd* self = nullptr;
    if (uMsg == WM_NCCREATE) {
        self = static_cast<CWindowWnd*>(reinterpret_cast<LPCREATESTRUCTW>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        ::SetPropW(hwnd, kWindowProperty, self);
    } else {
        self = FromHandle(hwnd);
    }
    if (self == nullptr) {
        return ::DefWindowProcW(hwnd, uMsg, wParam, lParam);
    }
    if (uMsg == WM_NCDESTROY) {
        LRESULT result = self->HandleMessage(uMsg, wParam, lParam);
        if (self->subclassed_) {
            self->Unsubclass();
        }
        ::RemovePropW(hwnd, kWindowProperty);
        self->hwnd_ = nullptr;
        self->OnFinalMessage(hwnd);
        return result;
    }
    return self->HandleMessage(uMsg, wParam, lParam);
}

void CNotifyPump::SetNotifyHandler(const std::wstring& type, Handler handler) {
    handlers_[type] = std::move(handler);
}

bool CNotifyPump::NotifyPump(TNotifyUI& msg) {
    auto it = handlers_.find(msg.sType);
    if (it == handlers_.end()) {
        return false;
    }
    it->second(msg);
    return true;
}

WindowImplBase::WindowImplBase() {
    SetNotifyHandler(L"click", [this](TNotifyUI& msg) { OnClick(msg); });
}

void WindowImplBase::OnFinalMessage(HWND hwnd) {
    paintManager_.RemovePreMessageFilter(this);
    paintManager_.RemoveNotifier(this);
    paintManager_.ReleaseDelayedCleanup();
    CWindowWnd::OnFinalMessage(hwnd);
}

void WindowImplBase::OnClick(TNotifyUI& msg) {
    if (msg.pSender == nullptr) {
        return;
    }
    const std::wstring& name = msg.pSender->GetName();
    if (name == L"closebtn") {
        Close(1);
    } else if (name == L"minbtn") {
        SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    } else if (name == L"maxbtn") {
        SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    } else if (name == L"restorebtn") {
        SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
    }
}

LRESULT WindowImplBase::ResponseDefaultKeyEvent(WPARAM wParam) {
    if (wParam == VK_ESCAPE) {
        Close(1);
        return TRUE;
    }
    return FALSE;
}

LRESULT WindowImplBase::OnClose(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnNcActivate(UINT, WPARAM wParam, LPARAM, bool& bHandled) {
    if (::IsIconic(hwnd_)) {
        bHandled = false;
        return 0;
    }
    return wParam == 0 ? TRUE : FALSE;
}

LRESULT WindowImplBase::OnNcCalcSize(UINT, WPARAM, LPARAM lParam, bool&) {
    if (!::IsZoomed(hwnd_)) {
        return 0;
    }
    // With wParam TRUE lParam is NCCALCSIZE_PARAMS, whose first member is the proposed rectangle.
    auto* rc = reinterpret_cast<RECT*>(lParam);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &monitor);
    rc->right = rc->left + (monitor.rcWork.right - monitor.rcWork.left);
    rc->bottom = rc->top + (monitor.rcWork.bottom - monitor.rcWork.top);
    return WVR_REDRAW;
}

LRESULT WindowImplBase::OnNcPaint(UINT, WPARAM, LPARAM, bool&) {
    return 0;
}

LRESULT WindowImplBase::OnNcHitTest(UINT, WPARAM, LPARAM lParam, bool&) {
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ScreenToClient(hwnd_, &pt);
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    if (!::IsZoomed(hwnd_)) {
        const RECT& box = paintManager_.GetSizeBox();
        bool top = pt.y < client.top + box.top;
        bool bottom = pt.y >= client.bottom - box.bottom;
        bool left = pt.x < client.left + box.left;
        bool right = pt.x >= client.right - box.right;
        if (top) {
            return left ? HTTOPLEFT : (right ? HTTOPRIGHT : HTTOP);
        }
        if (bottom) {
            return left ? HTBOTTOMLEFT : (right ? HTBOTTOMRIGHT : HTBOTTOM);
        }
        if (left) {
            return HTLEFT;
        }
        if (right) {
            return HTRIGHT;
        }
    }
    const RECT& caption = paintManager_.GetCaptionRect();
    if (pt.x >= client.left + caption.left && pt.x < client.right - caption.right && pt.y >= caption.top &&
        pt.y < caption.bottom) {
        CControlUI* control = paintManager_.FindControl(pt);
        if (control != nullptr && dynamic_cast<CButtonUI*>(control) == nullptr) {
            return HTCAPTION;
        }
    }
    return HTCLIENT;
}

LRESULT WindowImplBase::OnGetMinMaxInfo(UINT, WPARAM, LPARAM lParam, bool& bHandled) {
    auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &monitor);
    info->ptMaxPosition.x = monitor.rcWork.left - monitor.rcMonitor.left;
    info->ptMaxPosition.y = monitor.rcWork.top - monitor.rcMonitor.top;
    info->ptMaxTrackSize.x = monitor.rcWork.right - monitor.rcWork.left;
    info->ptMaxTrackSize.y = monitor.rcWork.bottom - monitor.rcWork.top;
    SIZE minimum = paintManager_.GetMinInfo();
    info->ptMinTrackSize.x = minimum.cx;
    info->ptMinTrackSize.y = minimum.cy;
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnMouseWheel(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnMouseHover(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnSize(UINT, WPARAM wParam, LPARAM, bool& bHandled) {
    SIZE corner = paintManager_.GetRoundCorner();
    if ((corner.cx != 0 || corner.cy != 0) && wParam != SIZE_MINIMIZED) {
        RECT rc{};
        ::GetWindowRect(hwnd_, &rc);
        ScopedRegion region(
            ::CreateRoundRectRgn(0, 0, rc.right - rc.left + 1, rc.bottom - rc.top + 1, corner.cx, corner.cy));
        // The system owns the region once it is set.
        if (region && ::SetWindowRgn(hwnd_, region.Get(), TRUE)) {
            region.Release();
        }
    }
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnChar(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, bool&) {
    if ((wParam & 0xFFF0) == SC_CLOSE) {
        SendMessage(WM_CLOSE);
        return 0;
    }
    bool zoomed = ::IsZoomed(hwnd_) != FALSE;
    LRESULT result = CWindowWnd::HandleMessage(uMsg, wParam, lParam);
    if (zoomed != (::IsZoomed(hwnd_) != FALSE)) {
        CControlUI* maxButton = paintManager_.FindControl(L"maxbtn");
        CControlUI* restoreButton = paintManager_.FindControl(L"restorebtn");
        if (maxButton != nullptr) {
            maxButton->SetVisible(zoomed);
        }
        if (restoreButton != nullptr) {
            restoreButton->SetVisible(!zoomed);
        }
    }
    return result;
}

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, bool&) {
    ::SetWindowLongPtrW(hwnd_, GWL_STYLE, GetStyle() | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    RECT rc{};
    ::GetClientRect(hwnd_, &rc);
    ::SetWindowPos(hwnd_, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, SWP_FRAMECHANGED);
    return BuildContent(L"加载资源文件失败");
}

LRESULT WindowImplBase::BuildContent(const wchar_t* failureText) {
    paintManager_.Init(hwnd_);
    paintManager_.AddPreMessageFilter(this);
    if (CPaintManagerUI::GetResourcePath().empty()) {
        CPaintManagerUI::SetResourcePath(CPaintManagerUI::GetInstancePath() + GetSkinFolder());
    }
    switch (GetResourceType()) {
        case UILIB_ZIP: {
            // The package's bytes must stay for as long as the process may read from it.
            static std::vector<uint8_t>* const fileBytes = new std::vector<uint8_t>();
            std::wstring error;
            // An unreadable package is still set, so that building reports "Error opening zip file".
            ReadFileBytes(CPaintManagerUI::GetResourcePath() + GetZIPFileName(), SIZE_MAX, *fileBytes, error);
            CPaintManagerUI::SetResourceZip(fileBytes->data(), fileBytes->size());
            break;
        }
        case UILIB_ZIPRESOURCE: {
            HINSTANCE module = CPaintManagerUI::GetResourceInstance();
            HRSRC resource = ::FindResourceW(module, GetResourceID(), L"ZIPRES");
            HGLOBAL loaded = resource != nullptr ? ::LoadResource(module, resource) : nullptr;
            DWORD size = resource != nullptr ? ::SizeofResource(module, resource) : 0;
            const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
            if (data == nullptr || size == 0) {
                return 0;
            }
            static std::vector<uint8_t>* const resourceBytes = new std::vector<uint8_t>();
            const auto* p = static_cast<const uint8_t*>(data);
            resourceBytes->assign(p, p + size);
            CPaintManagerUI::SetResourceZip(resourceBytes->data(), resourceBytes->size());
            break;
        }
        default:
            break;
    }
    CDialogBuilder builder;
    CControlUI* root = builder.Create(GetSkinFile(), this, &paintManager_);
    if (root == nullptr) {
        ::MessageBoxW(nullptr, failureText, L"SkinUI", MB_OK | MB_ICONERROR);
        ::ExitProcess(1);
    }
    paintManager_.AttachDialog(root);
    paintManager_.AddNotifier(this);
    InitWindow();
    return 0;
}

LRESULT WindowImplBase::OnKeyDown(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnKillFocus(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnSetFocus(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnLButtonDown(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnLButtonUp(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnMouseMove(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LONG WindowImplBase::GetStyle() {
    return static_cast<LONG>(::GetWindowLongPtrW(hwnd_, GWL_STYLE)) & ~static_cast<LONG>(WS_CAPTION);
}

void WindowImplBase::Notify(TNotifyUI& msg) {
    NotifyPump(msg);
}

LRESULT WindowImplBase::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM, bool& bHandled) {
    if (uMsg == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE)) {
        LRESULT result = ResponseDefaultKeyEvent(wParam);
        bHandled = result != FALSE;
        return result;
    }
    return FALSE;
}

CControlUI* WindowImplBase::CreateControl(const std::wstring&) {
    return nullptr;
}

LRESULT WindowImplBase::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    bool handled = true;
    switch (uMsg) {
        case WM_CREATE:
            result = OnCreate(uMsg, wParam, lParam, handled);
            break;
        case WM_CLOSE:
            result = OnClose(uMsg, wParam, lParam, handled);
            break;
        case WM_DESTROY:
            result = OnDestroy(uMsg, wParam, lParam, handled);
            break;
        case WM_NCACTIVATE:
            result = OnNcActivate(uMsg, wParam, lParam, handled);
            break;
        case WM_NCCALCSIZE:
            result = OnNcCalcSize(uMsg, wParam, lParam, handled);
            break;
        case WM_NCPAINT:
            result = OnNcPaint(uMsg, wParam, lParam, handled);
            break;
        case WM_NCHITTEST:
            result = OnNcHitTest(uMsg, wParam, lParam, handled);
            break;
        case WM_GETMINMAXINFO:
            result = OnGetMinMaxInfo(uMsg, wParam, lParam, handled);
            break;
        case WM_MOUSEWHEEL:
            result = OnMouseWheel(uMsg, wParam, lParam, handled);
            break;
        case WM_MOUSEHOVER:
            result = OnMouseHover(uMsg, wParam, lParam, handled);
            break;
        case WM_SIZE:
            result = OnSize(uMsg, wParam, lParam, handled);
            break;
        case WM_CHAR:
            result = OnChar(uMsg, wParam, lParam, handled);
            break;
        case WM_SYSCOMMAND:
            result = OnSysCommand(uMsg, wParam, lParam, handled);
            break;
        case WM_KEYDOWN:
            result = OnKeyDown(uMsg, wParam, lParam, handled);
            break;
        case WM_KILLFOCUS:
            result = OnKillFocus(uMsg, wParam, lParam, handled);
            break;
        case WM_SETFOCUS:
            result = OnSetFocus(uMsg, wParam, lParam, handled);
            break;
        case WM_LBUTTONUP:
            result = OnLButtonUp(uMsg, wParam, lParam, handled);
            break;
        case WM_LBUTTONDOWN:
            result = OnLButtonDown(uMsg, wParam, lParam, handled);
            break;
        case WM_MOUSEMOVE:
            result = OnMouseMove(uMsg, wParam, lParam, handled);
            break;
        default:
            handled = false;
            break;
    }
    if (handled) {
        return result;
    }
    handled = true;
    result = HandleCustomMessage(uMsg, wParam, lParam, handled);
    if (handled) {
        return result;
    }
    if (paintManager_.MessageHandler(uMsg, wParam, lParam, result)) {
        return result;
    }
    return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

}  // namespace SkinUI
