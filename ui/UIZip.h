// Read-only access to a zip archive that lives in memory (the skin package).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace SkinUI {

class CZipPackage {
public:
    // The bytes are not copied: they must outlive the package.
    bool Open(const void* data, size_t size);
    void Close();
    bool IsOpen() const { return open_; }

    // Expands one entry; names compare without regard to case. On failure `error` receives
    // "Could not find ziped file" or "Could not unzip file".
    bool Extract(const std::wstring& name, std::vector<uint8_t>& out, std::wstring& error) const;

private:
    struct Entry {
        std::wstring name;
        uint16_t method = 0;
        uint32_t compressedSize = 0;
        uint32_t size = 0;
        uint32_t localHeaderOffset = 0;
    };

    const Entry* Find(const std::wstring& name) const;

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    bool open_ = false;
    std::vector<Entry> entries_;
};

// Expands a raw deflate stream whose expanded size is known.
bool InflateRaw(const uint8_t* data, size_t size, size_t expandedSize, std::vector<uint8_t>& out);

}  // namespace SkinUI
