#include "UIShadow.h"

#include "UIManager.h"

#include <map>

namespace SkinUI {

namespace {

const wchar_t kShadowClass[] = L"SkinUIShadowWnd";

// The parent windows whose procedure is subclassed, with the procedure they had before. An entry
// outlives its shadow when another subclass was put on top of ours, so that messages still reach
// the parent's own procedure.
struct Subclass {
    CWndShadow* shadow;
    WNDPROC previous;
};

std::map<HWND, Subclass>& Shadows() {
    static std::map<HWND, Subclass> shadows;
    return shadows;
}

LRESULT CALLBACK ShadowProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_MOUSEACTIVATE) {
        return MA_NOACTIVATE;
    }
    return ::DefWindowProcW(hwnd, uMsg, wParam, lParam);
}

}  // namespace

bool CWndShadow::Initialize(HINSTANCE instance) {
    if (::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "UpdateLayeredWindow") == nullptr) {
        return false;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (::GetClassInfoExW(instance, kShadowClass, &wc)) {
        return true;
    }
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = ShadowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kShadowClass;
    return ::RegisterClassExW(&wc) != 0;
}

CWndShadow::~CWndShadow() {
    auto it = parent_ != nullptr ? Shadows().find(parent_) : Shadows().end();
    if (it != Shadows().end()) {
        if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(parent_, GWLP_WNDPROC)) == ParentProc) {
            ::SetWindowLongPtrW(parent_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(it->second.previous));
            Shadows().erase(it);
        } else {
            it->second.shadow = nullptr;
        }
    }
    if (hwnd_ != nullptr) {
        ::DestroyWindow(hwnd_);
    }
}

bool CWndShadow::Create(HWND parent) {
    // One shadow per window: a second one would subclass the parent twice.
    auto existing = Shadows().find(parent);
    if (parent_ != nullptr || !::IsWindow(parent) ||
        (existing != Shadows().end() && existing->second.shadow != nullptr)) {
        return false;
    }
    HINSTANCE instance = CPaintManagerUI::GetInstance();
    if (!Initialize(instance)) {
        return false;
    }
    hwnd_ = ::CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT, kShadowClass, nullptr, WS_POPUPWINDOW,
                              CW_USEDEFAULT, 0, 0, 0, parent, nullptr, instance, nullptr);
    if (hwnd_ == nullptr) {
        return false;
    }
    parent_ = parent;
    enabled_ = true;
    if (existing != Shadows().end()) {
        existing->second.shadow = this;  // our procedure is still in the parent's chain
    } else {
        auto previous = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ParentProc)));
        Shadows()[parent] = Subclass{this, previous};
    }
    parentVisible_ = ::IsWindowVisible(parent) != FALSE;
    if (parentVisible_ && !::IsZoomed(parent) && !::IsIconic(parent)) {
        Show(true);
        Update();
    }
    return true;
}

bool CWndShadow::SetImage(const std::wstring& image, RECT offsets, RECT corners) {
    TImageDesc desc = ParseImageDesc(image);
    TImageInfo loaded;
    if (!CPaintManagerUI::LoadImageData(desc, loaded)) {
        return false;
    }
    image_ = std::move(loaded);
    offsets_ = offsets;
    corners_ = corners;
    if (visible_) {
        Update();
    }
    return true;
}

void CWndShadow::Show(bool show) {
    visible_ = show;
    ::ShowWindow(hwnd_, show ? SW_SHOWNOACTIVATE : SW_HIDE);
}

void CWndShadow::Move() {
    RECT rc{};
    ::GetWindowRect(parent_, &rc);
    ::SetWindowPos(hwnd_, nullptr, rc.left - offsets_.left, rc.top - offsets_.top, 0, 0,
                   SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER);
}

bool CWndShadow::RenderFrame(const TImageInfo& image, SIZE size, RECT offsets, RECT corners,
                             CCanvas& canvas) {
    if (image.pixels.empty() || !canvas.Create(size.cx, size.cy)) {
        return false;
    }
    const RECT whole{0, 0, size.cx, size.cy};
    const RECT border{offsets.left + corners.left, offsets.top + corners.top, offsets.right + corners.right,
                      offsets.bottom + corners.bottom};
    CRenderEngine::DrawImage(canvas, image, whole, RECT{0, 0, image.width, image.height}, border, true, false,
                             false, 255, whole);
    return true;
}

void CWndShadow::Update() {
    if (hwnd_ == nullptr) {
        return;
    }
    RECT rc{};
    ::GetWindowRect(parent_, &rc);
    const SIZE size{rc.right - rc.left + offsets_.left + offsets_.right,
                    rc.bottom - rc.top + offsets_.top + offsets_.bottom};
    CCanvas canvas;
    if (!RenderFrame(image_, size, offsets_, corners_, canvas)) {
        return;
    }
    POINT position{rc.left - offsets_.left, rc.top - offsets_.top};
    SIZE layered = size;
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::UpdateLayeredWindow(hwnd_, nullptr, &position, &layered, canvas.Dc(), &origin, 0, &blend, ULW_ALPHA);
}

LRESULT CALLBACK CWndShadow::ParentProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    auto it = Shadows().find(hwnd);
    if (it == Shadows().end()) {
        return ::DefWindowProcW(hwnd, uMsg, wParam, lParam);
    }
    CWndShadow* self = it->second.shadow;
    WNDPROC previous = it->second.previous;
    if (uMsg == WM_NCDESTROY) {
        if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == ParentProc) {
            ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        }
        Shadows().erase(it);
        if (self != nullptr) {
            self->parent_ = nullptr;
            self->enabled_ = false;
        }
    } else if (self != nullptr && self->enabled_) {
        switch (uMsg) {
            case WM_MOVE:
                if (self->visible_) {
                    self->Move();
                }
                break;
            case WM_SIZE:
                if (wParam == SIZE_MINIMIZED || wParam == SIZE_MAXIMIZED) {
                    self->Show(false);
                } else if (self->parentVisible_) {
                    self->Update();
                    self->Show(true);
                }
                break;
            case WM_SHOWWINDOW:
                self->parentVisible_ = wParam != FALSE;
                if (wParam != FALSE && !::IsIconic(hwnd) && !::IsZoomed(hwnd)) {
                    self->Update();
                    self->Show(true);
                } else if (wParam == FALSE) {
                    self->Show(false);
                }
                break;
            case WM_EXITSIZEMOVE:
                if (self->visible_) {
                    self->Update();
                }
                break;
            case WM_DESTROY:
                ::DestroyWindow(self->hwnd_);
                self->hwnd_ = nullptr;
                self->visible_ = false;
                break;
            default:
                break;
        }
    }
    return ::CallWindowProcW(previous, hwnd, uMsg, wParam, lParam);
}

}  // namespace SkinUI
