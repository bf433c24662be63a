#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "ScopedWin.h"
#include "Setup.h"
#include "TestSupport.h"

using namespace kivoinstaller;

namespace {

// Records reports with the thread they arrived on.
struct Recorder {
    struct Entry {
        InstallStep step;
        int value;
        DWORD thread;
    };
    std::mutex mutex;
    std::vector<Entry> entries;
    ScopedHandle terminal{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};

    InstallStepCallback Callback() {
        return [this](InstallStep step, int value) {
            std::lock_guard<std::mutex> lock(mutex);
            entries.push_back({step, value, ::GetCurrentThreadId()});
            if (IsTerminalStep(step) && step != DownloadFail) {
                ::SetEvent(terminal.Get());
            }
        };
    }
    std::vector<std::pair<InstallStep, int>> Steps() {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<std::pair<InstallStep, int>> out;
        for (const Entry& e : entries) {
            out.emplace_back(e.step, e.value);
        }
        return out;
    }
    size_t Count(InstallStep step) {
        size_t n = 0;
        for (auto& s : Steps()) {
            n += s.first == step;
        }
        return n;
    }
};

bool WaitFor(const std::function<bool()>& condition, int ms = 60000) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (condition()) {
            return true;
        }
        ::Sleep(20);
    }
    return condition();
}

// The engine is one object per process with one thread, so these run in
// order as one story, ending with the shutdown.
class SetupTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { log_ = new kivotest::LogCapture(Info); }
    static kivotest::LogCapture* log_;
};
kivotest::LogCapture* SetupTest::log_ = nullptr;

TEST_F(SetupTest, A_EmptyCallbackReceivesNothing) {
    kivoinstaller::Setup& setup = kivoinstaller::Setup::GetInstance();
    setup.SetCallback(InstallStepCallback());
    setup.Report(Start, 0);  // no callback: dropped, no crash
    EXPECT_FALSE(setup.IsExitRequested());
    std::wstring path = setup.PackagePath();
    EXPECT_EQ(path.rfind(Utils::GetTempDirectory(), 0), 0u);
    EXPECT_EQ(path.substr(path.size() - 5), L".kvdl");
}

TEST_F(SetupTest, B_StartInstallWhileIdleRunsDownloadThenInstall) {
    // No package service is listening, so the download phase fails and the
    // install phase that follows finds no package.
    kivoinstaller::Setup& setup = kivoinstaller::Setup::GetInstance();
    Recorder recorder;
    setup.SetCallback(recorder.Callback());
    setup.StartInstall();
    ASSERT_TRUE(WaitFor([&] { return recorder.Count(DownloadFail) == 2; }));
    setup.SetCallback(InstallStepCallback());
    std::vector<std::pair<InstallStep, int>> expected = {
        {Start, 0}, {Downloading, 0}, {DownloadFail, 0}, {DownloadFail, 0}};
    std::vector<std::pair<InstallStep, int>> steps = recorder.Steps();
    // Downloading progress from a partial transfer may appear; the frame must not change.
    steps.erase(std::remove_if(steps.begin() + 2, steps.end(),
                               [](const std::pair<InstallStep, int>& s) { return s.first == Downloading; }),
                steps.end());
    EXPECT_EQ(steps, expected);
    // Start is reported on the caller's thread, the rest on the installer thread.
    EXPECT_EQ(recorder.entries[0].thread, ::GetCurrentThreadId());
    EXPECT_NE(recorder.entries[1].thread, ::GetCurrentThreadId());
}

TEST_F(SetupTest, C_SetCallbackWaitsForReportInProgress) {
    kivoinstaller::Setup& setup = kivoinstaller::Setup::GetInstance();
    ScopedHandle inside(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ScopedHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> reportDone{false};
    setup.SetCallback([&](InstallStep, int) {
        ::SetEvent(inside.Get());
        ::WaitForSingleObject(release.Get(), INFINITE);
        reportDone = true;
    });
    std::thread reporter([&] { setup.Report(Downloading, 7); });
    ASSERT_EQ(::WaitForSingleObject(inside.Get(), 5000), WAIT_OBJECT_0);
    std::atomic<bool> replaced{false};
    std::thread replacer([&] {
        setup.SetCallback(InstallStepCallback());
        replaced = true;
    });
    ::Sleep(300);
    EXPECT_FALSE(replaced);
    ::SetEvent(release.Get());
    reporter.join();
    replacer.join();
    EXPECT_TRUE(reportDone);
    EXPECT_TRUE(replaced);
}

TEST_F(SetupTest, D_ExitWinsOverPendingInstall) {
    kivoinstaller::Setup& setup = kivoinstaller::Setup::GetInstance();
    ScopedHandle inDownload(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ScopedHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Recorder recorder;
    InstallStepCallback record = recorder.Callback();
    setup.SetCallback([&](InstallStep step, int value) {
        record(step, value);
        if (step == Downloading && value == 0) {
            // Hold the download phase while an install is queued and exit requested.
            ::SetEvent(inDownload.Get());
            ::WaitForSingleObject(release.Get(), INFINITE);
        }
    });
    std::thread starter([&] { setup.StartInstall(); });
    ASSERT_EQ(::WaitForSingleObject(inDownload.Get(), 10000), WAIT_OBJECT_0);
    starter.join();

    // Shutdown joins the thread, so it runs beside us; the package path may
    // name a directory, which shutdown must leave alone.
    // The failed download of the earlier story may have left a file there.
    std::wstring packagePath = setup.PackagePath();
    ::DeleteFileW(packagePath.c_str());
    EXPECT_TRUE(::CreateDirectoryW(packagePath.c_str(), nullptr));
    std::thread stopper([&] { setup.Shutdown(); });
    EXPECT_TRUE(WaitFor([&] { return setup.IsExitRequested(); }, 5000));
    ::SetEvent(release.Get());
    stopper.join();

    std::vector<std::string> lines = log_->Finish();
    EXPECT_EQ(recorder.Count(DownloadFail), 1u) << "no install phase may run after the exit request";
    EXPECT_TRUE(log_->Contains("Exit Installer thread"));
    EXPECT_TRUE(log_->Contains("Installer thread exit"));
    size_t installs = std::count(lines.begin(), lines.end(), std::string("Start install"));
    EXPECT_EQ(installs, 1u) << "only the earlier story's install phase";
    EXPECT_TRUE(Utils::DirectoryExists(packagePath));
    ::RemoveDirectoryW(packagePath.c_str());
}

TEST(TaskTest, WaitsOnceAndKeepsResult) {
    std::atomic<int> runs{0};
    Task<std::wstring> task([&] {
        ++runs;
        ::Sleep(50);
        return std::wstring(L"done");
    });
    EXPECT_TRUE(task.IsRunning());
    task.Wait();
    EXPECT_FALSE(task.IsRunning());
    EXPECT_EQ(task.GetResult(), L"done");
    task.Wait();
    EXPECT_EQ(runs, 1);
}

TEST(TaskTest, DestructorWaitsForTheThread) {
    std::atomic<bool> finished{false};
    {
        Task<int> task([&] {
            ::Sleep(100);
            finished = true;
            return 1;
        });
    }
    EXPECT_TRUE(finished);
}

}  // namespace
