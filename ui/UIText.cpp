#include "UIText.h"

namespace SkinUI {

std::wstring CodePageToWide(const std::string& text, UINT codePage) {
    if (text.empty()) {
        return std::wstring();
    }
    int length = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &result[0], length);
    }
    return result;
}

std::wstring Utf8ToWide(const std::string& text) {
    return CodePageToWide(text, CP_UTF8);
}

std::string WideToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
    std::string result(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], length,
                              nullptr, nullptr);
    }
    return result;
}

std::wstring ToUpper(std::wstring text) {
    if (!text.empty()) {
        ::CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    }
    return text;
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && ToUpper(a) == ToUpper(b);
}

}  // namespace SkinUI
