// Text helpers of the framework (kept here so that the framework needs nothing from its host).
#pragma once

#include <windows.h>

#include <string>

namespace SkinUI {

std::wstring CodePageToWide(const std::string& text, UINT codePage);
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
std::wstring ToUpper(std::wstring text);
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);

}  // namespace SkinUI
