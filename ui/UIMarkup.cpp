#include "UIMarkup.h"

#include "UIScoped.h"
#include "UIText.h"

#include <windows.h>

namespace SkinUI {

namespace {

struct FileTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type value) { return value != INVALID_HANDLE_VALUE && value != nullptr; }
    static void Close(Type value) { ::CloseHandle(value); }
};

bool IsSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

bool IsNameChar(wchar_t c) {
    return c != 0 && !IsSpace(c) && c != L'=' && c != L'/' && c != L'>' && c != L'<' && c != L'"' &&
           c != L'\'';
}

}  // namespace

std::wstring DecodeDescription(const std::vector<uint8_t>& bytes, XmlEncoding encoding) {
    size_t size = bytes.size();
    const uint8_t* p = bytes.data();
    if (size >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        return Utf8ToWide(std::string(reinterpret_cast<const char*>(p + 3), size - 3));
    }
    bool littleEndian = size >= 2 && p[0] == 0xFF && p[1] == 0xFE;
    bool bigEndian = size >= 2 && p[0] == 0xFE && p[1] == 0xFF;
    if (littleEndian || bigEndian) {
        std::wstring text;
        text.reserve((size - 2) / 2);
        for (size_t i = 2; i + 1 < size; i += 2) {
            uint8_t lo = littleEndian ? p[i] : p[i + 1];
            uint8_t hi = littleEndian ? p[i + 1] : p[i];
            text.push_back(static_cast<wchar_t>(lo | (hi << 8)));
        }
        return text;
    }
    std::string raw(reinterpret_cast<const char*>(p), size);
    if (encoding == XmlEncoding::Unicode) {
        std::wstring text;
        for (size_t i = 0; i + 1 < size; i += 2) {
            text.push_back(static_cast<wchar_t>(p[i] | (p[i + 1] << 8)));
        }
        return text;
    }
    return encoding == XmlEncoding::Ansi ? CodePageToWide(raw, CP_ACP) : Utf8ToWide(raw);
}

bool ReadFileBytes(const std::wstring& path, size_t maxSize, std::vector<uint8_t>& bytes,
                   std::wstring& error) {
    bytes.clear();
    ScopedHandle<FileTraits> file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = L"Error opening file";
        return false;
    }
    LARGE_INTEGER fileSize{};
    if (!::GetFileSizeEx(file.Get(), &fileSize)) {
        error = L"Could not read file";
        return false;
    }
    if (static_cast<unsigned long long>(fileSize.QuadPart) > maxSize) {
        error = L"File too large";
        return false;
    }
    bytes.resize(static_cast<size_t>(fileSize.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        (!::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size())) {
        bytes.clear();
        error = L"Could not read file";
        return false;
    }
    return true;
}

bool ReadDescription(const std::wstring& name, const std::wstring& resourcePath, const CZipPackage* package,
                     std::vector<uint8_t>& bytes, std::wstring& error) {
    bytes.clear();
    if (package != nullptr) {
        if (!package->IsOpen()) {
            error = L"Error opening zip file";
            return false;
        }
        if (!package->Extract(name, bytes, error)) {
            return false;
        }
    } else if (!ReadFileBytes(resourcePath + name, kMaxDescriptionSize, bytes, error)) {
        return false;
    }
    if (bytes.empty()) {
        error = L"File is empty";
        return false;
    }
    if (bytes.size() > kMaxDescriptionSize) {
        error = L"File too large";
        return false;
    }
    error.clear();
    return true;
}

std::wstring DecodeEntities(const std::wstring& raw) {
    static const struct {
        const wchar_t* entity;
        wchar_t value;
    } kEntities[] = {
        {L"&amp;", L'&'}, {L"&lt;", L'<'}, {L"&gt;", L'>'}, {L"&quot;", L'"'}, {L"&apos;", L'\''}};
    std::wstring result;
    result.reserve(raw.size());
    for (size_t i = 0; i < raw.size();) {
        bool decoded = false;
        if (raw[i] == L'&') {
            for (const auto& e : kEntities) {
                size_t length = wcslen(e.entity);
                if (raw.compare(i, length, e.entity) == 0) {
                    result.push_back(e.value);
                    i += length;
                    decoded = true;
                    break;
                }
            }
        }
        if (!decoded) {
            result.push_back(raw[i++]);
        }
    }
    return result;
}

bool CMarkup::LoadFromFile(const std::wstring& name, const std::wstring& resourcePath,
                           const CZipPackage* package, XmlEncoding encoding) {
    std::vector<uint8_t> bytes;
    std::wstring error;
    if (!ReadDescription(name, resourcePath, package, bytes, error)) {
        valid_ = false;
        root_ = XmlElement();
        errorMessage_ = error;
        errorLocation_ = name;
        return false;
    }
    return LoadFromMem(bytes, encoding);
}

