#include "Utils.h"

#include <objbase.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <wbemidl.h>

#include <cwchar>
#include <cwctype>
#include <ctime>
#include <mutex>
#include <vector>

#include <curl/curl.h>

#include "Logger.h"
#include "Md5.h"
#include "ScopedWin.h"

namespace kivoinstaller {

std::wstring NewGuidString() {
    GUID guid = {};
    ::CoCreateGuid(&guid);
    wchar_t text[40] = {};
    swprintf(text, 40, L"%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", static_cast<unsigned long>(guid.Data1),
             guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
             guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

std::wstring GetFileVersionOf(const std::wstring& path) {
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        return L"";
    }
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
        return L"";
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || length == 0 ||
        fixed == nullptr) {
        return L"";
    }
    return std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionMS)) +
           L"." + std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
           std::to_wstring(LOWORD(fixed->dwFileVersionLS));
}

std::wstring GetOwnFileVersion() {
    wchar_t path[2048] = {};
    ::GetModuleFileNameW(nullptr, path, 2048);
    return GetFileVersionOf(path);
}

namespace Utils {

WindowsVersion ClassifyWindowsVersion(DWORD major, DWORD minor, DWORD build) {
    if (major == 5 && minor == 1) {
        return WinXP;
    }
    if (major == 6 && minor == 0) {
        return WinVista;
    }
    if (major == 6 && minor == 1) {
        return build == 7600 ? Win7 : build == 7601 ? Win7SP1 : Unknown;
    }
    if (major == 6 && minor == 2) {
        return build == 9200 ? Win8 : Unknown;
    }
    if (major == 6 && minor == 3) {
        return build == 9600 || build == 9200 ? Win8_1 : Unknown;
    }
    if (major == 10 && minor == 0) {
        return build >= 22000 ? Win11 : build >= 10240 ? Win10 : Unknown;
    }
    return Unknown;
}

const char* WindowsVersionName(WindowsVersion version) {
    static const char* const kNames[] = {"WinXP", "WinVista", "Win7",  "Win7SP1", "Win8",
                                         "Win8.1", "Win10",   "Win11", "Unknown"};
    int index = static_cast<int>(version);
    return index >= 0 && index <= Unknown ? kNames[index] : "Unknown";
}

WindowsVersion GetWindowsVersion() {
    // RtlGetNtVersionNumbers is not subject to the compatibility shims that make
    // GetVersionEx lie to unmanifested programs.
    ScopedModule ntdll(::LoadLibraryW(L"ntdll.dll"));
    if (!ntdll) {
        return Unknown;
    }
    using GetNumbers = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    auto getNumbers =
        reinterpret_cast<GetNumbers>(reinterpret_cast<void*>(::GetProcAddress(ntdll.Get(), "RtlGetNtVersionNumbers")));
    if (!getNumbers) {
        return Unknown;
    }
    DWORD major = 0, minor = 0, build = 0;
    getNumbers(&major, &minor, &build);
    build &= 0xFFFF;
    WindowsVersion version = ClassifyWindowsVersion(major, minor, build);
    if (version == Unknown) {
        LOG_WARN(L"Unknown windows version: " + std::to_wstring(major) + L"." + std::to_wstring(minor) + L"." +
                 std::to_wstring(build));
    }
    return version;
}

std::string GetWindowsVersionName() { return WindowsVersionName(GetWindowsVersion()); }

std::wstring Utf8ToWide(const std::string& text) {
    int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) {
        return L"";
    }
    std::wstring out(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], length);
    return out;
}

std::string WideToUtf8(const std::wstring& text) {
    int length =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return "";
    }
    std::string out(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], length, nullptr,
                          nullptr);
    return out;
}

