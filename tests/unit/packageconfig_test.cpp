#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <json/json.h>

#include "GlobalInfo.h"
#include "PackageService.h"
#include "Setup.h"
#include "TestSupport.h"
#include "Utils.h"

using namespace kivoinstaller;

namespace kivoinstaller {
bool operator==(const PackageConfig& a, const PackageConfig& b) {
    return a.DownloadUrl == b.DownloadUrl && a.Md5 == b.Md5 && a.Version == b.Version &&
           a.LaunchCommand == b.LaunchCommand && a.DesktopIconUrl == b.DesktopIconUrl &&
           a.CefDownloadUrl == b.CefDownloadUrl && a.CefMd5 == b.CefMd5 && a.StartExternal == b.StartExternal;
}
void PrintTo(const PackageConfig& c, std::ostream* os) {
    *os << "{" << Utils::WideToUtf8(c.DownloadUrl) << ", " << Utils::WideToUtf8(c.Md5) << ", "
        << Utils::WideToUtf8(c.Version) << ", " << Utils::WideToUtf8(c.LaunchCommand) << ", "
        << Utils::WideToUtf8(c.DesktopIconUrl) << ", " << Utils::WideToUtf8(c.CefDownloadUrl) << ", "
        << Utils::WideToUtf8(c.CefMd5) << ", " << c.StartExternal << "}";
}
}  // namespace kivoinstaller

