#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <json/json.h>

#include "Md5.h"
#include "PackageService.h"
#include "Setup.h"
#include "TestSupport.h"
#include "Utils.h"

using namespace kivoinstaller;

namespace {

using Steps = std::vector<std::pair<InstallStep, int>>;

class StepRecorder {
public:
    InstallStepCallback Callback() {
        return [this](InstallStep step, int value) {
            std::lock_guard<std::mutex> lock(mutex_);
            steps_.emplace_back(step, value);
        };
    }
    Steps Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::move(steps_);
    }

private:
    std::mutex mutex_;
    Steps steps_;
};

TEST(DownloadNamesTest, TemporaryPathAndAgent) {
    std::wstring first = GetTempDownloadPath();
    std::wstring second = GetTempDownloadPath();
    EXPECT_NE(first, second);
    std::wstring temp = Utils::GetTempDirectory();
    ASSERT_EQ(first.compare(0, temp.size(), temp), 0) << Utils::WideToUtf8(first);
    std::wstring name = first.substr(temp.size());
    ASSERT_EQ(name.size(), 36u + 5u) << Utils::WideToUtf8(name);
    EXPECT_EQ(name.substr(36), L".kvdl");
    for (size_t i = 0; i < 36; ++i) {
        wchar_t c = name[i];
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        EXPECT_TRUE(dash ? c == L'-' : ((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f')))
            << Utils::WideToUtf8(name);
    }
    // The test program carries no version resource.
    EXPECT_EQ(GetSetupUserAgent(), L"KivoPCSetup/" + GetOwnFileVersion());
}

TEST(DownloadNamesTest, PercentOfTheFirstHalf) {
    struct Case {
        long long total, received;
        int percent;
    };
    const Case cases[] = {
        {100, 0, 0},   {100, 1, 0},   {100, 2, 1},
        {100, 50, 25}, {100, 99, 49}, {100, 100, 50},
        {3, 1, 16},    {3, 2, 33},    {200LL * 1024 * 1024 * 1024, 200LL * 1024 * 1024 * 1024 - 1, 49}};
    for (const Case& c : cases) {
        EXPECT_EQ(DownloadPercent(c.total, c.received), c.percent) << c.total << " " << c.received;
    }
}

// The engine and its package path are one per process: these run in order,
// and the last one sets the exit event.
class DownloadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        service_ = new kivotest::PackageService(0);
        for (int i = 0; i < 2000000; ++i) {
            content_ += static_cast<char>((i * 31) >> 3);
        }
        kivotest::WriteFileBytes(service_->FilesDir() + L"\\package.7z", content_);
        md5_ = Utils::Utf8ToWide(Md5::HexOf(content_.data(), content_.size()));
    }
    static void TearDownTestSuite() {
        kivoinstaller::Setup::GetInstance().SetCallback(InstallStepCallback());
        delete service_;
        service_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(service_->Started());
        kivoinstaller::Setup::GetInstance().SetCallback(recorder_.Callback());
    }
    void TearDown() override { kivoinstaller::Setup::GetInstance().SetCallback(InstallStepCallback()); }

    static PackageConfig Config(const std::string& path, const std::wstring& md5) {
        PackageConfig config;
        config.DownloadUrl = service_->WideUrl(path);
        config.Md5 = md5;
        config.Version = L"7.6.0.1";
        return config;
    }
    static size_t FileRequests() {
        return service_->Records("file").size() + service_->Records("missing").size();
    }

    StepRecorder recorder_;
    static kivotest::PackageService* service_;
    static std::string content_;
    static std::wstring md5_;
};
kivotest::PackageService* DownloadTest::service_ = nullptr;
std::string DownloadTest::content_;
std::wstring DownloadTest::md5_;

TEST_F(DownloadTest, A_NotFoundPageFailsItsDigest) {
    kivotest::LogCapture log(Info);
    EXPECT_FALSE(kivoinstaller::Setup::GetInstance().DownloadInstallPackage(Config("/no/such.7z", md5_)));
    std::vector<std::string> expected = {"Download file md5 not match"};
    EXPECT_EQ(log.Finish(), expected);
    EXPECT_TRUE(Utils::FileExists(kivoinstaller::Setup::GetInstance().PackagePath())) << "the error page stays for a retry";
}

TEST_F(DownloadTest, B_DirectoryInThePackagePlaceFailsWithoutRequest) {
    std::wstring path = kivoinstaller::Setup::GetInstance().PackagePath();
    ASSERT_TRUE(::DeleteFileW(path.c_str()));
    ASSERT_TRUE(::CreateDirectoryW(path.c_str(), nullptr));
    size_t before = FileRequests();
    kivotest::LogCapture log(Info);
    EXPECT_FALSE(kivoinstaller::Setup::GetInstance().DownloadInstallPackage(Config("/package.7z", md5_)));
    std::vector<std::string> expected = {"Download failed: 23"};
    EXPECT_EQ(log.Finish(), expected);
    EXPECT_EQ(FileRequests(), before);
    ::RemoveDirectoryW(path.c_str());
}

TEST_F(DownloadTest, C_ProgressRisesToFiftyAndTheDigestMatchesInAnyCase) {
    std::wstring upper = md5_;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::towupper);
    kivotest::LogCapture log(Info);
    EXPECT_TRUE(kivoinstaller::Setup::GetInstance().DownloadInstallPackage(Config("/package.7z?throttle=4000000", upper)));
    std::vector<std::string> expected = {"Download success"};
    EXPECT_EQ(log.Finish(), expected);
    EXPECT_EQ(Utils::GetFileMd5String(kivoinstaller::Setup::GetInstance().PackagePath()), md5_);

    Steps steps = recorder_.Take();
    ASSERT_GE(steps.size(), 3u) << "a throttled transfer ticks many times";
    int last = -1;
    for (const auto& step : steps) {
        EXPECT_EQ(step.first, Downloading);
        EXPECT_GT(step.second, last) << "each value once, rising";
        EXPECT_GE(step.second, 0);
        EXPECT_LE(step.second, 50);
        last = step.second;
    }
    EXPECT_EQ(steps.back().second, 50);

    Json::Value request = service_->Records("file").back();
    EXPECT_EQ(request["headers"]["User-Agent"].asString(), Utils::WideToUtf8(GetSetupUserAgent()));
}

