#include "UIRender.h"

#include "UIText.h"

#include <algorithm>
#include <cstdio>

// Third-party single-file libraries: their own warnings are not ours to fix.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb_image.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
#pragma GCC diagnostic pop

namespace SkinUI {

namespace {

struct StbiImageTraits {
    using Type = stbi_uc*;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type value) { return value != nullptr; }
    static void Close(Type value) { stbi_image_free(value); }
};

uint32_t Premultiply(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    if (a != 255) {
        r = static_cast<uint8_t>(r * a / 255);
        g = static_cast<uint8_t>(g * a / 255);
        b = static_cast<uint8_t>(b * a / 255);
    }
    return (static_cast<uint32_t>(a) << 24) | (static_cast<uint32_t>(r) << 16) |
           (static_cast<uint32_t>(g) << 8) | b;
}

// Source-over of a premultiplied pixel scaled by `fade`.
inline void Blend(uint32_t& dst, uint32_t src, unsigned fade) {
    unsigned a = src >> 24;
    if (fade != 255) {
        a = a * fade / 255;
    }
    if (a == 0 && fade == 255 && (src & 0x00FFFFFF) == 0) {
        return;
    }
    unsigned sr = (src >> 16) & 0xFF, sg = (src >> 8) & 0xFF, sb = src & 0xFF;
    if (fade != 255) {
        sr = sr * fade / 255;
        sg = sg * fade / 255;
        sb = sb * fade / 255;
    }
    if (a == 255) {
        dst = 0xFF000000 | (sr << 16) | (sg << 8) | sb;
        return;
    }
    unsigned inv = 255 - a;
    unsigned da = dst >> 24, dr = (dst >> 16) & 0xFF, dg = (dst >> 8) & 0xFF, db = dst & 0xFF;
    dst = ((a + da * inv / 255) << 24) | ((sr + dr * inv / 255) << 16) | ((sg + dg * inv / 255) << 8) |
          (sb + db * inv / 255);
}

RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.right < r.left) {
        r.right = r.left;
    }
    if (r.bottom < r.top) {
        r.bottom = r.top;
    }
    return r;
}

void DrawPart(CCanvas& canvas, const TImageInfo& image, const RECT& dest, const RECT& source, bool xtiled,
              bool ytiled, BYTE fade, const RECT& clip) {
    int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    int sw = source.right - source.left, sh = source.bottom - source.top;
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) {
        return;
    }
    RECT canvasRect{0, 0, canvas.Width(), canvas.Height()};
    RECT area = Intersect(Intersect(dest, clip), canvasRect);
    for (LONG y = area.top; y < area.bottom; ++y) {
        int offsetY = y - dest.top;
        int sy =
            source.top + (ytiled ? offsetY % sh : static_cast<int>(static_cast<int64_t>(offsetY) * sh / dh));
        const uint32_t* srcRow = image.pixels.data() + static_cast<size_t>(sy) * image.width;
        uint32_t* dstRow = canvas.Bits() + static_cast<size_t>(y) * canvas.Width();
        for (LONG x = area.left; x < area.right; ++x) {
            int offsetX = x - dest.left;
            int sx = source.left +
                     (xtiled ? offsetX % sw : static_cast<int>(static_cast<int64_t>(offsetX) * sw / dw));
            Blend(dstRow[x], srcRow[sx], fade);
        }
    }
}

}  // namespace

bool DecodeImage(const std::vector<uint8_t>& bytes, DWORD mask, TImageInfo& image) {
    int width = 0, height = 0, channels = 0;
    ScopedHandle<StbiImageTraits> rgba(
        stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels, 4));
    if (!rgba || width <= 0 || height <= 0) {
        return false;
    }
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * height);
    const stbi_uc* p = rgba.Get();
    const DWORD maskRgb = mask & 0x00FFFFFF;
    for (size_t i = 0; i < image.pixels.size(); ++i, p += 4) {
        DWORD rgb = (static_cast<DWORD>(p[0]) << 16) | (static_cast<DWORD>(p[1]) << 8) | p[2];
        image.pixels[i] = (mask != 0 && rgb == maskRgb) ? 0 : Premultiply(p[0], p[1], p[2], p[3]);
    }
    return true;
}

TImageInfo SolidImage(DWORD argb) {
    TImageInfo image;
    image.width = 1;
    image.height = 1;
    image.pixels.push_back(Premultiply(static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8),
                                       static_cast<uint8_t>(argb), static_cast<uint8_t>(argb >> 24)));
    return image;
}