namespace {

std::string ReadSourceFile(const std::wstring& relative) {
    std::wstring path = kivotest::EnvPath("KIVO_SOURCE_DIR_WIN") + L"\\" + relative;
    std::ifstream in(Utils::WideToUtf8(path), std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

// A reply envelope around an inner reply text.
std::string Reply(const Json::Value& requestId, const std::string& inner) {
    Json::Value reply;
    reply["iRequestId"] = requestId;
    reply["sBuffer"] = inner;
    return Json::writeString(Json::StreamWriterBuilder(), reply);
}

std::string Nested(int depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// ---- The request text ----

TEST(PackageConfigRequestTest, BodyIsTheCheckedInText) {
    std::string expected = ReadSourceFile(L"tests\\unit\\data\\package_config_request.txt");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(PackageConfigRequestBody(L"official", 0), expected);
}

TEST(PackageConfigRequestTest, ChannelOutsideAsciiIsEscapedInBothTexts) {
    std::string body = PackageConfigRequestBody(L"\u5b98\u65b9", 12);
    for (char c : body) {
        EXPECT_GE(static_cast<unsigned char>(c), 0x09) << "ASCII only";
        EXPECT_LT(static_cast<unsigned char>(c), 0x80) << "ASCII only";
    }
    EXPECT_NE(body.find(R"(\\u5b98\\u65b9)"), std::string::npos) << body;
    Json::Value outer;
    Json::Value inner;
    std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    ASSERT_TRUE(reader->parse(body.data(), body.data() + body.size(), &outer, nullptr));
    EXPECT_EQ(outer["iRequestId"].asInt(), 12);
    std::string buffer = outer["sBuffer"].asString();
    ASSERT_TRUE(reader->parse(buffer.data(), buffer.data() + buffer.size(), &inner, nullptr));
    EXPECT_EQ(inner["tReq"]["sChannel"].asString(), "\xe5\xae\x98\xe6\x96\xb9");
}

// ---- Reply checks, without the network ----

TEST(PackageConfigReplyTest, EnvelopeChecksAndTheirLogLines) {
    struct Case {
        std::string text;
        int requestId;
        bool accepted;
        std::string log;  // expected start of the only log line; empty when accepted
    };
    const std::string good = R"({"@ret": 0, "tRsp": {}})";
    const Case cases[] = {
        {Reply(4, good), 4, true, ""},
        {Reply(4.0, good), 4, true, ""},
        {Reply(4, R"({"@ret": 0.0, "tRsp": {}})"), 4, true, ""},
        {"<html>error</html>", 4, false, "Parse response failed: "},
        {Nested(5000), 4, false, "Parse response failed: "},
        {"[1]", 4, false, "Request id not match"},
        {"5", 4, false, "Request id not match"},
        {Reply(5, good), 4, false, "Request id not match"},
        {Reply("4", good), 4, false, "Request id not match"},
        {Reply(4.5, good), 4, false, "Request id not match"},
        {R"({"iRequestId": 4})", 4, false, "Response not contains sBuffer"},
        {R"({"iRequestId": 4, "sBuffer": {"@ret": 0}})", 4, false, "Response not contains sBuffer"},
        {Reply(4, "{@ret"), 4, false, "Parse buffer failed: "},
        {Reply(4, Nested(5000)), 4, false, "Parse buffer failed: "},
        {Reply(4, "[]"), 4, false, "Response @ret not exist"},
        {Reply(4, R"({"tRsp": {}})"), 4, false, "Response @ret not exist"},
        {Reply(4, R"({"@ret": "0", "tRsp": {}})"), 4, false, "Response @ret not exist"},
        {Reply(4, R"({"@ret": -3, "tRsp": {}})"), 4, false, "Response iRet is not 0: -3"},
        {Reply(4, R"({"@ret": 0})"), 4, false, "Response tRsp not exist"},
        {Reply(4, R"({"@ret": 0, "tRsp": null})"), 4, false, "Response tRsp not exist"},
        {Reply(4, R"({"@ret": 0, "tRsp": ["a"]})"), 4, false, "Response tRsp not exist"},
    };
    for (const Case& c : cases) {
        kivotest::LogCapture log(Debug);
        PackageConfig config;
        EXPECT_EQ(ParsePackageConfigReply(c.text, c.requestId, config), c.accepted) << c.text.substr(0, 80);
        std::vector<std::string> lines = log.Finish();
        if (c.accepted) {
            EXPECT_TRUE(lines.empty());
            continue;
        }
        ASSERT_EQ(lines.size(), 1u) << c.text.substr(0, 80);
        EXPECT_TRUE(StartsWith(lines[0], c.log)) << lines[0];
        EXPECT_NE(log.RawLines()[0].find("[ERROR]"), std::string::npos);
        EXPECT_NE(log.RawLines()[0].find("[kivoinstaller::Setup::GetPackageConfig]"), std::string::npos);
    }
}

TEST(PackageConfigReplyTest, MembersOfTRspByType) {
    PackageConfig none;
    PackageConfig all;
    all.DownloadUrl = L"http://host/p.7z";
    all.Md5 = L"AB12";
    all.Version = L"7.6.0.1";
    all.LaunchCommand = L"/from setup";
    all.DesktopIconUrl = L"\"\"";
    all.CefDownloadUrl = L"http://host/cef.7z";
    all.CefMd5 = L"cd34";
    all.StartExternal = true;
    PackageConfig launch;
    launch.LaunchCommand = L"\u542f\u52a8";
    PackageConfig external;
    external.StartExternal = true;

    struct Case {
        const char* tRsp;
        PackageConfig expected;
    };
    const Case cases[] = {
        {R"({})", none},
        {R"({"DownloadUrl": "http://host/p.7z", "Md5": "AB12", "Version": "7.6.0.1", "LaunchCommand": "/from setup",
            "DesktopIconUrl": "\"\"", "CefDownloadUrl": "http://host/cef.7z", "CefMd5": "cd34", "StartExternal": 1,
            "Unknown": "ignored"})",
         all},
        {R"({"LaunchCommand": "\u542f\u52a8"})", launch},
        {R"({"StartExternal": 1})", external},
        {R"({"StartExternal": 1.0})", external},
        {R"({"StartExternal": true})", none},
        {R"({"StartExternal": "1"})", none},
        {R"({"StartExternal": 2})", none},
        {R"({"StartExternal": 0})", none},
        {R"({"StartExternal": 1.5})", none},
        {R"({"StartExternal": 4294967297})", none},
        {R"({"Md5": 123, "Version": null, "DownloadUrl": ["x"], "CefMd5": {}, "CefDownloadUrl": true})",
         none},
    };
    for (const Case& c : cases) {
        PackageConfig config;
        std::string inner = std::string(R"({"@ret": 0, "tRsp": )") + c.tRsp + "}";
        EXPECT_TRUE(ParsePackageConfigReply(Reply(0, inner), 0, config)) << c.tRsp;
        EXPECT_EQ(config, c.expected) << c.tRsp;
    }
}

TEST(PackageConfigValidTest, LogsTheRecordAndChecksMandatoryFields) {
    PackageConfig full;
    full.DownloadUrl = L"u";
    full.Md5 = L"m";
    full.Version = L"v";
    full.LaunchCommand = L"l";
    full.DesktopIconUrl = L"d";
    full.CefDownloadUrl = L"c";
    full.CefMd5 = L"cm";
    full.StartExternal = true;
    struct Case {
        std::wstring PackageConfig::*field;
        const char* error;
    };
    const Case cases[] = {
        {nullptr, nullptr},
        {&PackageConfig::DownloadUrl, "Download url is empty"},
        {&PackageConfig::Md5, "Md5 is empty"},
        {&PackageConfig::Version, "Version is empty"},
        {&PackageConfig::LaunchCommand, nullptr},
        {&PackageConfig::CefMd5, nullptr},
    };
    for (const Case& c : cases) {
        PackageConfig config = full;
        if (c.field) {
            (config.*c.field).clear();
        }
        kivotest::LogCapture log(Debug);
        EXPECT_EQ(PackageConfigValid(config), c.error == nullptr);
        std::vector<std::string> lines = log.Finish();
        std::string record =
            "DownloadUrl: " + Utils::WideToUtf8(config.DownloadUrl) +
            ", Md5: " + Utils::WideToUtf8(config.Md5) + ", Version: " + Utils::WideToUtf8(config.Version) +
            ", LaunchCommand: " + Utils::WideToUtf8(config.LaunchCommand) +
            ", DesktopIconUrl: d, CefDownloadUrl: c, CefMd5: " + Utils::WideToUtf8(config.CefMd5) +
            ", StartExternal: 1";
        std::vector<std::string> expected = {record};
        if (c.error) {
            expected.push_back(c.error);
        }
        EXPECT_EQ(lines, expected);
        EXPECT_NE(log.RawLines()[0].find("[kivoinstaller::PackageConfigValid]"), std::string::npos);
    }
    kivotest::LogCapture log(Debug);
    EXPECT_FALSE(PackageConfigValid(PackageConfig()));
    std::vector<std::string> expected = {
        "DownloadUrl: , Md5: , Version: , LaunchCommand: , DesktopIconUrl: , CefDownloadUrl: , CefMd5: , "
        "StartExternal: 0",
        "Download url is empty"};
    EXPECT_EQ(log.Finish(), expected);
}

// ---- Against the package service on the configured endpoint ----

// Request ids are process-wide and the engine is one per process, so these
// run in order; the last one sets the engine's exit event.
class PackageConfigServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        service_ = new kivotest::PackageService(
            kivotest::EndpointPort(),
            {"--download-url", "{base}/package.7z", "--md5", "0123456789abcdef0123456789abcdef", "--version",
             "7.6.0.1", "--start-external", "1"});
    }
    static void TearDownTestSuite() {
        delete service_;
        service_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(service_->Started())
            << "tools/package_service.py did not start on " << kivotest::EndpointPort();
    }

