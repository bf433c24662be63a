#pragma once

// The sample client programs (tools/sample-client) as seen from unit tests:
// where the built programs are, and the record file they append to.

#include <windows.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "Utils.h"

namespace kivotest {

// A built sample program: key is its target suffix ("kivo", "external", ...),
// exe its file name ("kivo.exe", "KvExternal.exe", ...).
inline std::wstring SampleProgram(const std::wstring& key, const std::wstring& exe) {
    return kivoinstaller::Utils::PathJoin(
        {EnvPath("KIVO_BUILD_DIR_WIN"), L"tools\\sample-client\\programs", key, exe});
}

inline std::wstring SamplePackage(const std::wstring& name) {
    return kivoinstaller::Utils::PathJoin({EnvPath("KIVO_BUILD_DIR_WIN"), L"sample-packages", name});
}

// Copies the sample "kivo.exe" to path, creating its directory.
inline bool PlaceSampleProgram(const std::wstring& path) {
    kivoinstaller::Utils::CreateAllDirectories(path.substr(0, path.find_last_of(L'\\')));
    return ::CopyFileW(SampleProgram(L"kivo", L"kivo.exe").c_str(), path.c_str(), FALSE) != FALSE;
}

inline bool WaitUntil(const std::function<bool()>& condition, int ms = 30000) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (condition()) {
            return true;
        }
        ::Sleep(20);
    }
    return condition();
}

struct SampleRun {
    std::string path;
    std::string commandLine;
    DWORD processId = 0;
    bool elevated = false;
};

// A record file of its own for the programs this process starts (they inherit
// the environment variable).
class SampleRecord {
public:
    SampleRecord() : path_(MakeScratchDir(L"record") + L"\\record.txt") {
        ::SetEnvironmentVariableW(L"KIVO_SAMPLE_RECORD", path_.c_str());
    }
    ~SampleRecord() { ::SetEnvironmentVariableW(L"KIVO_SAMPLE_RECORD", nullptr); }
    SampleRecord(const SampleRecord&) = delete;
    SampleRecord& operator=(const SampleRecord&) = delete;

    std::vector<SampleRun> Runs() const {
        std::vector<SampleRun> runs;
        std::ifstream in(kivoinstaller::Utils::WideToUtf8(path_), std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            std::vector<std::string> fields;
            std::stringstream stream(line);
            for (std::string field; std::getline(stream, field, '\t');) {
                fields.push_back(field);
            }
            if (fields.size() == 4) {
                runs.push_back(
                    {fields[0], fields[1], static_cast<DWORD>(std::stoul(fields[2])), fields[3] == "1"});
            }
        }
        return runs;
    }

    // The run of the process with this id, waiting for its line to appear.
    bool WaitForRun(DWORD processId, SampleRun* run = nullptr, int ms = 30000) const {
        return WaitUntil(
            [&] {
                for (const SampleRun& r : Runs()) {
                    if (r.processId == processId) {
                        if (run) {
                            *run = r;
                        }
                        return true;
                    }
                }
                return false;
            },
            ms);
    }

private:
    std::wstring path_;
};

}  // namespace kivotest
