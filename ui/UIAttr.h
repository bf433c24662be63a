// Attribute value syntax and image descriptions.
#pragma once

#include <windows.h>

#include <string>

namespace SkinUI {

int ParseInt(const std::wstring& value);
// Four decimal integers, each followed by one separator character.
RECT ParseRect(const std::wstring& value);
// Optional '#', then hexadecimal digits read as 0xAARRGGBB.
DWORD ParseColor(const std::wstring& value);
// True only for exactly "true".
bool ParseBool(const std::wstring& value);

struct TImageDesc {
    std::wstring file;
    std::wstring res;
    std::wstring restype;
    bool hasColor = false;
    DWORD color = 0;
    RECT dest{};
    RECT source{};
    RECT corner{};
    DWORD mask = 0;
    BYTE fade = 255;
    bool hole = false;
    bool xtiled = false;
    bool ytiled = false;
    bool hsl = false;

    // The cache key of the bitmap this description draws from.
    std::wstring ImageKey() const;
};

// Either a bare file name or key='value' pairs separated by exactly one space; parsing stops at
// the first character after a closing quote that is not a single space followed by more text.
TImageDesc ParseImageDesc(const std::wstring& description);

}  // namespace SkinUI
