// Bitmaps, the off-screen canvas and the software compositing the framework paints with.
#pragma once

#include "UIAttr.h"
#include "UIScoped.h"

#include <cstdint>
#include <string>
#include <vector>

namespace SkinUI {

// A decoded image: top-down rows of premultiplied BGRA pixels (0xAARRGGBB words).
struct TImageInfo {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// Decodes a PNG (or any format stb_image reads) and premultiplies it; pixels whose colour equals
// the low 24 bits of `mask` (when non-zero) become fully transparent.
bool DecodeImage(const std::vector<uint8_t>& bytes, DWORD mask, TImageInfo& image);
TImageInfo SolidImage(DWORD argb);

// A 32-bit top-down DIB section selected into its own memory DC.
class CCanvas {
public:
    bool Create(int width, int height);
    HDC Dc() const { return dc_.Get(); }
    int Width() const { return width_; }
    int Height() const { return height_; }
    uint32_t* Bits() const { return bits_; }
    uint32_t Pixel(int x, int y) const { return bits_[static_cast<size_t>(y) * width_ + x]; }
    void Clear(uint32_t value);
    // Saves the RGB content as an opaque PNG.
    bool SavePng(const std::wstring& path) const;

private:
    ScopedBitmap bitmap_;
    ScopedMemoryDc dc_;
    HGDIOBJ previous_ = nullptr;
    uint32_t* bits_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

class CRenderEngine {
public:
    // Blends a non-premultiplied 0xAARRGGBB colour over `rc`, limited to `clip`.
    static void FillRect(CCanvas& canvas, const RECT& rc, DWORD argb, const RECT& clip);
    // Draws `source` of the image into `dest`, nine-grid with `corner` borders (middle omitted when
    // `hole`), tiled instead of stretched where asked, at overall opacity `fade`, limited to `clip`.
    static void DrawImage(CCanvas& canvas, const TImageInfo& image, const RECT& dest, const RECT& source,
                          const RECT& corner, bool hole, bool xtiled, bool ytiled, BYTE fade,
                          const RECT& clip);
    static void DrawText(CCanvas& canvas, const RECT& rc, const std::wstring& text, DWORD argb, HFONT font,
                         UINT style, const RECT& clip);
};

}  // namespace SkinUI
