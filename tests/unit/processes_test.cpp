#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "SampleClient.h"
#include "ScopedWin.h"
#include "TestSupport.h"
#include "Utils.h"

using namespace kivoinstaller;

namespace {

TEST(ProcessMatchTest, WholeComponentsWithoutCase) {
    struct Case {
        const wchar_t* image;
        const wchar_t* dir;
        bool inside;
    };
    const Case cases[] = {
        {L"C:\\Program Files\\Kivo\\kivo.exe", L"C:\\Program Files\\Kivo", true},
        {L"C:\\Program Files\\Kivo\\Client\\KvExternal.exe", L"C:\\Program Files\\Kivo", true},
        {L"C:\\PROGRAM FILES\\KIVO\\kivo.exe", L"c:\\program files\\kivo", true},
        {L"C:\\Program Files\\Kivo\\kivo.exe", L"C:\\Program Files\\Kivo\\", true},
        {L"C:\\Program Files\\Kivo\\kivo.exe", L"C:/Program Files/Kivo/", true},
        {L"C:\\Program Files\\Kivo2\\app.exe", L"C:\\Program Files\\Kivo", false},
        {L"C:\\Program Files\\KivoClient\\app.exe", L"C:\\Program Files\\Kivo", false},
        {L"C:\\Program Files\\app.exe", L"C:\\Program Files\\Kivo", false},
        {L"C:\\Program Files\\Kivo", L"C:\\Program Files\\Kivo", false},
        {L"C:\\Windows\\explorer.exe", L"", false},
        {L"", L"", false},
        {L"", L"C:\\Program Files\\Kivo", false},
        {L"kivo.exe", L"C:\\Program Files\\Kivo", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utils::IsPathInDirectory(c.image, c.dir), c.inside)
            << Utils::WideToUtf8(c.image) << " in " << Utils::WideToUtf8(c.dir);
    }
}

// Lingering sample programs in an install directory, in a subdirectory of it
// and in a sibling whose name begins like it.
class ProcessesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::wstring scratch = kivotest::MakeScratchDir(L"proc");
        install_ = scratch + L"\\Kivo";
        const std::wstring places[] = {install_ + L"\\kivo.exe", install_ + L"\\Client\\KvExternal.exe",
                                       scratch + L"\\Kivo2\\app.exe"};
        for (const std::wstring& place : places) {
            ASSERT_TRUE(kivotest::PlaceSampleProgram(place));
            auto launcher = std::make_unique<ProcessLauncher>();
            ASSERT_TRUE(launcher->Run(place, L"/linger=120000"));
            ASSERT_TRUE(record_.WaitForRun(launcher->ProcessId()));
            launchers_.push_back(std::move(launcher));
        }
    }
    void TearDown() override {
        for (const auto& launcher : launchers_) {
            ::TerminateProcess(launcher->ProcessHandle(), 0);
        }
    }

    DWORD Id(size_t i) const { return launchers_[i]->ProcessId(); }
    HANDLE Handle(size_t i) const { return launchers_[i]->ProcessHandle(); }

    kivotest::SampleRecord record_;
    std::wstring install_;
    std::vector<std::unique_ptr<ProcessLauncher>> launchers_;
};

TEST_F(ProcessesTest, ListsProgramsInAndBelowTheDirectoryOnly) {
    for (const std::wstring& dir : {install_, install_ + L"\\"}) {
        std::vector<DWORD> ids = {42};
        kivotest::LogCapture log;
        Utils::GetProcessesInDirectory(dir, ids);
        log.Finish();
        // Appended to what the caller had, in snapshot order.
        ASSERT_FALSE(ids.empty());
        EXPECT_EQ(ids[0], 42u);
        std::sort(ids.begin(), ids.end());
        std::vector<DWORD> expected = {42, Id(0), Id(1)};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(ids, expected);
        EXPECT_TRUE(log.Contains("Process in directory: kivo.exe, ProcessId: " + std::to_string(Id(0))));
        EXPECT_TRUE(
            log.Contains("Process in directory: KvExternal.exe, ProcessId: " + std::to_string(Id(1))));
    }
    std::vector<DWORD> none;
    Utils::GetProcessesInDirectory(L"", none);
    EXPECT_TRUE(none.empty());
}

TEST_F(ProcessesTest, TerminatesListedProgramsButNeverItself) {
    const DWORD self = ::GetCurrentProcessId();
    const DWORD gone = 0x7FFFFFF0;
    kivotest::LogCapture log;
    Utils::KillPorcessesById({Id(0), self, gone, Id(1)});
    log.Finish();
    for (size_t i : {0, 1}) {
        ASSERT_EQ(::WaitForSingleObject(Handle(i), 10000), WAIT_OBJECT_0);
        DWORD code = 0;
        ::GetExitCodeProcess(Handle(i), &code);
        EXPECT_EQ(code, 0xFFFFFFFFu);
        EXPECT_TRUE(log.Contains("terminate process: " + std::to_string(Id(i)) + " , ret = 1"));
    }
    EXPECT_TRUE(log.Contains("skip kill self process"));
    EXPECT_TRUE(log.Contains("open process failed: " + std::to_string(gone)));
    // The sibling directory's program was not listed and keeps running.
    EXPECT_EQ(::WaitForSingleObject(Handle(2), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

}  // namespace
