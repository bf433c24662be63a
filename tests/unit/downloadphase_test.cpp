#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <json/json.h>

#include "GlobalInfo.h"
#include "Md5.h"
#include "PackageService.h"
#include "ScopedWin.h"
#include "Setup.h"
#include "TestSupport.h"
#include "Utils.h"

using namespace kivoinstaller;

namespace {

using Steps = std::vector<std::pair<InstallStep, int>>;

// Collects the reports of one download phase and signals its end.
class PhaseRecorder {
public:
    PhaseRecorder() : done_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

    InstallStepCallback Callback() {
        return [this](InstallStep step, int value) {
            std::lock_guard<std::mutex> lock(mutex_);
            steps_.emplace_back(step, value);
            if (step == DownloadSuccess || step == DownloadFail) {
                ::SetEvent(done_.Get());
            }
        };
    }
    bool WaitDone() { return ::WaitForSingleObject(done_.Get(), 60000) == WAIT_OBJECT_0; }
    Steps Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return steps_;
    }

private:
    std::mutex mutex_;
    Steps steps_;
    ScopedHandle done_;
};

// The engine is one per process: the phases below run in order, each on
// what the one before left behind.
class DownloadPhaseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        service_ = new kivotest::PackageService(kivotest::EndpointPort());
        std::string package(1500000, '\0');
        for (size_t i = 0; i < package.size(); ++i) {
            package[i] = static_cast<char>(i * 13 + (i >> 9));
        }
        kivotest::WriteFileBytes(service_->FilesDir() + L"\\client.7z", package);
        md5_ = Md5::HexOf(package.data(), package.size());
    }
    static void TearDownTestSuite() {
        delete service_;
        service_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(service_->Started()); }

    // Serves config, runs one download phase and returns its reports.
    static Steps RunPhase(const Json::Value& config) {
        Json::Value command;
        command["config"] = config;
        EXPECT_TRUE(service_->Control(Json::writeString(Json::StreamWriterBuilder(), command)));
        kivoinstaller::Setup& setup = kivoinstaller::Setup::GetInstance();
        PhaseRecorder recorder;
        setup.SetCallback(recorder.Callback());
        // The engine takes a request only when idle, which it is again just
        // after the report that ended the previous phase.
        for (int attempt = 0; attempt < 50 && recorder.Take().empty(); ++attempt) {
            setup.StartDownload();
            ::Sleep(100);
        }
        EXPECT_TRUE(recorder.WaitDone());
        setup.SetCallback(InstallStepCallback());
        return recorder.Take();
    }

    static Json::Value FullConfig() {
        Json::Value config;
        config["DownloadUrl"] = "{base}/client.7z";
        config["Md5"] = md5_;
        config["Version"] = "7.6.0.1";
        config["LaunchCommand"] = "/from setup";
        config["DesktopIconUrl"] = "{base}/icon.ico";
        config["StartExternal"] = 1;
        return config;
    }

    static size_t FileRequests() { return service_->Records("file").size(); }

    static kivotest::PackageService* service_;
    static std::string md5_;
};
kivotest::PackageService* DownloadPhaseTest::service_ = nullptr;
std::string DownloadPhaseTest::md5_;

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST_F(DownloadPhaseTest, A_PhaseReportsAndStoresTheConfiguration) {
    kivotest::LogCapture log(Info);
    Steps steps = RunPhase(FullConfig());
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps.front(), std::make_pair(Downloading, 0));
    EXPECT_EQ(steps.back(), std::make_pair(DownloadSuccess, 50));
    for (size_t i = 1; i + 1 < steps.size(); ++i) {
        EXPECT_EQ(steps[i].first, Downloading);
        EXPECT_GE(steps[i].second, steps[i - 1].second);
        EXPECT_LE(steps[i].second, 50);
    }
    GlobalInfo& info = GlobalInfo::GetInstance();
    EXPECT_EQ(info.GetVersion(), L"7.6.0.1");
    EXPECT_EQ(info.GetLaunchCommand(), L"/from setup");
    EXPECT_EQ(info.GetDesktopIconUrl(), service_->WideUrl("/icon.ico"));
    EXPECT_TRUE(info.GetStartExternal());
    EXPECT_TRUE(Contains(log.Finish(), "Download success"));
}

TEST_F(DownloadPhaseTest, B_PlaceholdersKeepStoredValuesAndThePackageIsReused) {
    Json::Value config = FullConfig();
    config["Version"] = "7.6.0.2";
    config["LaunchCommand"] = "\"\"";
    config["DesktopIconUrl"] = "\"\"";
    config["StartExternal"] = 0;
    size_t before = FileRequests();
    kivotest::LogCapture log(Info);
    Steps steps = RunPhase(config);
    Steps expected = {{Downloading, 0}, {DownloadSuccess, 50}};
    EXPECT_EQ(steps, expected) << "a reused package reports no progress";
    EXPECT_EQ(FileRequests(), before);
    EXPECT_TRUE(Contains(log.Finish(), "File is Already Exists"));
    GlobalInfo& info = GlobalInfo::GetInstance();
    EXPECT_EQ(info.GetVersion(), L"7.6.0.2");
    EXPECT_EQ(info.GetLaunchCommand(), L"/from setup");
    EXPECT_EQ(info.GetDesktopIconUrl(), service_->WideUrl("/icon.ico"));
    EXPECT_FALSE(info.GetStartExternal());
}

TEST_F(DownloadPhaseTest, C_InvalidConfigurationFailsBeforeStoringAnything) {
    Json::Value config = FullConfig();
    config.removeMember("Md5");
    config["Version"] = "9.9.9.9";
    kivotest::LogCapture log(Info);
    Steps steps = RunPhase(config);
    Steps expected = {{Downloading, 0}, {DownloadFail, 0}};
    EXPECT_EQ(steps, expected);
    EXPECT_TRUE(Contains(log.Finish(), "Md5 is empty"));
    EXPECT_EQ(GlobalInfo::GetInstance().GetVersion(), L"7.6.0.2");
}

TEST_F(DownloadPhaseTest, D_UnusableServiceFallsBackToTheDefaultPackage) {
    ASSERT_TRUE(service_->Control(R"({"faults": ["drop", "drop", "drop"]})"));
    kivotest::LogCapture log(Info);
    Steps steps = RunPhase(FullConfig());
    EXPECT_EQ(steps.front(), std::make_pair(Downloading, 0));
    EXPECT_EQ(steps.back(), std::make_pair(DownloadFail, 0));
    std::vector<std::string> lines = log.Finish();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string("Post request failed: 52")), 3);
    EXPECT_TRUE(Contains(lines, "Get package config failed, use default"));
    EXPECT_TRUE(Contains(lines, "Download file md5 not match"));
    std::vector<Json::Value> missing = service_->Records("missing");
    ASSERT_FALSE(missing.empty());
    EXPECT_EQ(missing.back()["path"].asString(), "/kivopc/19881/7.5.1.0/KivoClientUpdate7.5.1.0.7z");
    GlobalInfo& info = GlobalInfo::GetInstance();
    EXPECT_EQ(info.GetVersion(), L"7.5.1.0");
    EXPECT_EQ(info.GetLaunchCommand(), L"/from setup") << "the default package has no launch command";
    EXPECT_FALSE(info.GetStartExternal());
}

}  // namespace
