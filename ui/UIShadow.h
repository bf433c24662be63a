// A layered window that draws a frame image around a top-level window (used where the system
// draws no shadow of its own).
#pragma once

#include "UIRender.h"

#include <windows.h>

#include <string>

namespace SkinUI {

class CWndShadow {
public:
    CWndShadow() = default;
    ~CWndShadow();
    CWndShadow(const CWndShadow&) = delete;
    CWndShadow& operator=(const CWndShadow&) = delete;

    // Registers the "SkinUIShadowWnd" class once per process; false when layered windows are not offered.
    static bool Initialize(HINSTANCE instance);
    bool Create(HWND parent);
    // `offsets` is how far the shadow reaches beyond the parent on each side; `corners` are added
    // to the offsets to form the fixed borders of the nine-grid.
    bool SetImage(const std::wstring& image, RECT offsets, RECT corners);

    // Paints the frame of a shadow of `size`: the image as a nine-grid whose fixed borders are
    // offset + corner on each side, middle left out, per-pixel alpha kept (premultiplied).
    static bool RenderFrame(const TImageInfo& image, SIZE size, RECT offsets, RECT corners, CCanvas& canvas);

    HWND GetHWND() const { return hwnd_; }
    bool IsVisible() const { return visible_; }

private:
    static LRESULT CALLBACK ParentProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    void Update();
    void Move();
    void Show(bool show);

    HWND hwnd_ = nullptr;
    HWND parent_ = nullptr;
    bool enabled_ = false;
    bool visible_ = false;
    bool parentVisible_ = false;
    TImageInfo image_;
    RECT offsets_{};
    RECT corners_{};
};

}  // namespace SkinUI
