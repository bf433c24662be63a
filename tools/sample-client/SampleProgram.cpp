// Stand-in for every program of the client package. It only leaves a trace
// that tests can read: one line appended to the record file with its own path,
// its full command line, its process id and whether its token is elevated.
// Then it may linger, so a test can see it running and being stopped.
//
// Record file: %KIVO_SAMPLE_RECORD%, else <common application data>\KivoSample\record.txt.
// Lingering: "/linger=<ms>" in the command line, or %KIVO_SAMPLE_LINGER% as
// "<exe name>:<ms>" pairs separated by commas (for programs the installer starts).

#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <cwctype>
#include <string>

#include "ScopedWin.h"

using kivoinstaller::ScopedFileHandle;
using kivoinstaller::ScopedHandle;

namespace {

std::wstring Environment(const wchar_t* name) {
    wchar_t value[4096] = {};
    DWORD length = ::GetEnvironmentVariableW(name, value, 4096);
    return length > 0 && length < 4096 ? std::wstring(value, length) : L"";
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(towlower(c));
    }
    return text;
}

std::wstring RecordPath() {
    std::wstring path = Environment(L"KIVO_SAMPLE_RECORD");
    if (!path.empty()) {
        return path;
    }
    wchar_t common[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
    std::wstring dir = std::wstring(common) + L"\\KivoSample";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    return dir + L"\\record.txt";
}

bool TokenIsElevated() {
    ScopedHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
        return false;
    }
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    return ::GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &size) &&
           elevation.TokenIsElevated != 0;
}

std::string Utf8(const std::wstring& text) {
    int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
    std::string out(length > 0 ? length : 0, '\0');
    if (length > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], length,
                              nullptr, nullptr);
    }
    return out;
}

// One WriteFile on a handle opened for appending only: lines of programs
// running at the same time never interleave.
void AppendRecord(const std::wstring& line) {
    ScopedFileHandle file(::CreateFileW(RecordPath().c_str(), FILE_APPEND_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return;
    }
    std::string bytes = Utf8(line) + "\r\n";
    DWORD written = 0;
    ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

DWORD LingerMs(const std::wstring& commandLine, const std::wstring& exeName) {
    const std::wstring option = L"/linger=";
    size_t at = Lower(commandLine).find(option);
    if (at != std::wstring::npos) {
        return static_cast<DWORD>(wcstoul(commandLine.c_str() + at + option.size(), nullptr, 10));
    }
    std::wstring lingerList = Lower(Environment(L"KIVO_SAMPLE_LINGER"));
    std::wstring key = Lower(exeName) + L":";
    for (size_t start = 0; start < lingerList.size();) {
        size_t end = lingerList.find(L',', start);
        std::wstring item = lingerList.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (item.compare(0, key.size(), key) == 0) {
            return static_cast<DWORD>(wcstoul(item.c_str() + key.size(), nullptr, 10));
        }
        if (end == std::wstring::npos) {
            break;
        }
        start = end + 1;
    }
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    wchar_t path[4096] = {};
    ::GetModuleFileNameW(nullptr, path, 4096);
    std::wstring self = path;
    std::wstring exeName = self.substr(self.find_last_of(L"\\/") + 1);
    std::wstring commandLine = ::GetCommandLineW();
    AppendRecord(self + L"\t" + commandLine + L"\t" + std::to_wstring(::GetCurrentProcessId()) + L"\t" +
                 (TokenIsElevated() ? L"1" : L"0"));
    DWORD linger = LingerMs(commandLine, exeName);
    if (linger > 0) {
        ::Sleep(linger);
    }
    return 0;
}
