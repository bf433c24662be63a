// Fixtures shared by the framework's tests: small PNG and zip writers, temporary folders and the
// location of the shipped skin.
#pragma once

#include <SkinUI.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace skinui_test {

inline uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

inline void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

inline void Put32Be(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(v >> shift));
    }
}

// Raw deflate made of stored blocks: valid input for any inflater.
inline std::vector<uint8_t> StoredDeflate(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    size_t pos = 0;
    do {
        size_t length = std::min<size_t>(data.size() - pos, 0xFFFF);
        bool last = pos + length == data.size();
        out.push_back(last ? 1 : 0);
        Put16(out, static_cast<uint32_t>(length));
        Put16(out, static_cast<uint32_t>(~length & 0xFFFF));
        out.insert(out.end(), data.begin() + static_cast<long>(pos),
                   data.begin() + static_cast<long>(pos + length));
        pos += length;
    } while (pos < data.size());
    return out;
}

// A PNG of 8-bit RGBA pixels given as 0xAARRGGBB, rows top-down.
inline std::vector<uint8_t> MakePng(int width, int height, const std::vector<uint32_t>& argb) {
    std::vector<uint8_t> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < width; ++x) {
            uint32_t p = argb[static_cast<size_t>(y) * width + x];
            raw.push_back(static_cast<uint8_t>(p >> 16));
            raw.push_back(static_cast<uint8_t>(p >> 8));
            raw.push_back(static_cast<uint8_t>(p));
            raw.push_back(static_cast<uint8_t>(p >> 24));
        }
    }
    std::vector<uint8_t> zlibStream{0x78, 0x01};
    std::vector<uint8_t> deflated = StoredDeflate(raw);
    zlibStream.insert(zlibStream.end(), deflated.begin(), deflated.end());
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    Put32Be(zlibStream, (b << 16) | a);

    std::vector<uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto chunk = [&png](const char* type, const std::vector<uint8_t>& body) {
        Put32Be(png, static_cast<uint32_t>(body.size()));
        std::vector<uint8_t> typed(type, type + 4);
        typed.insert(typed.end(), body.begin(), body.end());
        png.insert(png.end(), typed.begin(), typed.end());
        Put32Be(png, Crc32(typed.data(), typed.size()));
    };
    std::vector<uint8_t> header;
    Put32Be(header, static_cast<uint32_t>(width));
    Put32Be(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 6, 0, 0, 0});
    chunk("IHDR", header);
    chunk("IDAT", zlibStream);
    chunk("IEND", {});
    return png;
}

inline std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

struct ZipEntry {
    std::string name;
    std::vector<uint8_t> data;      // expanded content
    std::vector<uint8_t> deflated;  // raw deflate stream; empty stores the entry
};

inline std::vector<uint8_t> MakeZip(const std::vector<ZipEntry>& entries) {
    std::vector<uint8_t> zip, directory;
    for (const ZipEntry& e : entries) {
        const bool deflate = !e.deflated.empty();
        const std::vector<uint8_t>& payload = deflate ? e.deflated : e.data;
        uint32_t crc = Crc32(e.data.data(), e.data.size());
        uint32_t offset = static_cast<uint32_t>(zip.size());
        Put32(zip, 0x04034b50);
        Put16(zip, 20);
        Put16(zip, 0);
        Put16(zip, deflate ? 8 : 0);
        Put32(zip, 0);
        Put32(zip, crc);
        Put32(zip, static_cast<uint32_t>(payload.size()));
        Put32(zip, static_cast<uint32_t>(e.data.size()));
        Put16(zip, static_cast<uint32_t>(e.name.size()));
        Put16(zip, 0);
        zip.insert(zip.end(), e.name.begin(), e.name.end());
        zip.insert(zip.end(), payload.begin(), payload.end());

        Put32(directory, 0x02014b50);
        Put16(directory, 20);
        Put16(directory, 20);
        Put16(directory, 0);
        Put16(directory, deflate ? 8 : 0);
        Put32(directory, 0);
        Put32(directory, crc);
        Put32(directory, static_cast<uint32_t>(payload.size()));
        Put32(directory, static_cast<uint32_t>(e.data.size()));
        Put16(directory, static_cast<uint32_t>(e.name.size()));
        Put16(directory, 0);
        Put16(directory, 0);
        Put16(directory, 0);
        Put16(directory, 0);
        Put32(directory, 0);
        Put32(directory, offset);
        directory.insert(directory.end(), e.name.begin(), e.name.end());
    }
    uint32_t directoryOffset = static_cast<uint32_t>(zip.size());
    zip.insert(zip.end(), directory.begin(), directory.end());
    Put32(zip, 0x06054b50);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, static_cast<uint32_t>(entries.size()));
    Put16(zip, static_cast<uint32_t>(entries.size()));
    Put32(zip, static_cast<uint32_t>(directory.size()));
    Put32(zip, directoryOffset);
    Put16(zip, 0);
    return zip;
}

