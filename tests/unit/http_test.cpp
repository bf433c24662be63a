#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <json/json.h>

#include "HttpClient.h"
#include "PackageService.h"
#include "ScopedWin.h"
#include "TestSupport.h"
#include "Utils.h"

using namespace kivoinstaller;

namespace {

// Nothing listens on port 1 of the loopback interface.
const char kUnreachable[] = "http://127.0.0.1:1/";

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(Utils::WideToUtf8(path), std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

class HttpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { service_ = new kivotest::PackageService(0); }
    static void TearDownTestSuite() {
        delete service_;
        service_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(service_->Started()) << "tools/package_service.py did not start";
        dir_ = kivotest::MakeScratchDir(L"http");
    }
    void TearDown() override { Utils::DeleteDirectory(dir_); }

    static kivotest::PackageService& Service() { return *service_; }
    std::wstring Path(const wchar_t* name) const { return dir_ + L"\\" + name; }

    std::wstring dir_;
    static kivotest::PackageService* service_;
};
kivotest::PackageService* HttpTest::service_ = nullptr;

class Event {
public:
    Event() : handle_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    HANDLE Get() const { return handle_.Get(); }
    void Set() { ::SetEvent(handle_.Get()); }

private:
    ScopedHandle handle_;
};

TEST_F(HttpTest, GetDiscardsBodiesOfAnySize) {
    Event cancel;
    for (int size : {0, 1, 65536, 20 * 1024 * 1024}) {
        EXPECT_EQ(HttpClient::Get(Service().Url("/bytes/" + std::to_string(size)), cancel.Get()), kHttpOk)
            << size;
    }
    EXPECT_EQ(HttpClient::Get(Service().Url("/status/404"), nullptr), kHttpOk) << "status is not checked";
}

TEST_F(HttpTest, PostJsonSendsTheBodyAsJsonAndKeepsAnErrorPage) {
    ASSERT_TRUE(Service().Control(R"({"faults": ["http-500"]})"));
    const std::string body = "{\"iRequestId\" : 5}";
    std::vector<char> response = {'x'};
    EXPECT_EQ(HttpClient::PostJson(Service().Url("/json"), body, response, nullptr), kHttpOk);
    std::string text(response.begin(), response.end());
    EXPECT_EQ(text, "x<html><body>500 Internal Server Error</body></html>") << "appended, never cleared";

    Json::Value request = Service().Records("config").back();
    EXPECT_EQ(request["method"].asString(), "POST");
    EXPECT_EQ(request["body"].asString(), body);
    EXPECT_EQ(request["headers"]["Content-Type"].asString(), "application/json");
    EXPECT_EQ(request["status"].asInt(), 500);
}

TEST_F(HttpTest, CancelDuringHangingPostEndsAtTheNextTick) {
    ASSERT_TRUE(Service().Control(R"({"faults": ["hang"]})"));
    Event cancel;
    std::thread canceller([&cancel] {
        ::Sleep(500);
        cancel.Set();
    });
    auto started = std::chrono::steady_clock::now();
    std::vector<char> response;
    int result = HttpClient::PostJson(Service().Url("/json"), "{}", response, cancel.Get());
    auto elapsed = std::chrono::steady_clock::now() - started;
    canceller.join();
    EXPECT_EQ(result, kHttpCancelled);
    EXPECT_TRUE(response.empty());
    // The service would hang for two minutes; the cancel is seen within about a second.
    EXPECT_LT(elapsed, std::chrono::seconds(5));
}

TEST_F(HttpTest, CancelEventAlreadySetStopsEveryShape) {
    Event cancel;
    cancel.Set();
    std::vector<char> response;
    EXPECT_EQ(HttpClient::Get(Service().Url("/bytes/10"), cancel.Get()), kHttpCancelled);
    EXPECT_EQ(HttpClient::PostJson(Service().Url("/json"), "{}", response, cancel.Get()), kHttpCancelled);
    std::wstring file = Path(L"cancelled.bin");
    kivotest::WriteFileBytes(file, "old content");
    HttpDownload download(Service().WideUrl("/bytes/10"), file, cancel.Get(), nullptr);
    EXPECT_EQ(download.Perform(), kHttpCancelled);
    EXPECT_TRUE(Utils::FileExists(file));
    EXPECT_EQ(ReadAll(file), "") << "the file is created (truncated) before the transfer";
}

TEST_F(HttpTest, MissingCancelEvent) {
    // Get and PostJson run without one; a download takes a failed wait as a stop.
    std::vector<char> response;
    EXPECT_EQ(HttpClient::Get(Service().Url("/bytes/10"), nullptr), kHttpOk);
    EXPECT_EQ(HttpClient::PostJson(Service().Url("/json"), "{}", response, nullptr), kHttpOk);
    HttpDownload download(Service().WideUrl("/bytes/10"), Path(L"no-event.bin"), nullptr, nullptr);
    EXPECT_EQ(download.Perform(), kHttpCancelled);
}

TEST_F(HttpTest, UnreachableServerGivesAnError) {
    Event cancel;
    std::vector<char> response;
    int get = HttpClient::Get(kUnreachable, cancel.Get());
    int post = HttpClient::PostJson(kUnreachable, "{}", response, cancel.Get());
    HttpDownload download(Utils::Utf8ToWide(kUnreachable), Path(L"unreachable.bin"), cancel.Get(), nullptr);
    int fetched = download.Perform();
    for (int result : {get, post, fetched}) {
        EXPECT_NE(result, kHttpOk);
        EXPECT_NE(result, kHttpCancelled);
    }
    EXPECT_EQ(get, 7) << "CURLE_COULDNT_CONNECT";
}

TEST_F(HttpTest, DownloadIntoMissingDirectoryMakesNoRequest) {
    Event cancel;
    size_t before = Service().Records().size();
    HttpDownload download(Service().WideUrl("/bytes/10"), Path(L"no\\such\\dir\\file.bin"), cancel.Get(),
                          nullptr);
    EXPECT_EQ(download.Perform(), kHttpWriteError);
    EXPECT_EQ(Service().Records().size(), before);
    // A directory in the file's place cannot be created either.
    HttpDownload onDirectory(Service().WideUrl("/bytes/10"), dir_, cancel.Get(), nullptr);
    EXPECT_EQ(onDirectory.Perform(), kHttpWriteError);
    EXPECT_EQ(Service().Records().size(), before);
}

TEST_F(HttpTest, DownloadStoresTheBodyAndReportsProgress) {
    std::string content;
    for (int i = 0; i < 300000; ++i) {
        content += static_cast<char>('a' + i % 26);
    }
    kivotest::WriteFileBytes(Service().FilesDir() + L"\\package.bin", content);
    std::wstring file = Path(L"package.bin");
    kivotest::WriteFileBytes(file, std::string(1000000, 'z'));  // longer than the download: truncated

    Event cancel;
    std::vector<std::pair<long long, long long>> ticks;
    HttpDownload download(
        Service().WideUrl("/package.bin?throttle=1000000"), file, cancel.Get(),
        [&ticks](long long total, long long received) { ticks.emplace_back(total, received); });
    EXPECT_TRUE(download.userAgent.empty());
    EXPECT_EQ(download.Perform(), kHttpOk);
    EXPECT_EQ(ReadAll(file), content);

    ASSERT_FALSE(ticks.empty());
    EXPECT_EQ(ticks.back(), std::make_pair(300000LL, 300000LL));
    for (size_t i = 1; i < ticks.size(); ++i) {
        EXPECT_GE(ticks[i].second, ticks[i - 1].second);
        EXPECT_TRUE(ticks[i].first == 0 || ticks[i].first == 300000) << ticks[i].first;
    }
    Json::Value request = Service().Records("file").back();
    EXPECT_FALSE(request["headers"].isMember("User-Agent")) << "no agent unless one is set";
}

TEST_F(HttpTest, DownloadSendsTheAgentAndKeepsAnErrorPage) {
    Event cancel;
    std::wstring file = Path(L"missing.bin");
    HttpDownload download(Service().WideUrl("/no/such/package.7z"), file, cancel.Get(), nullptr);
    download.userAgent = L"KivoPCSetup/1.0.0.0";
    EXPECT_EQ(download.Perform(), kHttpOk) << "404 is a completed transfer";
    EXPECT_EQ(ReadAll(file), "<html><body>404 Not Found</body></html>");
    Json::Value request = Service().Records("missing").back();
    EXPECT_EQ(request["headers"]["User-Agent"].asString(), "KivoPCSetup/1.0.0.0");
}

TEST_F(HttpTest, DownloadCancelledMidway) {
    kivotest::WriteFileBytes(Service().FilesDir() + L"\\slow.bin", std::string(400000, 's'));
    Event cancel;
    long long last = 0;
    HttpDownload download(Service().WideUrl("/slow.bin?throttle=100000"), Path(L"slow.bin"), cancel.Get(),
                          [&](long long, long long received) {
                              last = received;
                              if (received > 50000) {
                                  cancel.Set();
                              }
                          });
    EXPECT_EQ(download.Perform(), kHttpCancelled);
    EXPECT_GT(last, 50000);
    EXPECT_LT(last, 400000);
}

TEST_F(HttpTest, RedirectsAreFollowedByEveryShape) {
    Event cancel;
    size_t before = Service().Records("redirect").size();
    EXPECT_EQ(HttpClient::Get(Service().Url("/redirect?to=/bytes/10"), cancel.Get()), kHttpOk);

    // 307 keeps the POST a POST.
    std::vector<char> response;
    EXPECT_EQ(HttpClient::PostJson(Service().Url("/redirect?to=/json&code=307"), R"({"iRequestId": 3})",
                                   response, cancel.Get()),
              kHttpOk);
    std::string text(response.begin(), response.end());
    EXPECT_NE(text.find("\"iRequestId\": 3"), std::string::npos) << text;

    kivotest::WriteFileBytes(Service().FilesDir() + L"\\moved.bin", "moved content");
    std::wstring file = Path(L"moved.bin");
    HttpDownload download(Service().WideUrl("/redirect?to=/moved.bin&code=301"), file, cancel.Get(), nullptr);
    EXPECT_EQ(download.Perform(), kHttpOk);
    EXPECT_EQ(ReadAll(file), "moved content");
    EXPECT_EQ(Service().Records("redirect").size(), before + 3);
}

TEST_F(HttpTest, TraceIdHeaderIsLogged) {
    struct Case {
        const char* header;
        bool logged;
    };
    const Case cases[] = {
        {"X-Kivo-Trace-Id: 7f3a-01", true},
        {"x-kivo-trace-id: 7f3a-02", false},
        {"X-Kivo-Trace-ID: 7f3a-03", false},
    };
    for (const Case& c : cases) {
        kivotest::LogCapture log(Debug);
        ASSERT_TRUE(Service().Control(std::string(R"({"trace_header": ")") + c.header + "\"}"));
        std::vector<char> response;
        EXPECT_EQ(HttpClient::PostJson(Service().Url("/json"), "{}", response, nullptr), kHttpOk);
        std::vector<std::string> lines = log.Finish();
        if (c.logged) {
            // The whole line, CR LF included, follows "Trace-Id: ".
            std::vector<std::string> expected = {std::string("Trace-Id: ") + c.header, ""};
            EXPECT_EQ(lines, expected);
            std::vector<std::string> raw = log.RawLines();
            ASSERT_EQ(raw.size(), 2u);
            EXPECT_NE(raw[0].find("[kivoinstaller::HttpClient::HeaderFunc]"), std::string::npos) << raw[0];
        } else {
            EXPECT_TRUE(lines.empty()) << c.header;
        }
    }
    ASSERT_TRUE(Service().Control(R"({"trace_header": null})"));
}

TEST(HttpHeaderTest, HeaderFuncTakesEveryLine) {
    struct Case {
        std::string line;
        bool logged;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\n", false},
        {"X-Kivo-Trace-Id: abc\r\n", true},
        {"Via: proxy X-Kivo-Trace-Id:abc\r\n", true},
        {"X-Kivo-Trace-Id abc\r\n", false},
        {"\r\n", false},
    };
    for (const Case& c : cases) {
        kivotest::LogCapture log(Debug);
        std::string buffer = c.line;
        EXPECT_EQ(HttpClient::HeaderFunc(&buffer[0], 1, buffer.size(), nullptr), buffer.size());
        std::vector<std::string> lines = log.Finish();
        EXPECT_EQ(!lines.empty(), c.logged) << c.line;
    }
}

TEST(UrlEscapeTest, EscapesAllButUnreservedCharacters) {
    struct Case {
        std::string input;
        std::string escaped;
    };
    const Case cases[] = {
        {"a b/c~d", "a%20b%2Fc~d"},
        {"", ""},
        {"AZaz09-._~", "AZaz09-._~"},
        {"a&b c", "a%26b%20c"},
        {"x=1+2?#%", "x%3D1%2B2%3F%23%25"},
        {"\xe6\x89\x93\xe5\xbc\x80", "%E6%89%93%E5%BC%80"},
        {std::string("a\0b", 3), "a%00b"},
        {"{\n\t\"k\" : \"v\"\n}", "%7B%0A%09%22k%22%20%3A%20%22v%22%0A%7D"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utils::UrlEscape(c.input), c.escaped) << c.input;
    }
}

}  // namespace
