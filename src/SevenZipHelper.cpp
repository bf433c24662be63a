#include "SevenZipHelper.h"

#include <7z.h>
#include <7zAlloc.h>
#include <7zFile.h>

#include <cwctype>
#include <vector>

#include "Logger.h"
#include "ScopedWin.h"
#include "Utils.h"

namespace kivoinstaller {

namespace {

const size_t kLookBufferSize = 1 << 18;

const ISzAlloc kAllocMain = {SzAlloc, SzFree};
const ISzAlloc kAllocTemp = {SzAllocTemp, SzFreeTemp};

// The SDK's own objects, released through the same template as every handle.
struct SzFileTraits {
    using Type = CSzFile*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type file) noexcept { File_Close(file); }
};

struct SzMemoryTraits {
    using Type = Byte*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type memory) noexcept { ISzAlloc_Free(&kAllocMain, memory); }
};

struct SzArchiveTraits {
    using Type = CSzArEx*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type db) noexcept { SzArEx_Free(db, &kAllocMain); }
};

// The solid-block cache is reallocated by SzArEx_Extract through a pointer to
// the pointer, so the owner holds that pointer's address.
struct SzBlockCacheTraits {
    using Type = Byte**;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type cache) noexcept {
        ISzAlloc_Free(&kAllocMain, *cache);
        *cache = nullptr;
    }
};

bool IsCancelled(HANDLE cancelEvent) {
    return cancelEvent != nullptr && ::WaitForSingleObject(cancelEvent, 0) == WAIT_OBJECT_0;
}

std::wstring EntryName(const CSzArEx& db, UInt32 index) {
    size_t length = SzArEx_GetFileNameUtf16(&db, index, nullptr);
    std::vector<UInt16> buffer(length + 1, 0);
    SzArEx_GetFileNameUtf16(&db, index, buffer.data());
    std::wstring name(reinterpret_cast<const wchar_t*>(buffer.data()));
    for (wchar_t& c : name) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return name;
}

bool IsDotsAndSpaces(const std::wstring& component) {
    return component.find_first_not_of(L". ") == std::wstring::npos;
}

// "nul.txt" opens the NUL device in any directory on Windows before 11.
bool IsDeviceName(const std::wstring& component) {
    std::wstring base = component.substr(0, component.find(L'.'));
    while (!base.empty() && base.back() == L' ') {
        base.pop_back();
    }
    for (wchar_t& c : base) {
        c = static_cast<wchar_t>(towupper(c));
    }
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices) {
        if (base == device) {
            return true;
        }
    }
    return base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
           base[3] >= L'0' && base[3] <= L'9';
}

}  // namespace

bool SevenZipHelper::IsSafeEntryName(const std::wstring& name) {
    if (name.empty() || name[0] == L'\\' || name.find(L':') != std::wstring::npos) {
        return false;
    }
    size_t start = 0;
    for (;;) {
        size_t end = name.find(L'\\', start);
        std::wstring component =
            name.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!component.empty() && (IsDotsAndSpaces(component) || IsDeviceName(component))) {
            return false;
        }
        if (end == std::wstring::npos) {
            return true;
        }
        start = end + 1;
    }
}

