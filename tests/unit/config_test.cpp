#include <gtest/gtest.h>

#include "Config.h"
#include "TestSupport.h"

using namespace kivoinstaller;

namespace {

TEST(ConfigTest, ResourceAbsentKeepsDefaults) {
    // This test program carries no configuration resource.
    kivotest::LogCapture log;
    EmbeddedConfig config = ConfigParser::Parse();
    EXPECT_EQ(config.channel, L"official");
    EXPECT_FALSE(config.silent);
    EXPECT_EQ(log.Finish(), std::vector<std::string>{"Failed to find resource: IDR_JSON_CONFIG"});
}

TEST(ConfigTest, ShippedConfiguration) {
    kivotest::LogCapture log;
    EmbeddedConfig config = ConfigParser::ParseText("{\r\n    \"Channel\":  \"official\",\r\n    \"Silent\":  false\r\n}");
    EXPECT_EQ(config.channel, L"official");
    EXPECT_FALSE(config.silent);
    EXPECT_TRUE(log.Finish().empty());
}

TEST(ConfigTest, KeysOfOtherTypesAreIgnoredSilently) {
    struct Case {
        const char* json;
        const wchar_t* channel;
        bool silent;
    };
    const Case cases[] = {
        {R"({"Silent": true})", L"official", true},
        {R"({"Channel": 5, "Silent": "true"})", L"official", false},
        {R"({"Channel": "商店", "Silent": 1, "Other": []})", L"商店", false},
        {R"({"channel": "lower", "silent": true})", L"official", false},
    };
    for (const Case& c : cases) {
        kivotest::LogCapture log;
        EmbeddedConfig config = ConfigParser::ParseText(c.json);
        EXPECT_EQ(config.channel, c.channel) << c.json;
        EXPECT_EQ(config.silent, c.silent) << c.json;
        EXPECT_TRUE(log.Finish().empty()) << c.json;
    }
}

TEST(ConfigTest, InvalidJsonLogsOneErrorAndKeepsDefaults) {
    for (const char* text : {"{\"Channel\": ", "not json", "[1, 2]"}) {
        kivotest::LogCapture log;
        EmbeddedConfig config = ConfigParser::ParseText(text);
        EXPECT_EQ(config.channel, L"official");
        EXPECT_FALSE(config.silent);
        std::vector<std::string> lines = log.Finish();
        ASSERT_EQ(lines.size(), 1u) << text;
        EXPECT_EQ(lines[0].rfind("Failed to parse json: ", 0), 0u) << lines[0];
        std::vector<std::string> raw = log.RawLines();
        EXPECT_EQ(raw[0].rfind("[ERROR]", 0), 0u);
        EXPECT_NE(raw[0].find("[Config.h:"), std::string::npos);
        EXPECT_NE(raw[0].find("[kivoinstaller::ConfigParser::Parse]"), std::string::npos) << raw[0];
    }
}

TEST(InstallStepTest, Names) {
    EXPECT_EQ(InstallStepName(None), L"None");
    EXPECT_EQ(InstallStepName(DownloadSuccess), L"DownloadSuccess");
    EXPECT_EQ(InstallStepName(InstallFail), L"InstallFail");
    EXPECT_EQ(InstallStepName(static_cast<InstallStep>(9)), L"Unknown");
    EXPECT_EQ(InstallStepName(static_cast<InstallStep>(-1)), L"Unknown");
}

}  // namespace
