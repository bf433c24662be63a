#include "UIZip.h"

#include "UIText.h"

#include <zlib.h>

namespace SkinUI {

namespace {

constexpr uint32_t kEndOfDirectorySignature = 0x06054b50;
constexpr uint32_t kDirectoryEntrySignature = 0x02014b50;
constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr size_t kEndOfDirectorySize = 22;
constexpr size_t kDirectoryEntrySize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;

uint16_t Read16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Read32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

bool InflateRaw(const uint8_t* data, size_t size, size_t expandedSize, std::vector<uint8_t>& out) {
    out.assign(expandedSize, 0);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        return false;
    }
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(expandedSize);
    int status = inflate(&stream, Z_FINISH);
    // A zero-length entry ends without ever producing output; Z_BUF_ERROR is then expected.
    bool ok = status == Z_STREAM_END || (expandedSize == 0 && status == Z_BUF_ERROR);
    ok = ok && stream.total_out == expandedSize;
    inflateEnd(&stream);
    return ok;
}

bool CZipPackage::Open(const void* data, size_t size) {
    Close();
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (bytes == nullptr || size < kEndOfDirectorySize) {
        return false;
    }
    // The end record sits at the very end unless an archive comment follows it.
    size_t end = size - kEndOfDirectorySize;
    size_t lowest = size > kEndOfDirectorySize + 0xFFFF ? size - kEndOfDirectorySize - 0xFFFF : 0;
    bool found = false;
    for (size_t pos = end + 1; pos-- > lowest;) {
        if (Read32(bytes + pos) == kEndOfDirectorySignature) {
            end = pos;
            found = true;
            break;
        }
    }
    if (!found) {
        return false;
    }
    uint16_t count = Read16(bytes + end + 10);
    uint32_t directorySize = Read32(bytes + end + 12);
    uint32_t directoryOffset = Read32(bytes + end + 16);
    if (static_cast<uint64_t>(directoryOffset) + directorySize > end) {
        return false;
    }
    std::vector<Entry> entries;
    size_t pos = directoryOffset;
    for (uint16_t i = 0; i < count; ++i) {
        if (pos + kDirectoryEntrySize > end || Read32(bytes + pos) != kDirectoryEntrySignature) {
            return false;
        }
        Entry entry;
        uint16_t flags = Read16(bytes + pos + 8);
        entry.method = Read16(bytes + pos + 10);
        entry.compressedSize = Read32(bytes + pos + 20);
        entry.size = Read32(bytes + pos + 24);
        uint16_t nameLength = Read16(bytes + pos + 28);
        uint16_t extraLength = Read16(bytes + pos + 30);
        uint16_t commentLength = Read16(bytes + pos + 32);
        entry.localHeaderOffset = Read32(bytes + pos + 42);
        size_t next = pos + kDirectoryEntrySize + nameLength + extraLength + commentLength;
        if (next > end) {
            return false;
        }
        std::string rawName(reinterpret_cast<const char*>(bytes + pos + kDirectoryEntrySize), nameLength);
        // Bit 11 marks UTF-8 names; older tools write the OEM code page.
        entry.name = (flags & 0x0800) != 0 ? Utf8ToWide(rawName) : CodePageToWide(rawName, CP_OEMCP);
        entries.push_back(std::move(entry));
        pos = next;
    }
    data_ = bytes;
    size_ = size;
    entries_ = std::move(entries);
    open_ = true;
    return true;
}

void CZipPackage::Close() {
    data_ = nullptr;
    size_ = 0;
    entries_.clear();
    open_ = false;
}

const CZipPackage::Entry* CZipPackage::Find(const std::wstring& name) const {
    for (const Entry& entry : entries_) {
        if (EqualsNoCase(entry.name, name)) {
            return &entry;
        }
    }
    return nullptr;
}

bool CZipPackage::Extract(const std::wstring& name, std::vector<uint8_t>& out, std::wstring& error) const {
    const Entry* entry = open_ ? Find(name) : nullptr;
    if (entry == nullptr) {
        error = L"Could not find ziped file";
        return false;
    }
    error = L"Could not unzip file";
    size_t header = entry->localHeaderOffset;
    if (header + kLocalHeaderSize > size_ || Read32(data_ + header) != kLocalHeaderSignature) {
        return false;
    }
    size_t start = header + kLocalHeaderSize + Read16(data_ + header + 26) + Read16(data_ + header + 28);
    if (start > size_ || entry->compressedSize > size_ - start) {
        return false;
    }
    const uint8_t* payload = data_ + start;
    if (entry->method == kStored) {
        if (entry->compressedSize != entry->size) {
            return false;
        }
        out.assign(payload, payload + entry->size);
    } else if (entry->method != kDeflated || !InflateRaw(payload, entry->compressedSize, entry->size, out)) {
        return false;
    }
    error.clear();
    return true;
}

}  // namespace SkinUI
