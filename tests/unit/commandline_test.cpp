#include <gtest/gtest.h>

#include <vector>

#include "Config.h"
#include "Main.h"

using namespace kivoinstaller;

namespace {

CommandLineArgs Parse(std::vector<const wchar_t*> argv) {
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

struct GrammarCase {
    std::vector<const wchar_t*> argv;
    bool silent;
    bool verbose;
    bool dev;
    const wchar_t* channel;
};

TEST(CommandLineTest, Grammar) {
    const GrammarCase cases[] = {
        {{L"setup.exe"}, false, false, false, L""},
        {{}, false, false, false, L""},
        // A lone argument is the program path: nothing is parsed.
        {{L"/silent"}, false, false, false, L""},
        {{L"setup.exe", L"/S"}, true, false, false, L""},
        {{L"setup.exe", L"/Silent"}, true, false, false, L""},
        {{L"setup.exe", L"/SILENT"}, true, false, false, L""},
        {{L"setup.exe", L"/silent=1"}, false, false, false, L""},
        {{L"setup.exe", L"-s"}, false, false, false, L""},
        {{L"setup.exe", L"/sx"}, false, false, false, L""},
        {{L"setup.exe", L"/v", L"/D"}, false, true, true, L""},
        {{L"setup.exe", L"/VERBOSE", L"/dev"}, false, true, true, L""},
        {{L"setup.exe", L"/channel=ABC"}, false, false, false, L"abc"},
        {{L"setup.exe", L"/CHANNEL=Xy"}, false, false, false, L"xy"},
        {{L"setup.exe", L"/channel="}, false, false, false, L""},
        {{L"setup.exe", L"/channel=one", L"/channel=two"}, false, false, false, L"two"},
        {{L"setup.exe", L"/channel=one", L"/channel="}, false, false, false, L""},
        {{L"setup.exe", L"/unknown", L"/s", L"extra"}, true, false, false, L""},
        // The program path itself is examined too.
        {{L"/s", L"other"}, true, false, false, L""},
    };
    for (const GrammarCase& c : cases) {
        CommandLineArgs args = Parse(c.argv);
        SCOPED_TRACE(c.argv.size() > 1 ? c.argv[1] : L"(none)");
        EXPECT_EQ(args.silent, c.silent);
        EXPECT_EQ(args.verbose, c.verbose);
        EXPECT_EQ(args.dev, c.dev);
        EXPECT_EQ(args.channel, c.channel);
    }
}

TEST(CommandLineTest, EffectiveSettings) {
    struct Case {
        std::vector<const wchar_t*> argv;
        const wchar_t* configChannel;
        bool configSilent;
        const wchar_t* channel;
        bool silent;
        bool dev;
    };
    const Case cases[] = {
        {{L"a.exe"}, L"official", false, L"official", false, false},
        {{L"a.exe", L"/channel=ABC"}, L"official", false, L"abc", false, false},
        {{L"a.exe", L"/channel="}, L"store", false, L"store", false, false},
        {{L"a.exe"}, L"official", true, L"official", true, false},
        {{L"a.exe", L"/s"}, L"official", false, L"official", true, false},
        {{L"a.exe", L"/d"}, L"official", true, L"official", true, true},
    };
    for (const Case& c : cases) {
        EmbeddedConfig config;
        config.channel = c.configChannel;
        config.silent = c.configSilent;
        EffectiveSettings settings = ResolveSettings(Parse(c.argv), config);
        EXPECT_EQ(settings.channel, c.channel);
        EXPECT_EQ(settings.silent, c.silent);
        EXPECT_EQ(settings.dev, c.dev);
    }
}

TEST(CommandLineTest, SilentExitCodes) {
    EXPECT_EQ(SilentExitCode(InstallSuccess), 0);
    EXPECT_EQ(SilentExitCode(DownloadFail), 3);
    EXPECT_EQ(SilentExitCode(InstallFail), 4);
    EXPECT_EQ(SilentExitCode(None), 5);
}

}  // namespace
