#include "UIAttr.h"

#include <cwchar>

namespace SkinUI {

int ParseInt(const std::wstring& value) {
    return static_cast<int>(wcstol(value.c_str(), nullptr, 10));
}

RECT ParseRect(const std::wstring& value) {
    LONG parts[4] = {0, 0, 0, 0};
    const wchar_t* p = value.c_str();
    for (LONG& part : parts) {
        wchar_t* end = nullptr;
        part = wcstol(p, &end, 10);
        if (end == p || *end == L'\0') {
            break;
        }
        p = end + 1;
    }
    return RECT{parts[0], parts[1], parts[2], parts[3]};
}

DWORD ParseColor(const std::wstring& value) {
    const wchar_t* p = value.c_str();
    if (*p == L'#') {
        ++p;
    }
    return static_cast<DWORD>(wcstoul(p, nullptr, 16));
}

bool ParseBool(const std::wstring& value) {
    return value == L"true";
}

std::wstring TImageDesc::ImageKey() const {
    std::wstring key =
        hasColor ? L"color:" + std::to_wstring(color) : (res.empty() ? file : L"res:" + restype + L":" + res);
    if (mask != 0) {
        key += L"|mask:" + std::to_wstring(mask);
    }
    return key;
}

namespace {

void ApplyImageKey(TImageDesc& desc, const std::wstring& key, const std::wstring& value) {
    if (key == L"file") {
        desc.file = value;
    } else if (key == L"res") {
        desc.res = value;
    } else if (key == L"restype") {
        desc.restype = value;
    } else if (key == L"color") {
        desc.hasColor = true;
        desc.color = ParseColor(value);
    } else if (key == L"dest") {
        desc.dest = ParseRect(value);
    } else if (key == L"source") {
        desc.source = ParseRect(value);
    } else if (key == L"corner" || key == L"scale9") {
        desc.corner = ParseRect(value);
    } else if (key == L"mask") {
        desc.mask = ParseColor(value);
    } else if (key == L"fade") {
        int fade = ParseInt(value);
        desc.fade = static_cast<BYTE>(fade < 0 ? 0 : (fade > 255 ? 255 : fade));
    } else if (key == L"hole") {
        desc.hole = ParseBool(value);
    } else if (key == L"xtiled") {
        desc.xtiled = ParseBool(value);
    } else if (key == L"ytiled") {
        desc.ytiled = ParseBool(value);
    } else if (key == L"hsl") {
        desc.hsl = ParseBool(value);
    }
}

}  // namespace

TImageDesc ParseImageDesc(const std::wstring& description) {
    TImageDesc desc;
    if (description.find(L'=') == std::wstring::npos) {
        desc.file = description;
        return desc;
    }
    size_t pos = 0;
    const size_t length = description.size();
    while (pos < length) {
        size_t equals = description.find(L'=', pos);
        if (equals == std::wstring::npos || equals + 1 >= length || description[equals + 1] != L'\'') {
            break;
        }
        size_t close = description.find(L'\'', equals + 2);
        if (close == std::wstring::npos) {
            break;
        }
        ApplyImageKey(desc, description.substr(pos, equals - pos),
                      description.substr(equals + 2, close - equals - 2));
        pos = close + 1;
        if (pos + 1 < length && description[pos] == L' ') {
            ++pos;
        } else {
            break;
        }
    }
    return desc;
}

}  // namespace SkinUI