bool SevenZipHelper::ExtractArchive(const std::wstring& archivePath, const std::wstring& outputDir,
                                    HANDLE cancelEvent, const ProgressFunc& progress) {
    DWORD outputAttributes = ::GetFileAttributesW(outputDir.c_str());
    if (outputAttributes == INVALID_FILE_ATTRIBUTES || !(outputAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (!Utils::CreateAllDirectories(outputDir)) {
            LOG_ERROR(L"Create directory failed: " + outputDir);
            return false;
        }
    }

    CFileInStream archiveStream;
    FileInStream_CreateVTable(&archiveStream);
    File_Construct(&archiveStream.file);
    archiveStream.wres = 0;
    if (InFile_OpenW(&archiveStream.file, archivePath.c_str()) != 0) {
        LOG_ERROR(L"Open archive file failed: " + archivePath);
        return false;
    }
    ScopedResource<SzFileTraits> archiveFile(&archiveStream.file);

    CLookToRead2 lookStream;
    LookToRead2_CreateVTable(&lookStream, False);
    ScopedResource<SzMemoryTraits> lookBuffer(
        static_cast<Byte*>(ISzAlloc_Alloc(&kAllocMain, kLookBufferSize)));
    if (!lookBuffer) {
        LOG_ERROR(L"Alloc memory failed");
        return false;
    }
    lookStream.buf = lookBuffer.Get();
    lookStream.bufSize = kLookBufferSize;
    lookStream.realStream = &archiveStream.vt;
    LookToRead2_INIT(&lookStream);

    CSzArEx db;
    SzArEx_Init(&db);
    ScopedResource<SzArchiveTraits> database(&db);
    if (SzArEx_Open(&db, &lookStream.vt, &kAllocMain, &kAllocTemp) != SZ_OK) {
        LOG_ERROR(L"Open archive failed");
        return false;
    }

    // Every name is checked before anything is written, so a hostile archive
    // leaves no file behind, inside the output directory or outside it.
    uint64_t total = 0;
    for (UInt32 i = 0; i < db.NumFiles; ++i) {
        if (IsCancelled(cancelEvent)) {
            LOG_INFO(L"Exit event triggered");
            return false;
        }
        std::wstring name = EntryName(db, i);
        if (!IsSafeEntryName(name)) {
            LOG_ERROR(L"Unsafe entry name: " + name);
            return false;
        }
        total += SzArEx_GetFileSize(&db, i);
        if (SzArEx_IsDir(&db, i)) {
            std::wstring path = Utils::PathJoin({outputDir, name});
            if (!Utils::CreateAllDirectories(path)) {
                LOG_WARN(L"Create directory failed: " + path);
                return false;
            }
        }
    }

    UInt32 blockIndex = 0xFFFFFFFF;
    Byte* blockBuffer = nullptr;
    size_t blockBufferSize = 0;
    ScopedResource<SzBlockCacheTraits> blockCache(&blockBuffer);
    uint64_t done = 0;
    for (UInt32 i = 0; i < db.NumFiles; ++i) {
        if (IsCancelled(cancelEvent)) {
            LOG_INFO(L"Exit event triggered");
            return false;
        }
        if (SzArEx_IsDir(&db, i)) {
            continue;
        }
        std::wstring name = EntryName(db, i);
        size_t offset = 0;
        size_t size = 0;
        if (SzArEx_Extract(&db, &lookStream.vt, i, &blockIndex, &blockBuffer, &blockBufferSize, &offset,
                           &size, &kAllocMain, &kAllocTemp) != SZ_OK) {
            LOG_ERROR(L"Extract file failed:" + name);
            return false;
        }
        // Decoding a solid block can take long; do not write after a cancel.
        if (IsCancelled(cancelEvent)) {
            LOG_INFO(L"Exit event triggered");
            return false;
        }

        std::wstring path = Utils::PathJoin({outputDir, name});
        CSzFile outFile;
        File_Construct(&outFile);
        WRes wres = OutFile_OpenW(&outFile, path.c_str());
        if (wres != 0) {
            LOG_ERROR(L"Open output file failed: " + path + L", wres: " + std::to_wstring(wres));
            return false;
        }
        ScopedResource<SzFileTraits> output(&outFile);
        size_t written = size;
        wres = File_Write(&outFile, blockBuffer + offset, &written);
        if (wres != 0 || written != size) {
            LOG_ERROR(L"Write output file failed: " + path + L"wres=" + std::to_wstring(wres));
            return false;
        }
        done += written;
        wres = File_Close(output.Release());
        if (wres != 0) {
            LOG_ERROR(L"Close output file failed: " + path + L"wres=" + std::to_wstring(wres));
            return false;
        }

        if (SzBitWithVals_Check(&db.Attribs, i)) {
            UInt32 attributes = db.Attribs.Vals[i];
            // Archivers on POSIX systems keep the file mode in the upper half.
            if (attributes & 0xF0000000) {
                attributes &= 0x7FFF;
            }
            ::SetFileAttributesW(path.c_str(), attributes);
        }
        if (progress) {
            progress(total, done);
        }
    }
    return true;
}

}  // namespace kivoinstaller