bool CCanvas::Create(int width, int height) {
    if (dc_ && previous_ != nullptr) {
        ::SelectObject(dc_.Get(), previous_);
    }
    dc_.Reset();
    bitmap_.Reset();
    bits_ = nullptr;
    width_ = height_ = 0;
    if (width <= 0 || height <= 0) {
        return false;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_.Reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    dc_.Reset(::CreateCompatibleDC(nullptr));
    if (!bitmap_ || !dc_ || bits == nullptr) {
        dc_.Reset();
        bitmap_.Reset();
        return false;
    }
    previous_ = ::SelectObject(dc_.Get(), bitmap_.Get());
    bits_ = static_cast<uint32_t*>(bits);
    width_ = width;
    height_ = height;
    Clear(0);
    return true;
}

void CCanvas::Clear(uint32_t value) {
    if (bits_ != nullptr) {
        ::GdiFlush();
        std::fill(bits_, bits_ + static_cast<size_t>(width_) * height_, value);
    }
}

bool CCanvas::SavePng(const std::wstring& path) const {
    if (bits_ == nullptr) {
        return false;
    }
    ::GdiFlush();
    std::vector<uint8_t> rgb(static_cast<size_t>(width_) * height_ * 3);
    for (size_t i = 0; i < static_cast<size_t>(width_) * height_; ++i) {
        rgb[i * 3] = static_cast<uint8_t>(bits_[i] >> 16);
        rgb[i * 3 + 1] = static_cast<uint8_t>(bits_[i] >> 8);
        rgb[i * 3 + 2] = static_cast<uint8_t>(bits_[i]);
    }
    int length = 0;
    unsigned char* png = stbi_write_png_to_mem(rgb.data(), width_ * 3, width_, height_, 3, &length);
    if (png == nullptr) {
        return false;
    }
    FILE* file = _wfopen(path.c_str(), L"wb");
    bool ok =
        file != nullptr && fwrite(png, 1, static_cast<size_t>(length), file) == static_cast<size_t>(length);
    if (file != nullptr) {
        ok = fclose(file) == 0 && ok;
    }
    STBIW_FREE(png);
    return ok;
}

void CRenderEngine::FillRect(CCanvas& canvas, const RECT& rc, DWORD argb, const RECT& clip) {
    if (canvas.Bits() == nullptr) {
        return;
    }
    ::GdiFlush();
    TImageInfo solid = SolidImage(argb);
    RECT one{0, 0, 1, 1};
    DrawPart(canvas, solid, rc, one, false, false, 255, clip);
}

void CRenderEngine::DrawImage(CCanvas& canvas, const TImageInfo& image, const RECT& dest, const RECT& source,
                              const RECT& corner, bool hole, bool xtiled, bool ytiled, BYTE fade,
                              const RECT& clip) {
    if (canvas.Bits() == nullptr || image.pixels.empty()) {
        return;
    }
    ::GdiFlush();
    // Nine parts: columns and rows split by the corner widths in source and destination.
    const LONG sx[4] = {source.left, source.left + corner.left, source.right - corner.right, source.right};
    const LONG sy[4] = {source.top, source.top + corner.top, source.bottom - corner.bottom, source.bottom};
    const LONG dx[4] = {dest.left, dest.left + corner.left, dest.right - corner.right, dest.right};
    const LONG dy[4] = {dest.top, dest.top + corner.top, dest.bottom - corner.bottom, dest.bottom};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            bool middle = row == 1 && col == 1;
            if (middle && hole) {
                continue;
            }
            RECT src{sx[col], sy[row], sx[col + 1], sy[row + 1]};
            RECT dst{dx[col], dy[row], dx[col + 1], dy[row + 1]};
            // Only the stretched parts tile; fixed borders are drawn 1:1 anyway.
            DrawPart(canvas, image, dst, src, xtiled && col == 1, ytiled && row == 1, fade, clip);
        }
    }
}

void CRenderEngine::DrawText(CCanvas& canvas, const RECT& rc, const std::wstring& text, DWORD argb,
                             HFONT font, UINT style, const RECT& clip) {
    if (text.empty() || canvas.Dc() == nullptr) {
        return;
    }
    HDC dc = canvas.Dc();
    RECT visible = Intersect(rc, clip);
    if (visible.right <= visible.left || visible.bottom <= visible.top) {
        return;
    }
    int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, visible.left, visible.top, visible.right, visible.bottom);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF));
    if (font != nullptr) {
        ::SelectObject(dc, font);
    }
    RECT box = rc;
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, style | DT_NOPREFIX);
    ::RestoreDC(dc, saved);
}

}  // namespace SkinUI
