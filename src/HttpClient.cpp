#include "HttpClient.h"

#include <type_traits>
#include <utility>

#include <curl/curl.h>

#include "Logger.h"
#include "ScopedWin.h"
#include "Utils.h"

static_assert(std::is_same<CURL, void>::value, "ScopedCurl holds CURL* as void*");

namespace kivoinstaller {

void CurlEasyTraits::Close(Type h) noexcept {
    curl_easy_cleanup(h);
}
void CurlListTraits::Close(Type h) noexcept {
    curl_slist_free_all(h);
}
void CurlTextTraits::Close(Type h) noexcept {
    curl_free(h);
}

namespace {

// Only the connection phase is limited: a slow but moving transfer may take as
// long as it needs, and the cancel event ends any transfer.
const long kConnectTimeoutSeconds = 20;
// Receive buffer of a download. libcurl's 16 KiB default costs one socket
// wait and read per 16 KiB; packages are hundreds of megabytes, and under Wine
// that alone cut the throughput of a loopback download to a tenth.
const long kDownloadBufferBytes = 2 * 1024 * 1024;

size_t AppendToBuffer(char* data, size_t size, size_t count, void* user) {
    size_t bytes = size * count;
    if (user) {
        auto* buffer = static_cast<std::vector<char>*>(user);
        buffer->insert(buffer->end(), data, data + bytes);
    }
    return bytes;
}

size_t WriteToFile(char* data, size_t size, size_t count, void* user) {
    size_t bytes = size * count;
    DWORD written = 0;
    if (!::WriteFile(static_cast<HANDLE>(user), data, static_cast<DWORD>(bytes), &written, nullptr)) {
        return 0;  // libcurl stops with CURLE_WRITE_ERROR
    }
    return bytes;
}

int CancelTest(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    HANDLE cancelEvent = static_cast<HANDLE>(user);
    return cancelEvent && ::WaitForSingleObject(cancelEvent, 0) == WAIT_OBJECT_0 ? 1 : 0;
}

int DownloadTick(void* user, curl_off_t total, curl_off_t received, curl_off_t, curl_off_t) {
    auto* download = static_cast<HttpDownload*>(user);
    // A null or closed event fails the wait: better to stop than to run on unstoppable.
    if (::WaitForSingleObject(download->cancelEvent, 0) != WAIT_TIMEOUT) {
        return 1;
    }
    if (download->progress) {
        download->progress(static_cast<long long>(total), static_cast<long long>(received));
    }
    return 0;
}

// Options every request shape sets in the same way.
void SetCommonOptions(CURL* curl) {
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
}

}  // namespace

int HttpClient::Get(const std::string& url, HANDLE cancelEvent) {
    ScopedCurl curl(curl_easy_init());
    if (!curl) {
        return CURLE_FAILED_INIT;
    }
    curl_easy_setopt(curl.Get(), CURLOPT_URL, url.c_str());
    SetCommonOptions(curl.Get());
    curl_easy_setopt(curl.Get(), CURLOPT_WRITEFUNCTION, AppendToBuffer);
    curl_easy_setopt(curl.Get(), CURLOPT_WRITEDATA, static_cast<void*>(nullptr));
    curl_easy_setopt(curl.Get(), CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl.Get(), CURLOPT_XFERINFOFUNCTION, CancelTest);
    curl_easy_setopt(curl.Get(), CURLOPT_XFERINFODATA, static_cast<void*>(cancelEvent));
    return curl_easy_perform(curl.Get());
}

int HttpClient::PostJson(const std::string& url, const std::string& body, std::vector<char>& response,
                         HANDLE cancelEvent) {
    ScopedCurl curl(curl_easy_init());
    if (!curl) {
        return CURLE_FAILED_INIT;
    }
    ScopedCurlList headers(curl_slist_append(nullptr, "Content-Type: application/json"));
    curl_easy_setopt(curl.Get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.Get(), CURLOPT_HTTPHEADER, headers.Get());
    SetCommonOptions(curl.Get());
    curl_easy_setopt(curl.Get(), CURLOPT_POST, 1L);
    curl_easy_setopt(curl.Get(), CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl.Get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(curl.Get(), CURLOPT_WRITEFUNCTION, AppendToBuffer);
    curl_easy_setopt(curl.Get(), CURLOPT_WRITEDATA, static_cast<void*>(&response));
    curl_easy_setopt(curl.Get(), CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl.Get(), CURLOPT_XFERINFOFUNCTION, CancelTest);
    curl_easy_setopt(curl.Get(), CURLOPT_XFERINFODATA, static_cast<void*>(cancelEvent));
    curl_easy_setopt(curl.Get(), CURLOPT_HEADERFUNCTION, HttpClient::HeaderFunc);
    int result = curl_easy_perform(curl.Get());
    // The header list must outlive the transfer handle's last use of it.
    curl.Reset();
    return result;
}

size_t HttpClient::HeaderFunc(char* buffer, size_t size, size_t count, void* user) {
    size_t bytes = size * count;
    std::string line(buffer, bytes);
    if (line.find("X-Kivo-Trace-Id:") != std::string::npos) {
        LOG_INFO(L"Trace-Id: " + Utils::Utf8ToWide(line));
    }
    return bytes;
}

HttpDownload::HttpDownload(const std::wstring& url, const std::wstring& filePath, HANDLE cancelEvent,
                           Progress progress)
    : url(url), filePath(filePath), cancelEvent(cancelEvent), progress(std::move(progress)) {}

int HttpDownload::Perform() {
    ScopedCurl curl(curl_easy_init());
    if (!curl) {
        return CURLE_FAILED_INIT;
    }
    std::string narrowUrl = Utils::WideToUtf8(url);
    std::string agent = Utils::WideToUtf8(userAgent);
    curl_easy_setopt(curl.Get(), CURLOPT_URL, narrowUrl.c_str());
    if (!agent.empty()) {
        curl_easy_setopt(curl.Get(), CURLOPT_USERAGENT, agent.c_str());
    }
    curl_easy_setopt(curl.Get(), CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl.Get(), CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl.Get(), CURLOPT_XFERINFOFUNCTION, DownloadTick);
    curl_easy_setopt(curl.Get(), CURLOPT_XFERINFODATA, static_cast<void*>(this));
    curl_easy_setopt(curl.Get(), CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl.Get(), CURLOPT_BUFFERSIZE, kDownloadBufferBytes);

    ScopedFileHandle file(::CreateFileW(filePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return CURLE_WRITE_ERROR;
    }
    curl_easy_setopt(curl.Get(), CURLOPT_WRITEFUNCTION, WriteToFile);
    curl_easy_setopt(curl.Get(), CURLOPT_WRITEDATA, static_cast<void*>(file.Get()));
    int result = curl_easy_perform(curl.Get());
    // Transfer handle first, then the file it wrote to.
    curl.Reset();
    return result;
}

}  // namespace kivoinstaller
