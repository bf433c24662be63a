#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <json/json.h>

#include "GlobalInfo.h"
#include "Lonvu.h"
#include "PackageService.h"
#include "TestSupport.h"
#include "Utils.h"

using namespace kivoinstaller;

namespace {

using Properties = std::map<std::wstring, std::wstring>;

const char kExamplePart[] =
    "&eid=install_open&eid_desc=%E6%89%93%E5%BC%80%E5%AE%89%E8%A3%85%E5%8C%85"
    "&prop=%7B%0A%09%22client_ver%22%20%3A%20%22%22%2C%0A%09%22down_ver%22%20%3A%20%221.2.3.4%22%0A%7D";

TEST(LonvuTextTest, EventPartOfTheInstallOpenExample) {
    EXPECT_EQ(
        Lonvu::EventPart(L"install_open", L"打开安装包", {{L"client_ver", L""}, {L"down_ver", L"1.2.3.4"}}),
        kExamplePart);
}

TEST(LonvuTextTest, EventPartPieces) {
    struct Case {
        std::wstring eid;
        std::wstring description;
        Properties properties;
        std::string part;
    };
    const Case cases[] = {
        {L"e", L"", {}, "&eid=e&eid_desc=&prop="},
        {L"install_start", L"a, b c", {}, "&eid=install_start&eid_desc=a%2C%20b%20c&prop="},
        // Keys in sorted order, whatever the order of insertion; the JSON text
        // writes characters outside ASCII as \u escapes.
        {L"e",
         L"d",
         {{L"z", L"1"}, {L"a", L"\u5b8c"}},
         "&eid=e&eid_desc=d&prop=%7B%0A%09%22a%22%20%3A%20%22%5Cu5b8c%22%2C%0A%09%22z%22%20%3A%20%221%22%0A%"
         "7D"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Lonvu::EventPart(c.eid, c.description, c.properties), c.part);
    }
}

TEST(LonvuTextTest, RunWidePieces) {
    EXPECT_EQ(
        Lonvu::BeaconPrefix("stat.example:8080"),
        "http://stat.example:8080/d.gif?act=/event&pro=kivo_pcexe&dty=live&rid=ods_action_log&rso=desktop");
    // Ordinary values are sent as they are.
    EXPECT_EQ(Lonvu::RunPieces("0123456789abcdef0123456789abcdef", L"official", L"1.0.0.0", "Win8.1",
                               L"6f1c0a4e-1b2c-4d5e-8f90-a1b2c3d4e5f6_2024_05_06_07_08_09"),
              "&mid=0123456789abcdef0123456789abcdef&cha=official&iver=1.0.0.0&uver=1.0.0.0&os=Win8.1"
              "&session_id=6f1c0a4e-1b2c-4d5e-8f90-a1b2c3d4e5f6_2024_05_06_07_08_09");
    // Values that would end the field early or add fields are escaped.
    EXPECT_EQ(Lonvu::RunPieces("", L"a&b c", L"1.0&x=1", "Win10", L"s#1"),
              "&mid=&cha=a%26b%20c&iver=1.0%26x%3D1&uver=1.0%26x%3D1&os=Win10&session_id=s%231");
}

// ---- Beacons as the collector receives them ----

class LonvuTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { service_ = new kivotest::PackageService(0); }
    static void TearDownTestSuite() {
        delete service_;
        service_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(service_->Started()); }
    static std::string Host() { return "127.0.0.1:" + std::to_string(service_->Port()); }
    static std::vector<Json::Value> Beacons() { return service_->Records("beacon"); }

    static kivotest::PackageService* service_;
};
kivotest::PackageService* LonvuTest::service_ = nullptr;

bool IsSessionId(const std::string& text) {
    // GUID, then "_YYYY_MM_DD_HH_MM_SS".
    if (text.size() != 36 + 20) {
        return false;
    }
    const std::string shape = "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx_dddd_dd_dd_dd_dd_dd";
    for (size_t i = 0; i < shape.size(); ++i) {
        char c = text[i];
        bool ok = shape[i] == 'x'   ? (isdigit(c) || (c >= 'a' && c <= 'f'))
                  : shape[i] == 'd' ? isdigit(c) != 0
                                    : c == shape[i];
        if (!ok) {
            return false;
        }
    }
    return true;
}