bool FileExists(const std::wstring& path) {
    if (path.empty()) {
        return false;
    }
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path) {
    if (path.empty()) {
        return false;
    }
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring FormatLocalTime(const std::wstring& pattern) {
    time_t now = time(nullptr);
    struct tm local = {};
    localtime_s(&local, &now);
    wchar_t buffer[100] = {};
    size_t written = wcsftime(buffer, 100, pattern.c_str(), &local);
    return std::wstring(buffer, written);
}

std::wstring PathJoin(std::initializer_list<std::wstring> parts) {
    std::wstring result;
    for (const std::wstring& part : parts) {
        if (!result.empty() && result.back() != L'\\' && result.back() != L'/') {
            result += L'\\';
        }
        result += part;
    }
    return result;
}

bool CreateAllDirectories(const std::wstring& dir) {
    if (dir.empty()) {
        LOG_ERROR(L"CreateAllDirectories failed, dir is empty");
        return false;
    }
    DWORD attributes = ::GetFileAttributesW(dir.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            LOG_WARN(L"CreateAllDirectories success, dir exists: " + dir);
            return true;
        }
        // A file of that name: the shell would report "already exists", but
        // there is no directory to put anything into.
        LOG_ERROR(L"CreateAllDirectories failed: " + dir + L", ret = " + std::to_wstring(ERROR_ALREADY_EXISTS));
        return false;
    }
    int ret = ::SHCreateDirectory(nullptr, dir.c_str());
    if (ret == ERROR_SUCCESS) {
        LOG_DEBUG(L"CreateAllDirectories success: " + dir);
        return true;
    }
    if (ret == ERROR_FILE_EXISTS || ret == ERROR_ALREADY_EXISTS) {
        if (DirectoryExists(dir)) {
            LOG_WARN(L"CreateAllDirectories success, dir exists: " + dir);
            return true;
        }
    }
    LOG_ERROR(L"CreateAllDirectories failed: " + dir + L", ret = " + std::to_wstring(ret));
    return false;
}

bool DeleteDirectory(const std::wstring& dir) {
    WIN32_FIND_DATAW data = {};
    ScopedFindHandle find(::FindFirstFileW((dir + L"\\*").c_str(), &data));
    if (!find) {
        return false;
    }
    do {
        if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0) {
            continue;
        }
        std::wstring child = dir + L"\\" + data.cFileName;
        bool isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        bool isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        bool removed;
        if (isDirectory && isLink) {
            // A junction or directory symlink: remove the link, never what it points to.
            removed = ::RemoveDirectoryW(child.c_str()) != FALSE;
        } else if (isDirectory) {
            removed = DeleteDirectory(child);
        } else {
            removed = ::DeleteFileW(child.c_str()) != FALSE;
        }
        if (!removed) {
            return false;
        }
    } while (::FindNextFileW(find.Get(), &data));
    find.Reset();
    return ::RemoveDirectoryW(dir.c_str()) != FALSE;
}

std::wstring GetTempDirectory() {
    // The path can be longer than MAX_PATH; the call then reports the size it needs.
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        DWORD length = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) {
            return L"";
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(length + 1);
    }
}

namespace {

// Lower case with one kind of separator, so that paths compare as the file system does.
std::wstring ComparablePath(const std::wstring& path) {
    std::wstring out = path;
    for (wchar_t& c : out) {
        c = c == L'/' ? L'\\' : static_cast<wchar_t>(towlower(c));
    }
    return out;
}

}  // namespace

bool IsPathInDirectory(const std::wstring& path, const std::wstring& dir) {
    std::wstring parent = ComparablePath(path);
    size_t cut = parent.find_last_of(L'\\');
    if (cut != std::wstring::npos) {
        parent.erase(cut);
    }
    std::wstring base = ComparablePath(dir);
    while (!base.empty() && base.back() == L'\\') {
        base.pop_back();
    }
    if (base.empty() || parent.compare(0, base.size(), base) != 0) {
        return false;
    }
    return parent.size() == base.size() || parent[base.size()] == L'\\';
}

bool IsProcessInDirectory(DWORD processId, const std::wstring& dir) {
    // The limited right and QueryFullProcessImageNameW also work for 64-bit
    // processes seen from the 32-bit installer, where the module functions fail.
    ScopedHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) {
        return false;
    }
    std::vector<wchar_t> buffer(2048);
    DWORD length = static_cast<DWORD>(buffer.size());
    if (!::QueryFullProcessImageNameW(process.Get(), 0, buffer.data(), &length)) {
        return false;
    }
    return IsPathInDirectory(std::wstring(buffer.data(), length), dir);
}

