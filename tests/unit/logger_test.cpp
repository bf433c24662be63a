#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "Logger.h"
#include "ScopedWin.h"
#include "TestSupport.h"

using namespace kivoinstaller;

namespace {

TEST(LoggerTest, LineFormatPieces) {
    std::wstring line = FormatLogLine(Info, L"2026-01-02 03:04:05", L"C:\\build\\src\\Setup.cpp", L"42",
                                      L"kivoinstaller::Setup::ThreadProc", 10, 20, L"Start download");
    EXPECT_EQ(line,
              L"[INFO][2026-01-02 03:04:05][Setup.cpp:42][kivoinstaller::Setup::ThreadProc][10:20]Start download\r\n");
    EXPECT_EQ(FormatLogLine(Error, L"t", L"f", L"1", L"F", 1, 2, L""), L"[ERROR][t][f:1][F][1:2]\r\n");
}

TEST(LoggerTest, TagsAndFileNames) {
    EXPECT_STREQ(LogLevelTag(Debug), L"[DEBUG]");
    EXPECT_STREQ(LogLevelTag(Warn), L"[WARN]");
    EXPECT_STREQ(LogLevelTag(7), L"[UNKNOWN]");
    EXPECT_STREQ(LogLevelTag(-1), L"[UNKNOWN]");
    EXPECT_EQ(LogFileNameOf(L"src\\Main.cpp"), L"Main.cpp");
    EXPECT_EQ(LogFileNameOf(L"/home/b/kivo/src/Setup.cpp"), L"Setup.cpp");
    EXPECT_EQ(LogFileNameOf(L"a/b\\c/Utils.cpp"), L"Utils.cpp");
    EXPECT_EQ(LogFileNameOf(L"Bare.cpp"), L"Bare.cpp");
}

namespace qualified {
struct Widget {
    static std::wstring Method(int) { return QualifiedFunctionName(__PRETTY_FUNCTION__); }
    template <typename T>
    static std::wstring Generic(T) {
        return QualifiedFunctionName(__PRETTY_FUNCTION__);
    }
    Widget() : name(QualifiedFunctionName(__PRETTY_FUNCTION__)) {}
    std::wstring name;
};
std::wstring Free() { return QualifiedFunctionName(__PRETTY_FUNCTION__); }
}  // namespace qualified

TEST(LoggerTest, QualifiedFunctionNames) {
    EXPECT_EQ(qualified::Widget::Method(1), L"{anonymous}::qualified::Widget::Method");
    EXPECT_EQ(qualified::Widget::Generic(2.0), L"{anonymous}::qualified::Widget::Generic");
    EXPECT_EQ(qualified::Widget().name, L"{anonymous}::qualified::Widget::Widget");
    EXPECT_EQ(qualified::Free(), L"{anonymous}::qualified::Free");
    EXPECT_EQ(QualifiedFunctionName("int WinMain(HINSTANCE, HINSTANCE, LPSTR, int)"), L"WinMain");
    EXPECT_EQ(QualifiedFunctionName("bool kivoinstaller::Setup::operator()(int) const"),
              L"kivoinstaller::Setup::operator()");
}

TEST(LoggerTest, WritesUtf8LinesWithoutBom) {
    kivotest::LogCapture log(Info);
    LOG_INFO(L"安装程序已经在运行.");
    LOG_DEBUG(L"below the threshold");
    KLOG(7, L"odd level");
    LOG_WARN(L"");
    std::vector<std::string> messages = log.Finish();
    std::vector<std::string> expected = {"\xe5\xae\x89\xe8\xa3\x85\xe7\xa8\x8b\xe5\xba\x8f\xe5\xb7\xb2\xe7\xbb\x8f"
                                         "\xe5\x9c\xa8\xe8\xbf\x90\xe8\xa1\x8c.",
                                         "odd level", ""};
    EXPECT_EQ(messages, expected);
    std::vector<std::string> raw = log.RawLines();
    ASSERT_EQ(raw.size(), 3u);
    EXPECT_NE(raw[0].substr(0, 3), "\xef\xbb\xbf");
    std::regex format(R"(\[INFO\]\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\]\[logger_test\.cpp:\d+\])"
                      R"(\[\{anonymous\}::LoggerTest_WritesUtf8LinesWithoutBom_Test::TestBody\]\[\d+:\d+\].*)");
    EXPECT_TRUE(std::regex_match(raw[0], format)) << raw[0];
    EXPECT_EQ(raw[1].rfind("[UNKNOWN][", 0), 0u);
    EXPECT_EQ(raw[2].back(), ']');
    std::string pidTid = "[" + std::to_string(::GetCurrentProcessId()) + ":" + std::to_string(::GetCurrentThreadId()) + "]";
    EXPECT_NE(raw[0].find(pidTid), std::string::npos);
}

TEST(LoggerTest, VerboseThresholdWritesDebug) {
    kivotest::LogCapture log(Debug);
    LOG_DEBUG(L"debug line");
    std::vector<std::string> raw = (log.Finish(), log.RawLines());
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0].rfind("[DEBUG][", 0), 0u);
}

TEST(LoggerTest, FileInPrefixTempNamedByProcessId) {
    std::wstring expected = Utils::GetTempDirectory() + L"kivo-installer-" + std::to_wstring(::GetCurrentProcessId()) + L".log";
    EXPECT_EQ(Logger::DefaultPath(), expected);
}

TEST(LoggerTest, LockedFileLinesGoElsewhereThenFileAgain) {
    kivotest::LogCapture log(Info);
    LOG_INFO(L"first");
    // Wait until the writer created the file, then hold it exclusively.
    std::wstring path = Logger::DefaultPath();
    for (int i = 0; i < 200 && !Utils::FileExists(path); ++i) {
        ::Sleep(10);
    }
    ::Sleep(100);
    {
        ScopedFileHandle locked(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(locked.IsValid());
        LOG_INFO(L"while locked");
        ::Sleep(300);
    }
    LOG_INFO(L"after unlock");
    EXPECT_EQ(log.Finish(), (std::vector<std::string>{"first", "after unlock"}));
}

TEST(LoggerTest, StopWritesEverythingQueuedAndDropsLaterLines) {
    kivotest::LogCapture log(Info);
    const int kThreads = 4, kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                LOG_INFO(std::to_wstring(t) + L":" + std::to_wstring(i));
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    StopLogging();
    LOG_INFO(L"after stop");
    std::vector<std::string> messages = log.Finish();
    ASSERT_EQ(messages.size(), static_cast<size_t>(kThreads * kLines));
    // Each thread's lines keep their order.
    std::vector<int> next(kThreads, 0);
    for (const std::string& m : messages) {
        int t = std::stoi(m.substr(0, m.find(':')));
        EXPECT_EQ(std::stoi(m.substr(m.find(':') + 1)), next[t]++);
    }
}

TEST(LoggerTest, NothingBeforeTheLoggerExists) {
    SetLogger(nullptr);
    EXPECT_FALSE(LogEnabled(Error));
    WriteLog(Error, L"f", L"1", L"F", L"ignored");  // must not crash
    StopLogging();
}

}  // namespace