inline bool WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr) {
        return false;
    }
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

inline std::vector<uint8_t> ReadBytes(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    std::wstring error;
    SkinUI::ReadFileBytes(path, SIZE_MAX, bytes, error);
    return bytes;
}

// A fresh folder under the temporary directory, with a trailing backslash.
inline std::wstring MakeTempDir() {
    wchar_t base[MAX_PATH];
    ::GetTempPathW(MAX_PATH, base);
    static int counter = 0;
    for (;;) {
        std::wstring dir = std::wstring(base) + L"skinui-test-" + std::to_wstring(::GetCurrentProcessId()) +
                           L"-" + std::to_wstring(++counter) + L"\\";
        if (::CreateDirectoryW(dir.c_str(), nullptr)) {
            return dir;
        }
    }
}

inline std::wstring Env(const wchar_t* name) {
    wchar_t value[32768];
    DWORD length = ::GetEnvironmentVariableW(name, value, 32768);
    return length > 0 && length < 32768 ? std::wstring(value, length) : std::wstring();
}

inline bool FileExists(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The shipped skin folder (with a trailing backslash): from KIVO_SOURCE_DIR_WIN, else searched
// upwards from the working directory.
inline std::wstring SkinDir() {
    std::wstring source = Env(L"KIVO_SOURCE_DIR_WIN");
    if (!source.empty()) {
        return source + L"\\res\\skin\\";
    }
    wchar_t current[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring dir = current;
    for (int depth = 0; depth < 8; ++depth) {
        if (FileExists(dir + L"\\res\\skin\\MainWindow.xml")) {
            return dir + L"\\res\\skin\\";
        }
        size_t slash = dir.find_last_of(L"\\/");
        if (slash == std::wstring::npos) {
            break;
        }
        dir.resize(slash);
    }
    return std::wstring();
}

// Where test artefacts (screenshots) go: KIVO_ARTIFACTS_DIR, else the working directory.
inline std::wstring ArtifactPath(const std::wstring& name) {
    std::wstring dir = Env(L"KIVO_ARTIFACTS_DIR");
    if (dir.empty()) {
        return name;
    }
    if (dir[0] == L'/') {
        dir = L"Z:" + dir;  // a Unix path handed through Wine's environment
    }
    if (dir.back() != L'\\' && dir.back() != L'/') {
        dir += L'\\';
    }
    return dir + name;
}

// Resets the process-wide framework settings around a test.
class FrameworkState : public ::testing::Test {
protected:
    void SetUp() override {
        SkinUI::CPaintManagerUI::SetInstance(::GetModuleHandleW(nullptr));
        SkinUI::CPaintManagerUI::CloseResourceZip();
        SkinUI::CPaintManagerUI::SetResourcePath(std::wstring());
    }
    void TearDown() override {
        SkinUI::CPaintManagerUI::CloseResourceZip();
        SkinUI::CPaintManagerUI::SetResourcePath(std::wstring());
    }
};

}  // namespace skinui_test