void GetProcessesInDirectory(const std::wstring& dir, std::vector<DWORD>& ids) {
    ScopedFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (IsProcessInDirectory(entry.th32ProcessID, dir)) {
            LOG_INFO(std::wstring(L"Process in directory: ") + entry.szExeFile + L", ProcessId: " +
                     std::to_wstring(entry.th32ProcessID));
            ids.push_back(entry.th32ProcessID);
        }
    }
}

void KillPorcessesById(const std::vector<DWORD>& ids) {
    DWORD self = ::GetCurrentProcessId();
    for (DWORD id : ids) {
        if (id == self) {
            LOG_WARN(L"skip kill self process");
            continue;
        }
        ScopedHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, id));
        if (!process) {
            LOG_WARN(L"open process failed: " + std::to_wstring(id));
            continue;
        }
        BOOL ret = ::TerminateProcess(process.Get(), 0xFFFFFFFF);
        LOG_INFO(L"terminate process: " + std::to_wstring(id) + L" , ret = " + std::to_wstring(ret));
    }
}

bool FindProcessIdByName(const std::wstring& name, DWORD* processId, DWORD sessionId) {
    ScopedFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return false;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, name.c_str()) != 0) {
            continue;
        }
        DWORD session = 0;
        if (sessionId != kAnySession &&
            (!::ProcessIdToSessionId(entry.th32ProcessID, &session) || session != sessionId)) {
            continue;
        }
        *processId = entry.th32ProcessID;
        return true;
    }
    return false;
}

bool DuplicateProcessToken(DWORD processId, ScopedHandle* token) {
    if (processId == 0 || token == nullptr) {
        return false;
    }
    ScopedHandle process(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId));
    if (!process) {
        return false;
    }
    ScopedHandle processToken;
    if (!::OpenProcessToken(process.Get(), TOKEN_ALL_ACCESS, processToken.Receive())) {
        return false;
    }
    return ::DuplicateTokenEx(processToken.Get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                              TokenPrimary, token->Receive()) != FALSE;
}

bool IsWindows64Bit() {
#ifdef _WIN64
    return true;
#else
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
#endif
}

HRESULT CreateShortcut(const std::wstring& linkPath, const ShortcutInfo& info) {
    ScopedCoInitialize com;
    if (!com.Succeeded()) {
        LOG_ERROR(L"CoInitialize failed: " + std::to_wstring(static_cast<long>(com.Result())));
        return com.Result();
    }
    ComPtr<IShellLinkW> link;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    link.ReceiveVoid());
    if (FAILED(hr)) {
        return hr;
    }
    ComPtr<IPersistFile> file;
    hr = link->QueryInterface(IID_IPersistFile, file.ReceiveVoid());
    if (FAILED(hr)) {
        return hr;
    }
    if (!info.target.empty() && FAILED(hr = link->SetPath(info.target.c_str()))) {
        return hr;
    }
    if (!info.icon.empty() && FAILED(hr = link->SetIconLocation(info.icon.c_str(), 0))) {
        return hr;
    }
    if (!info.arguments.empty() && FAILED(hr = link->SetArguments(info.arguments.c_str()))) {
        return hr;
    }
    if (!info.workingDirectory.empty() &&
        FAILED(hr = link->SetWorkingDirectory(info.workingDirectory.c_str()))) {
        return hr;
    }
    if (!info.description.empty() && FAILED(hr = link->SetDescription(info.description.c_str()))) {
        return hr;
    }
    if (info.hotKey != 0 && FAILED(hr = link->SetHotkey(info.hotKey))) {
        return hr;
    }
    if (FAILED(hr = link->SetShowCmd(info.showCommand))) {
        return hr;
    }
    hr = file->Save(linkPath.c_str(), TRUE);
    return FAILED(hr) ? hr : S_OK;
}

namespace {

// Lets a 32-bit process on 64-bit Windows name the native system directory,
// for the calling thread and the lifetime of the object.
class ScopedFsRedirectionOff {
public:
    ScopedFsRedirectionOff() noexcept : disabled_(::Wow64DisableWow64FsRedirection(&old_) != FALSE) {}
    ~ScopedFsRedirectionOff() {
        if (disabled_) {
            ::Wow64RevertWow64FsRedirection(old_);
        }
    }
    ScopedFsRedirectionOff(const ScopedFsRedirectionOff&) = delete;
    ScopedFsRedirectionOff& operator=(const ScopedFsRedirectionOff&) = delete;

private:
    PVOID old_ = nullptr;
    bool disabled_;
};

}  // namespace

