#pragma once

// Synchronous HTTP on libcurl's easy interface. Every request creates its own
// transfer handle, stops at the next progress tick once the caller's cancel
// event is signalled, and returns libcurl's result code: 0 when the transfer
// completed, whatever the HTTP status.

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace kivoinstaller {

// Result codes the callers tell apart (libcurl's values). Others include 2
// (no transfer handle), 7 (no connection) and 28 (connection phase longer
// than 20 seconds).
enum HttpResult : int {
    kHttpOk = 0,
    kHttpWriteError = 23,  // destination file not creatable or not writable
    kHttpCancelled = 42,   // cancel event seen at a progress tick
};

class HttpClient {
public:
    // GET whose body is thrown away.
    static int Get(const std::string& url, HANDLE cancelEvent);
    // POST of a JSON text; the body of the answer is appended to response.
    // body must stay alive until the call returns (it is not copied).
    static int PostJson(const std::string& url, const std::string& body, std::vector<char>& response,
                        HANDLE cancelEvent);
    // Response-header callback of PostJson: logs the server's trace id.
    static size_t HeaderFunc(char* buffer, size_t size, size_t count, void* user);
};

// One download of a URL into a file, run once.
class HttpDownload {
public:
    using Progress = std::function<void(long long total, long long received)>;

    HttpDownload(const std::wstring& url, const std::wstring& filePath, HANDLE cancelEvent,
                 Progress progress);

    // Creates (or truncates) filePath, then streams the body into it. The file
    // stays whatever the result; checking it is the caller's business.
    int Perform();

    std::wstring url;
    std::wstring filePath;
    HANDLE cancelEvent;
    Progress progress;
    // Sent as User-Agent when not empty.
    std::wstring userAgent;
};

}  // namespace kivoinstaller