TEST_F(LonvuTest, EventsArriveInQueueOrderPieceByPiece) {
    struct Event {
        std::wstring eid;
        std::wstring description;
        Properties properties;
    };
    const std::vector<Event> events = {
        {L"install_open", L"打开安装包", {{L"client_ver", L""}, {L"down_ver", L"1.2.3.4"}}},
        {L"install_start",
         L"开始真正运行安装包，执行安装程序",
         {{L"client_ver", L"7.6.0.1"}, {L"down_ver", L""}}},
        {L"install_complete", L"完成安装", {}},
    };
    size_t before = Beacons().size();
    {
        Lonvu lonvu(Host());
        for (const Event& e : events) {
            lonvu.Report(e.eid, e.description, e.properties);
        }
        lonvu.Stop();
        // Stop let the queued events out before it returned.
        ASSERT_EQ(Beacons().size(), before + events.size());
    }
    std::vector<Json::Value> beacons = Beacons();
    std::string version = Utils::WideToUtf8(GetOwnFileVersion());
    std::string session = beacons[before]["fields"]["session_id"].asString();
    EXPECT_TRUE(IsSessionId(session)) << session;
    std::string runPieces =
        "act=/event&pro=kivo_pcexe&dty=live&rid=ods_action_log&rso=desktop&mid=" + Utils::GetMachineIdStr() +
        "&cha=official&iver=" + version + "&uver=" + version + "&os=" + Utils::GetWindowsVersionName() +
        "&session_id=" + session;
    for (size_t i = 0; i < events.size(); ++i) {
        const Json::Value& beacon = beacons[before + i];
        const Event& e = events[i];
        EXPECT_EQ(beacon["method"].asString(), "GET");
        EXPECT_EQ(beacon["path"].asString(), "/d.gif");
        EXPECT_EQ(beacon["query"].asString(),
                  runPieces + Lonvu::EventPart(e.eid, e.description, e.properties));
        // Decoded by the collector.
        const Json::Value& fields = beacon["fields"];
        EXPECT_EQ(fields["eid"].asString(), Utils::WideToUtf8(e.eid));
        EXPECT_EQ(fields["eid_desc"].asString(), Utils::WideToUtf8(e.description));
        EXPECT_EQ(fields["iver"].asString(), fields["uver"].asString());
        EXPECT_EQ(fields["mid"].asString().size(), 32u);
        if (e.properties.empty()) {
            EXPECT_EQ(fields["prop"].asString(), "");
            EXPECT_EQ(beacon["query"].asString().substr(beacon["query"].asString().size() - 6), "&prop=");
        } else {
            Json::Value prop;
            std::string text = fields["prop"].asString();
            std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
            ASSERT_TRUE(reader->parse(text.data(), text.data() + text.size(), &prop, nullptr)) << text;
            for (const auto& p : e.properties) {
                EXPECT_EQ(prop[Utils::WideToUtf8(p.first)].asString(), Utils::WideToUtf8(p.second));
            }
        }
    }
}

TEST_F(LonvuTest, ChannelCannotInjectFields) {
    GlobalInfo::GetInstance().SetChannel(L"a&b c&eid=forged");
    size_t before = Beacons().size();
    {
        Lonvu lonvu(Host());
        lonvu.Report(L"install_open", L"d", {});
        lonvu.Stop();
    }
    GlobalInfo::GetInstance().SetChannel(L"official");
    std::vector<Json::Value> beacons = Beacons();
    ASSERT_EQ(beacons.size(), before + 1);
    EXPECT_EQ(beacons.back()["fields"]["cha"].asString(), "a&b c&eid=forged");
    EXPECT_EQ(beacons.back()["fields"]["eid"].asString(), "install_open");
    EXPECT_NE(beacons.back()["query"].asString().find("&cha=a%26b%20c%26eid%3Dforged&iver="),
              std::string::npos);
}

TEST_F(LonvuTest, UnreachableCollectorIsLoggedAndStopEnds) {
    kivotest::LogCapture log(Info);
    {
        Lonvu lonvu("127.0.0.1:1");
        lonvu.Report(L"install_open", L"d", {});
        lonvu.Report(L"install_start", L"d", {});
        lonvu.Stop();
    }
    std::vector<std::string> lines = log.Finish();
    std::vector<std::string> expected = {"&eid=install_open&eid_desc=d&prop= Report failed: 7",
                                         "&eid=install_start&eid_desc=d&prop= Report failed: 7",
                                         "Exit Lonvu thread"};
    EXPECT_EQ(lines, expected);
    std::vector<std::string> raw = log.RawLines();
    ASSERT_EQ(raw.size(), 3u);
    EXPECT_EQ(raw[0].compare(0, 6, "[WARN]"), 0) << raw[0];
    EXPECT_EQ(raw[2].compare(0, 6, "[INFO]"), 0) << raw[2];
    EXPECT_NE(raw[2].find("Lonvu.cpp"), std::string::npos) << raw[2];
    EXPECT_NE(raw[2].find("kivoinstaller::Lonvu::Start"), std::string::npos) << raw[2];
}

TEST_F(LonvuTest, StalledCollectorIsCancelledAfterTheDrainTime) {
    ASSERT_TRUE(service_->Control(R"({"beacon_faults": ["hang"]})"));
    size_t before = Beacons().size();
    kivotest::LogCapture log(Info);
    std::chrono::steady_clock::duration stopping;
    {
        Lonvu lonvu(Host());
        lonvu.Report(L"install_start", L"in flight", {});
        lonvu.Report(L"install_complete", L"waiting", {});
        ASSERT_EQ(service_->WaitForRecords("beacon", before + 1).size(), before + 1);
        auto started = std::chrono::steady_clock::now();
        lonvu.Stop();
        stopping = std::chrono::steady_clock::now() - started;
    }
    std::vector<std::string> lines = log.Finish();
    std::vector<std::string> expected = {"&eid=install_start&eid_desc=in%20flight&prop= Report failed: 42",
                                         "Exit Lonvu thread"};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(Beacons().size(), before + 1) << "the waiting event is dropped";
    EXPECT_GE(stopping, std::chrono::milliseconds(2500)) << "the queued events had their time";
    EXPECT_LT(stopping, std::chrono::seconds(15));
}

TEST_F(LonvuTest, StopWithNothingQueuedReturnsAtOnce) {
    Lonvu lonvu(Host());
    auto started = std::chrono::steady_clock::now();
    lonvu.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    lonvu.Report(L"late", L"after stop", {});  // queued, never sent, harmless
}

}  // namespace
