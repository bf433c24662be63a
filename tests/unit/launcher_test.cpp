#include <gtest/gtest.h>

#include <string>

#include "SampleClient.h"
#include "ScopedWin.h"
#include "TestSupport.h"
#include "Utils.h"

using namespace kivoinstaller;

namespace {

TEST(LauncherTest, CommandLineQuotesTheProgramPath) {
    const struct {
        const wchar_t* path;
        const wchar_t* arguments;
        const wchar_t* commandLine;
    } cases[] = {
        {L"C:\\Program Files\\Kivo\\kivo.exe", L"", L"\"C:\\Program Files\\Kivo\\kivo.exe\" "},
        {L"C:\\Kivo\\kivo.exe", L"/auto", L"\"C:\\Kivo\\kivo.exe\" /auto"},
        {L"C:\\Kivo\\kivo.exe", L"-a \"b c\"", L"\"C:\\Kivo\\kivo.exe\" -a \"b c\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProcessLauncher::CommandLine(c.path, c.arguments), c.commandLine);
    }
}

// "dir with space\kivo.exe" next to a decoy "dir.exe": unquoted, the system
// would start the decoy.
TEST(LauncherTest, PathWithSpacesStartsExactlyThatProgram) {
    kivotest::SampleRecord record;
    std::wstring scratch = kivotest::MakeScratchDir(L"launch");
    std::wstring program = scratch + L"\\dir with space\\kivo.exe";
    ASSERT_TRUE(kivotest::PlaceSampleProgram(program));
    ASSERT_TRUE(kivotest::PlaceSampleProgram(scratch + L"\\dir.exe"));

    for (const std::wstring& arguments : {std::wstring(L"/auto"), std::wstring()}) {
        ProcessLauncher launcher;
        ASSERT_TRUE(launcher.Run(program, arguments));
        ASSERT_NE(launcher.ProcessHandle(), nullptr);
        ASSERT_EQ(::WaitForSingleObject(launcher.ProcessHandle(), 30000), WAIT_OBJECT_0);
        // The handle stays usable until the launcher goes away.
        DWORD code = 1;
        EXPECT_TRUE(::GetExitCodeProcess(launcher.ProcessHandle(), &code));
        EXPECT_EQ(code, 0u);
        kivotest::SampleRun run;
        ASSERT_TRUE(record.WaitForRun(launcher.ProcessId(), &run));
        EXPECT_EQ(run.path, Utils::WideToUtf8(program));
        EXPECT_EQ(run.commandLine, Utils::WideToUtf8(L"\"" + program + L"\" " + arguments));
    }
    EXPECT_EQ(record.Runs().size(), 2u);
}

TEST(LauncherTest, MissingProgramIsNotStarted) {
    ProcessLauncher launcher;
    EXPECT_FALSE(launcher.Run(L"C:\\no such dir\\kivo.exe", L""));
    EXPECT_EQ(launcher.ProcessHandle(), nullptr);
    EXPECT_EQ(launcher.ProcessId(), 0u);
}

TEST(LauncherTest, FindsTheDesktopShellOfThisSession) {
    // Wine starts its desktop shell with the first window station use.
    ::GetDesktopWindow();
    DWORD session = 0;
    ASSERT_TRUE(::ProcessIdToSessionId(::GetCurrentProcessId(), &session));
    DWORD explorer = 0;
    ASSERT_TRUE(kivotest::WaitUntil([&] { return Utils::FindProcessIdByName(L"EXPLORER.EXE", &explorer); }));
    EXPECT_NE(explorer, 0u);
    DWORD same = 0;
    EXPECT_TRUE(Utils::FindProcessIdByName(L"explorer.exe", &same, session));
    EXPECT_EQ(same, explorer);
    DWORD other = 0;
    EXPECT_FALSE(Utils::FindProcessIdByName(L"explorer.exe", &other, session + 1000));
    EXPECT_FALSE(Utils::FindProcessIdByName(L"no-such-program.exe", &other));
}

TEST(LauncherTest, DuplicatesAPrimaryToken) {
    ScopedHandle token;
    EXPECT_FALSE(Utils::DuplicateProcessToken(0, &token));
    EXPECT_FALSE(Utils::DuplicateProcessToken(::GetCurrentProcessId(), nullptr));
    EXPECT_FALSE(Utils::DuplicateProcessToken(0x7FFFFFF0, &token));
    ASSERT_TRUE(Utils::DuplicateProcessToken(::GetCurrentProcessId(), &token));
    TOKEN_TYPE type = TokenImpersonation;
    DWORD size = 0;
    ASSERT_TRUE(::GetTokenInformation(token.Get(), TokenType, &type, sizeof(type), &size));
    EXPECT_EQ(type, TokenPrimary);
}

TEST(LauncherTest, RunsWithTheDesktopShellsToken) {
    kivotest::SampleRecord record;
    ::GetDesktopWindow();
    std::wstring program = kivotest::MakeScratchDir(L"explorer") + L"\\Client\\KvExternal.exe";
    ASSERT_TRUE(kivotest::PlaceSampleProgram(program));
    ProcessLauncher launcher;
    ASSERT_TRUE(launcher.RunAsExplorerToken(program, L""));
    ASSERT_EQ(::WaitForSingleObject(launcher.ProcessHandle(), 30000), WAIT_OBJECT_0);
    kivotest::SampleRun run;
    ASSERT_TRUE(record.WaitForRun(launcher.ProcessId(), &run));
    EXPECT_EQ(run.commandLine, Utils::WideToUtf8(L"\"" + program + L"\" "));
}

}  // namespace