    static std::vector<Json::Value> ConfigRequests() { return service_->Records("config"); }

    static PackageConfig Served() {
        PackageConfig config;
        config.DownloadUrl = service_->WideUrl("/package.7z");
        config.Md5 = L"0123456789abcdef0123456789abcdef";
        config.Version = L"7.6.0.1";
        config.StartExternal = true;
        return config;
    }

    static kivotest::PackageService* service_;
};
kivotest::PackageService* PackageConfigServiceTest::service_ = nullptr;

TEST_F(PackageConfigServiceTest, A_RequestIdsRunAcrossAttemptsAndCalls) {
    GlobalInfo::GetInstance().SetDevMode(true);
    ASSERT_TRUE(service_->Control(R"({"faults": ["not-json"]})"));
    kivoinstaller::Setup& setup = kivoinstaller::Setup::GetInstance();
    PackageConfig config;
    EXPECT_TRUE(setup.GetPackageConfig(config));
    EXPECT_EQ(config, Served());

    GlobalInfo::GetInstance().SetDevMode(false);
    EXPECT_TRUE(setup.GetPackageConfig(config));

    std::vector<Json::Value> requests = ConfigRequests();
    ASSERT_EQ(requests.size(), 3u);
    const char* paths[] = {"/json", "/json", "/prod/json"};
    for (int id = 0; id < 3; ++id) {
        const Json::Value& request = requests[id];
        EXPECT_EQ(request["path"].asString(), paths[id]) << "development mode posts to the test endpoint";
        EXPECT_EQ(request["body"].asString(), PackageConfigRequestBody(L"official", id));
        EXPECT_EQ(request["request"]["iRequestId"].asInt(), id);
        EXPECT_EQ(request["headers"]["Content-Type"].asString(), "application/json");
    }
}

