// Move-only owners for the framework's Win32 handles and GDI objects.
#pragma once

#include <windows.h>

#include <utility>

namespace SkinUI {

template <typename Traits>
class ScopedHandle {
public:
    using Type = typename Traits::Type;

    ScopedHandle() = default;
    explicit ScopedHandle(Type value) : value_(value) {}
    ~ScopedHandle() { Reset(); }

    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : value_(other.Release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    Type Get() const { return value_; }
    explicit operator bool() const { return Traits::IsValid(value_); }

    Type Release() {
        Type value = value_;
        value_ = Traits::Invalid();
        return value;
    }

    void Reset(Type value = Traits::Invalid()) {
        if (Traits::IsValid(value_)) {
            Traits::Close(value_);
        }
        value_ = value;
    }

private:
    Type value_ = Traits::Invalid();
};

template <typename T>
struct GdiObjectTraits {
    using Type = T;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type value) { return value != nullptr; }
    static void Close(Type value) { ::DeleteObject(value); }
};

struct MemoryDcTraits {
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type value) { return value != nullptr; }
    static void Close(Type value) { ::DeleteDC(value); }
};

using ScopedFont = ScopedHandle<GdiObjectTraits<HFONT>>;
using ScopedBitmap = ScopedHandle<GdiObjectTraits<HBITMAP>>;
using ScopedRegion = ScopedHandle<GdiObjectTraits<HRGN>>;
using ScopedMemoryDc = ScopedHandle<MemoryDcTraits>;

// Selects a GDI object into a DC for the lifetime of the scope.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~ScopedSelect() { ::SelectObject(dc_, previous_); }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// BeginPaint/EndPaint pair.
class ScopedPaint {
public:
    explicit ScopedPaint(HWND hwnd) : hwnd_(hwnd) { dc_ = ::BeginPaint(hwnd, &ps_); }
    ~ScopedPaint() { ::EndPaint(hwnd_, &ps_); }
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;
    HDC Dc() const { return dc_; }
    const RECT& Area() const { return ps_.rcPaint; }

private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
    HDC dc_ = nullptr;
};

// GetDC/ReleaseDC pair.
class ScopedWindowDc {
public:
    explicit ScopedWindowDc(HWND hwnd) : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
    ~ScopedWindowDc() {
        if (dc_ != nullptr) {
            ::ReleaseDC(hwnd_, dc_);
        }
    }
    ScopedWindowDc(const ScopedWindowDc&) = delete;
    ScopedWindowDc& operator=(const ScopedWindowDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

}  // namespace SkinUI
