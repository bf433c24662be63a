#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace kivoinstaller {

class SevenZipHelper {
public:
    // Progress receives the total and the written byte counts after each file.
    using ProgressFunc = std::function<void(uint64_t total, uint64_t done)>;

    // Unpacks every entry of a 7z archive below outputDir. False at the first
    // failure, at an entry name that could leave outputDir, or when cancelEvent
    // was seen; files written before that stay in place.
    static bool ExtractArchive(const std::wstring& archivePath, const std::wstring& outputDir,
                               HANDLE cancelEvent, const ProgressFunc& progress);

    // Entry name (backslashes) that stays inside the output directory: relative,
    // no drive or stream colon, no dot-only component, no device name.
    static bool IsSafeEntryName(const std::wstring& name);
};

}  // namespace kivoinstaller