void RefreshShortcutIcon() {
    ScopedFsRedirectionOff redirection;
    const std::wstring program = L"C:\\Windows\\System32\\ie4uinit.exe";
    if (!FileExists(program)) {
        LOG_ERROR(L"ie4uinit.exe not found");
        return;
    }
    const wchar_t* argument = GetWindowsVersion() < Win10 ? L"-ClearIconCache" : L"-show";
    ProcessLauncher launcher;
    if (launcher.RunAsExplorerToken(program, argument)) {
        return;
    }
    LOG_ERROR(L"Failed to run ie4uinit.exe AsExplorerToken");
    if (!launcher.Run(program, argument)) {
        LOG_ERROR(L"Failed to run ie4uinit.exe");
    }
}

}  // namespace Utils

ProcessLauncher::ProcessLauncher() : startupInfo_() {
    startupInfo_.cb = sizeof(startupInfo_);
}

ProcessLauncher::~ProcessLauncher() = default;

std::wstring ProcessLauncher::CommandLine(const std::wstring& path, const std::wstring& arguments) {
    return L"\"" + path + L"\" " + arguments;
}

void ProcessLauncher::Adopt(const PROCESS_INFORMATION& info) {
    process_.Reset(info.hProcess);
    thread_.Reset(info.hThread);
    processId_ = info.dwProcessId;
}

bool ProcessLauncher::Run(const std::wstring& path, const std::wstring& arguments) {
    std::wstring commandLine = CommandLine(path, arguments);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startupInfo_, &info)) {
        return false;
    }
    Adopt(info);
    return true;
}

bool ProcessLauncher::RunAsExplorerToken(const std::wstring& path, const std::wstring& arguments) {
    // Only the shell of this session: a program must never appear on the
    // desktop of another logged-on user.
    DWORD session = 0;
    if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) {
        return false;
    }
    DWORD explorer = 0;
    if (!Utils::FindProcessIdByName(L"explorer.exe", &explorer, session)) {
        return false;
    }
    ScopedHandle token;
    if (!Utils::DuplicateProcessToken(explorer, &token)) {
        return false;
    }
    std::wstring commandLine = CommandLine(path, arguments);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessWithTokenW(token.Get(), 0, nullptr, &commandLine[0], 0, nullptr, nullptr,
                                   &startupInfo_, &info)) {
        return false;
    }
    Adopt(info);
    return true;
}

}  // namespace kivoinstaller

// ---- Network text, digests and machine identity ----