TEST_F(DownloadTest, D_VerifiedFileIsReusedWithoutRequest) {
    size_t before = FileRequests();
    kivotest::LogCapture log(Info);
    EXPECT_TRUE(kivoinstaller::Setup::GetInstance().DownloadInstallPackage(Config("/package.7z", md5_)));
    std::vector<std::string> expected = {"File is Already Exists"};
    EXPECT_EQ(log.Finish(), expected);
    EXPECT_EQ(FileRequests(), before);
    EXPECT_TRUE(recorder_.Take().empty()) << "no progress for a reused file";
}

TEST_F(DownloadTest, E_OtherDigestDownloadsAgain) {
    std::string other = "another package";
    kivotest::WriteFileBytes(service_->FilesDir() + L"\\other.7z", other);
    size_t before = FileRequests();
    kivotest::LogCapture log(Info);
    EXPECT_TRUE(kivoinstaller::Setup::GetInstance().DownloadInstallPackage(
        Config("/other.7z", Utils::Utf8ToWide(Md5::HexOf(other.data(), other.size())))));
    std::vector<std::string> expected = {"Download success"};
    EXPECT_EQ(log.Finish(), expected);
    EXPECT_EQ(FileRequests(), before + 1);
}

TEST_F(DownloadTest, F_ExitEventCancelsTheTransfer) {
    kivoinstaller::Setup& setup = kivoinstaller::Setup::GetInstance();
    setup.SetCallback([&setup](InstallStep, int value) {
        if (value >= 5) {
            ::SetEvent(setup.ExitEvent());
        }
    });
    kivotest::LogCapture log(Info);
    EXPECT_FALSE(setup.DownloadInstallPackage(Config("/package.7z?throttle=1000000", md5_)));
    std::vector<std::string> lines = log.Finish();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Download failed: 42"), lines.end());
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "Download success"), lines.end());
}

}  // namespace
