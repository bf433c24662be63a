// Window descriptions: loading (package or disk, size limits, encodings) and the forgiving XML parser.
#pragma once

#include "UIZip.h"

#include <cstdint>
#include <string>
#include <vector>

namespace SkinUI {

constexpr size_t kMaxDescriptionSize = 0x400000;
constexpr size_t kMaxAttributes = 64;

enum class XmlEncoding { Utf8, Unicode, Ansi };

struct XmlAttribute {
    std::wstring name;
    std::wstring value;
};

struct XmlElement {
    std::wstring name;
    std::vector<XmlAttribute> attributes;  // document order, at most kMaxAttributes
    std::vector<XmlElement> children;
};

// Turns the bytes of a description into UTF-16: byte-order marks are honoured whatever the
// requested encoding, otherwise the text is read as `encoding`.
std::wstring DecodeDescription(const std::vector<uint8_t>& bytes, XmlEncoding encoding);

// Reads a whole file of at most `maxSize` bytes; on failure `error` receives "Error opening file",
// "Could not read file" or "File too large".
bool ReadFileBytes(const std::wstring& path, size_t maxSize, std::vector<uint8_t>& bytes,
                   std::wstring& error);

// Reads a description from the package (when open) or from `resourcePath` + `name`.
// On failure `error` receives the loader's error text.
bool ReadDescription(const std::wstring& name, const std::wstring& resourcePath, const CZipPackage* package,
                     std::vector<uint8_t>& bytes, std::wstring& error);

class CMarkup {
public:
    bool Load(const std::wstring& text);
    bool LoadFromMem(const std::vector<uint8_t>& bytes, XmlEncoding encoding = XmlEncoding::Utf8);
    bool LoadFromFile(const std::wstring& name, const std::wstring& resourcePath, const CZipPackage* package,
                      XmlEncoding encoding = XmlEncoding::Utf8);

    bool IsValid() const { return valid_; }
    const XmlElement& Root() const { return root_; }
    const std::wstring& GetLastErrorMessage() const { return errorMessage_; }
    // A short excerpt of the text where parsing stopped.
    const std::wstring& GetLastErrorLocation() const { return errorLocation_; }

private:
    bool Fail(const wchar_t* message, size_t pos);
    void SkipWhitespace(size_t& pos) const;
    bool SkipMarkupDeclarations(size_t& pos) const;
    bool ParseElement(size_t& pos, XmlElement& element);
    bool ParseAttributes(size_t& pos, XmlElement& element);
    bool ParseContent(size_t& pos, XmlElement& element);

    std::wstring text_;
    XmlElement root_;
    bool valid_ = false;
    std::wstring errorMessage_;
    std::wstring errorLocation_;
};

// Decodes the five standard entities; any other ampersand stays as it is.
std::wstring DecodeEntities(const std::wstring& raw);

}  // namespace SkinUI