bool CMarkup::LoadFromMem(const std::vector<uint8_t>& bytes, XmlEncoding encoding) {
    return Load(DecodeDescription(bytes, encoding));
}

bool CMarkup::Load(const std::wstring& text) {
    text_ = text;
    root_ = XmlElement();
    errorMessage_.clear();
    errorLocation_.clear();
    size_t pos = 0;
    valid_ = false;
    if (!SkipMarkupDeclarations(pos)) {
        return false;
    }
    if (pos >= text_.size() || text_[pos] != L'<') {
        return Fail(L"Expected start tag", pos);
    }
    valid_ = ParseElement(pos, root_);
    if (!valid_) {
        root_ = XmlElement();
    }
    text_.clear();
    return valid_;
}

bool CMarkup::Fail(const wchar_t* message, size_t pos) {
    errorMessage_ = message;
    errorLocation_ = text_.substr(pos < text_.size() ? pos : text_.size(), 50);
    return false;
}

void CMarkup::SkipWhitespace(size_t& pos) const {
    while (pos < text_.size() && IsSpace(text_[pos])) {
        ++pos;
    }
}

// Skips whitespace, comments and declarations; false only when one of them is left open.
bool CMarkup::SkipMarkupDeclarations(size_t& pos) const {
    for (;;) {
        SkipWhitespace(pos);
        if (text_.compare(pos, 4, L"<!--") == 0) {
            size_t end = text_.find(L"->", pos + 4);
            pos = end == std::wstring::npos ? text_.size() : end + 2;
        } else if (text_.compare(pos, 2, L"<?") == 0) {
            size_t end = text_.find(L"?>", pos + 2);
            pos = end == std::wstring::npos ? text_.size() : end + 2;
        } else {
            return true;
        }
    }
}

bool CMarkup::ParseElement(size_t& pos, XmlElement& element) {
    ++pos;  // '<'
    size_t start = pos;
    while (pos < text_.size() && IsNameChar(text_[pos])) {
        ++pos;
    }
    if (pos == start) {
        return Fail(L"Error parsing element name", start);
    }
    element.name = text_.substr(start, pos - start);
    if (!ParseAttributes(pos, element)) {
        return false;
    }
    SkipWhitespace(pos);
    if (text_.compare(pos, 2, L"/>") == 0) {
        pos += 2;
        return true;
    }
    if (pos >= text_.size() || text_[pos] != L'>') {
        return Fail(L"Expected start-tag closing", pos);
    }
    ++pos;
    return ParseContent(pos, element);
}

bool CMarkup::ParseAttributes(size_t& pos, XmlElement& element) {
    for (;;) {
        SkipWhitespace(pos);
        if (pos >= text_.size() || text_[pos] == L'/' || text_[pos] == L'>') {
            return true;
        }
        size_t start = pos;
        while (pos < text_.size() && IsNameChar(text_[pos])) {
            ++pos;
        }
        if (pos == start) {
            return Fail(L"Error while parsing attributes", pos);
        }
        std::wstring name = text_.substr(start, pos - start);
        SkipWhitespace(pos);
        if (pos >= text_.size() || text_[pos] != L'=') {
            return Fail(L"Error while parsing attributes", pos);
        }
        ++pos;
        SkipWhitespace(pos);
        if (pos >= text_.size() || text_[pos] != L'"') {
            return Fail(L"Expected attribute value", pos);
        }
        ++pos;
        size_t end = text_.find(L'"', pos);
        if (end == std::wstring::npos) {
            return Fail(L"Error while parsing attribute string", pos);
        }
        if (element.attributes.size() < kMaxAttributes) {
            element.attributes.push_back({name, DecodeEntities(text_.substr(pos, end - pos))});
        }
        pos = end + 1;
    }
}

bool CMarkup::ParseContent(size_t& pos, XmlElement& element) {
    for (;;) {
        // Character data between elements carries nothing for a window description.
        size_t tag = text_.find(L'<', pos);
        if (tag == std::wstring::npos) {
            return Fail(L"Expected end-tag start", text_.size());
        }
        pos = tag;
        if (text_.compare(pos, 4, L"<!--") == 0 || text_.compare(pos, 2, L"<?") == 0) {
            SkipMarkupDeclarations(pos);
            continue;
        }
        if (text_.compare(pos, 2, L"</") == 0) {
            pos += 2;
            size_t start = pos;
            while (pos < text_.size() && IsNameChar(text_[pos])) {
                ++pos;
            }
            if (text_.compare(start, pos - start, element.name) != 0 || pos - start != element.name.size()) {
                return Fail(L"Unmatched closing tag", start);
            }
            SkipWhitespace(pos);
            if (pos >= text_.size() || text_[pos] != L'>') {
                return Fail(L"Unmatched closing tag", pos);
            }
            ++pos;
            return true;
        }
        XmlElement child;
        if (!ParseElement(pos, child)) {
            return false;
        }
        element.children.push_back(std::move(child));
    }
}

}  // namespace SkinUI