namespace kivoinstaller {
namespace Utils {

std::string UrlEscape(const std::string& text) {
    ScopedCurl curl(curl_easy_init());
    if (!curl) {
        return text;
    }
    ScopedCurlText escaped(curl_easy_escape(curl.Get(), text.data(), static_cast<int>(text.size())));
    if (!escaped) {
        return text;
    }
    return escaped.Get();
}

bool GetFileMd5(const std::wstring& path, unsigned char out[16]) {
    Md5 md5;
    ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    // A read error ends the input like the end of the file; the digest then
    // differs from the expected one, which is where callers notice.
    char block[4096] = {};
    DWORD received = 0;
    while (::ReadFile(file.Get(), block, sizeof(block), &received, nullptr) && received != 0) {
        md5.Update(block, received);
    }
    md5.Final(out);
    return true;
}

std::wstring GetFileMd5String(const std::wstring& path) {
    unsigned char digest[Md5::kDigestSize];
    if (!GetFileMd5(path, digest)) {
        return L"";
    }
    return Utf8ToWide(Md5::ToHex(digest));
}

bool EqualsIgnoreCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) {
        return false;
    }
    auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool FileMd5Matches(const std::wstring& path, const std::wstring& expected) {
    std::wstring actual = GetFileMd5String(path);
    return !actual.empty() && EqualsIgnoreCase(actual, expected);
}

namespace {

std::mutex g_machineIdLock;
std::string g_machineId;

}  // namespace

std::string MachineIdOf(const std::wstring& fingerprint) {
    std::string bytes = WideToUtf8(fingerprint);
    return Md5::HexOf(bytes.data(), bytes.size());
}

std::string GetMachineIdStr() {
    {
        std::lock_guard<std::mutex> lock(g_machineIdLock);
        if (!g_machineId.empty()) {
            return g_machineId;
        }
    }
    HRESULT hr = ::CoInitialize(nullptr);
    if (FAILED(hr)) {
        LOG_ERROR(L"Failed to initialize COM: " + std::to_wstring(static_cast<long>(hr)));
        return "";
    }
    std::wstring fingerprint =
        QueryWmiProperty(L"MacAddress", L"Win32_NetworkAdapterConfiguration where IPEnabled=1");
    fingerprint += QueryWmiProperty(L"processorid", L"win32_processor");
    fingerprint += QueryWmiProperty(L"Signature", L"Win32_DiskDrive");
    fingerprint += QueryWmiProperty(L"SerialNumber", L"Win32_BaseBoard");
    fingerprint += GetCurrentAccountName();
    std::string id = MachineIdOf(fingerprint);

    std::lock_guard<std::mutex> lock(g_machineIdLock);
    g_machineId = id;
    ::CoUninitialize();
    return g_machineId;
}

std::wstring QueryWmiProperty(const std::wstring& property, const std::wstring& classAndCondition) {
    ComPtr<IWbemLocator> locator;
    if (FAILED(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                  locator.ReceiveVoid()))) {
        return L"";
    }
    ComPtr<IWbemServices> services;
    ScopedBstr ns(::SysAllocString(L"ROOT\\CIMV2"));
    if (FAILED(locator->ConnectServer(ns.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                      services.Receive()))) {
        return L"";
    }
    // The process never calls CoInitializeSecurity, so the proxy needs its own settings.
    if (FAILED(::CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                   RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                   EOAC_NONE))) {
        return L"";
    }
    ScopedBstr language(::SysAllocString(L"WQL"));
    ScopedBstr query(::SysAllocString((L"select " + property + L" from " + classAndCondition).c_str()));
    ComPtr<IEnumWbemClassObject> enumerator;
    if (FAILED(services->ExecQuery(language.Get(), query.Get(),
                                   WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                   enumerator.Receive()))) {
        return L"";
    }
    std::wstring result;
    while (result.empty()) {
        ComPtr<IWbemClassObject> object;
        ULONG returned = 0;
        if (FAILED(enumerator->Next(WBEM_INFINITE, 1, object.Receive(), &returned)) || returned == 0) {
            break;
        }
        ScopedVariant value;
        if (FAILED(object->Get(property.c_str(), 0, value.Get(), nullptr, nullptr))) {
            continue;
        }
        if (V_VT(value.Get()) == VT_I4) {
            wchar_t number[260] = {};
            swprintf(number, 260, L"%u", static_cast<unsigned>(V_I4(value.Get())));
            result = number;
        } else if (V_VT(value.Get()) == VT_BSTR && V_BSTR(value.Get()) != nullptr) {
            result = V_BSTR(value.Get());
        }
    }
    return result;
}

std::wstring GetCurrentAccountName() {
    ScopedHandle token;
    if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.Receive())) {
        if (::GetLastError() != ERROR_NO_TOKEN ||
            !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
            return L"";
        }
    }
    wchar_t name[260] = {};
    wchar_t domain[260] = {};
    DWORD size = 0;
    if (!::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size) &&
        ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        std::vector<BYTE> buffer(size);
        if (::GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) {
            DWORD nameSize = 260;
            DWORD domainSize = 260;
            SID_NAME_USE use;
            if (!::LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, name,
                                     &nameSize, domain, &domainSize, &use)) {
                name[0] = L'\0';
                domain[0] = L'\0';
            }
        }
    }
    wchar_t account[1024] = {};
    swprintf(account, 1024, L"%ls\\%ls", domain, name);
    return account;
}

}  // namespace Utils
}  // namespace kivoinstaller