TEST_F(PackageConfigServiceTest, B_EachReplyFaultIsLoggedAndRetried) {
    struct Case {
        const char* mode;
        const char* log;  // start of the line
    };
    const Case cases[] = {
        {"not-json", "Parse response failed: "},
        {"http-500", "Parse response failed: "},
        {"wrong-id", "Request id not match"},
        {"no-sbuffer", "Response not contains sBuffer"},
        {"sbuffer-not-string", "Response not contains sBuffer"},
        {"sbuffer-not-json", "Parse buffer failed: "},
        {"no-ret", "Response @ret not exist"},
        {"ret-nonzero", "Response iRet is not 0: 7"},
        {"no-trsp", "Response tRsp not exist"},
        {"trsp-not-object", "Response tRsp not exist"},
        {"drop", "Post request failed: 52"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(service_->Control(std::string(R"({"faults": [")") + c.mode + "\"]}"));
        size_t before = ConfigRequests().size();
        kivotest::LogCapture log(Debug);
        PackageConfig config;
        EXPECT_TRUE(kivoinstaller::Setup::GetInstance().GetPackageConfig(config)) << c.mode;
        EXPECT_EQ(config, Served());
        std::vector<std::string> lines = log.Finish();
        std::vector<std::string> errors;
        size_t responses = 0;
        for (const std::string& line : lines) {
            if (StartsWith(line, "Response: ")) {
                ++responses;
            } else {
                errors.push_back(line);
            }
        }
        ASSERT_EQ(errors.size(), 1u) << c.mode;
        EXPECT_TRUE(StartsWith(errors[0], c.log)) << c.mode << ": " << errors[0];
        EXPECT_EQ(responses, std::string(c.mode) == "drop" ? 1u : 2u)
            << "the reply of each completed transfer";

        std::vector<Json::Value> requests = ConfigRequests();
        ASSERT_EQ(requests.size(), before + 2) << c.mode;
        EXPECT_EQ(requests[before + 1]["request"]["iRequestId"].asInt(),
                  requests[before]["request"]["iRequestId"].asInt() + 1);
    }
}

TEST_F(PackageConfigServiceTest, C_ThreeFailedAttemptsLeaveTheRecordAlone) {
    ASSERT_TRUE(service_->Control(R"({"faults": ["no-trsp", "wrong-id", "ret-nonzero"]})"));
    size_t before = ConfigRequests().size();
    PackageConfig config;
    config.Version = L"kept";
    kivotest::LogCapture log(Info);
    EXPECT_FALSE(kivoinstaller::Setup::GetInstance().GetPackageConfig(config));
    std::vector<std::string> expected = {"Response tRsp not exist", "Request id not match",
                                         "Response iRet is not 0: 7"};
    EXPECT_EQ(log.Finish(), expected);
    EXPECT_EQ(config.Version, L"kept");
    EXPECT_EQ(config.DownloadUrl, L"");
    EXPECT_EQ(ConfigRequests().size(), before + 3) << "three attempts, no more";
}

TEST_F(PackageConfigServiceTest, D_ChannelIsSent) {
    GlobalInfo::GetInstance().SetChannel(L"partner_7");
    PackageConfig config;
    EXPECT_TRUE(kivoinstaller::Setup::GetInstance().GetPackageConfig(config));
    Json::Value request = ConfigRequests().back();
    Json::Value inner;
    std::string buffer = request["request"]["sBuffer"].asString();
    std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    ASSERT_TRUE(reader->parse(buffer.data(), buffer.data() + buffer.size(), &inner, nullptr));
    EXPECT_EQ(inner["tReq"]["sChannel"].asString(), "partner_7");
    GlobalInfo::GetInstance().SetChannel(L"official");
}

TEST_F(PackageConfigServiceTest, E_ServiceDownGivesThreeTransferFailures) {
    delete service_;
    service_ = nullptr;
    kivotest::LogCapture log(Info);
    PackageConfig config;
    EXPECT_FALSE(kivoinstaller::Setup::GetInstance().GetPackageConfig(config));
    // CURLE_COULDNT_CONNECT: nothing listens any more.
    std::vector<std::string> expected(3, "Post request failed: 7");
    EXPECT_EQ(log.Finish(), expected);
    SetUpTestSuite();
}

TEST_F(PackageConfigServiceTest, F_ExitEventAbortsWithoutFurtherAttempts) {
    ASSERT_TRUE(service_->Control(R"({"faults": ["hang"]})"));
    kivoinstaller::Setup& setup = kivoinstaller::Setup::GetInstance();
    size_t before = ConfigRequests().size();
    std::thread exit([&setup] {
        ::Sleep(500);
        ::SetEvent(setup.ExitEvent());
    });
    kivotest::LogCapture log(Info);
    PackageConfig config;
    EXPECT_FALSE(setup.GetPackageConfig(config));
    exit.join();
    std::vector<std::string> lines = log.Finish();
    // The engine's own thread sees the exit event too and says so.
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const std::string& line) {
                                   return line == "Exit Installer thread" || line == "Installer thread exit";
                               }),
                lines.end());
    std::vector<std::string> expected = {"Post request aborted"};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(ConfigRequests().size(), before + 1) << "the hanging request only";
    EXPECT_TRUE(setup.IsExitRequested());
}

}  // namespace
