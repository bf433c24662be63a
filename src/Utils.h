#pragma once

// Stateless system helpers shared by every stage of the installer.

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "ScopedWin.h"

namespace kivoinstaller {

enum WindowsVersion : int {
    WinXP = 0,
    WinVista = 1,
    Win7 = 2,
    Win7SP1 = 3,
    Win8 = 4,
    Win8_1 = 5,
    Win10 = 6,
    Win11 = 7,
    Unknown = 8,
};

// New GUID as 36 lower-case characters in the 8-4-4-4-12 form, no braces.
std::wstring NewGuidString();
// File version of the running executable ("1.0.0.0"), empty without a version resource.
std::wstring GetOwnFileVersion();
// File version of any module file, empty without a version resource.
std::wstring GetFileVersionOf(const std::wstring& path);

// One shell shortcut.
struct ShortcutInfo {
    std::wstring target;
    std::wstring icon;
    std::wstring arguments;
    std::wstring workingDirectory;
    std::wstring description;
    WORD hotKey = 0;
    int showCommand = SW_SHOWNORMAL;
};

// Starts a program plainly or with the desktop user's token; closes the
// child's handles when destroyed. The command line is the quoted program path,
// a blank and the arguments, so a path with spaces never names another program.
class ProcessLauncher {
public:
    ProcessLauncher();
    ~ProcessLauncher();
    ProcessLauncher(const ProcessLauncher&) = delete;
    ProcessLauncher& operator=(const ProcessLauncher&) = delete;

    bool Run(const std::wstring& path, const std::wstring& arguments);
    // With a token of the "explorer.exe" in this process's session; false when
    // that session has no desktop shell or its token cannot be used.
    bool RunAsExplorerToken(const std::wstring& path, const std::wstring& arguments);

    // Null and 0 until a start succeeded.
    HANDLE ProcessHandle() const { return process_.Get(); }
    DWORD ProcessId() const { return processId_; }

    static std::wstring CommandLine(const std::wstring& path, const std::wstring& arguments);

private:
    void Adopt(const PROCESS_INFORMATION& info);

    STARTUPINFOW startupInfo_;
    ScopedHandle process_;
    ScopedHandle thread_;
    DWORD processId_ = 0;
};

namespace Utils {

WindowsVersion ClassifyWindowsVersion(DWORD major, DWORD minor, DWORD build);
const char* WindowsVersionName(WindowsVersion version);
WindowsVersion GetWindowsVersion();
std::string GetWindowsVersionName();

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);

std::wstring FormatLocalTime(const std::wstring& pattern);
std::wstring PathJoin(std::initializer_list<std::wstring> parts);

bool CreateAllDirectories(const std::wstring& dir);
// Removes a directory tree. Links inside the tree (junctions, symbolic links)
// are removed themselves; their targets are never entered.
bool DeleteDirectory(const std::wstring& dir);

// The user's temporary directory as GetTempPathW gives it (ending in a
// backslash), or empty when it cannot be read.
std::wstring GetTempDirectory();

// True when the directory part of path is dir or lies below it, compared
// without case on whole components; a trailing separator of dir is ignored and
// an empty dir contains nothing.
bool IsPathInDirectory(const std::wstring& path, const std::wstring& dir);
// The executable of the process lies in dir or below it (IsPathInDirectory).
bool IsProcessInDirectory(DWORD processId, const std::wstring& dir);
// Processes whose executable lies in dir or below it are appended to ids.
void GetProcessesInDirectory(const std::wstring& dir, std::vector<DWORD>& ids);
// Terminates each process, never the calling one; nothing waits for the end.
void KillPorcessesById(const std::vector<DWORD>& ids);

const DWORD kAnySession = 0xFFFFFFFF;
// First process in the system snapshot whose executable file name equals name
// without case, optionally only in one session.
bool FindProcessIdByName(const std::wstring& name, DWORD* processId, DWORD sessionId = kAnySession);
// A new primary token duplicated from the process's token.
bool DuplicateProcessToken(DWORD processId, ScopedHandle* token);

// The system is 64-bit Windows (a 32-bit build asks whether it runs under WOW64).
bool IsWindows64Bit();

// Writes one shell link; S_OK or the failing call's HRESULT.
HRESULT CreateShortcut(const std::wstring& linkPath, const ShortcutInfo& info);
// Asks the shell (ie4uinit.exe) to refresh its icon cache.
void RefreshShortcutIcon();

}  // namespace Utils
}  // namespace kivoinstaller

// ---- Network text, digests and machine identity ----

namespace kivoinstaller {
namespace Utils {

// Percent-escapes every byte but the RFC 3986 unreserved characters, with
// upper-case hexadecimal digits.
std::string UrlEscape(const std::string& text);

// MD5 of a file's bytes; false when the file cannot be opened for reading.
bool GetFileMd5(const std::wstring& path, unsigned char out[16]);
// The same as 32 lower-case hexadecimal digits, empty when the file cannot be opened.
std::wstring GetFileMd5String(const std::wstring& path);
// Compares two texts ignoring the case of ASCII letters (hexadecimal digests).
bool EqualsIgnoreCase(const std::wstring& a, const std::wstring& b);
// True when the file can be read and its MD5 equals expected (any letter case).
bool FileMd5Matches(const std::wstring& path, const std::wstring& expected);

// Stable id of this computer and account: the MD5 of four WMI values and the
// account name, as 32 lower-case hexadecimal digits. Computed once per process;
// empty (and not cached) when COM cannot be initialised on the calling thread.
std::string GetMachineIdStr();
// The machine id of one fingerprint text (its UTF-8 bytes are digested).
std::string MachineIdOf(const std::wstring& fingerprint);
// First non-empty value of property among the instances "select property from
// classAndCondition" yields; empty when there is none or WMI fails. COM must be
// initialised on the calling thread.
std::wstring QueryWmiProperty(const std::wstring& property, const std::wstring& classAndCondition);
// "DOMAIN\user" of the current thread's (or else the process's) token.
std::wstring GetCurrentAccountName();

}  // namespace Utils
}  // namespace kivoinstaller
