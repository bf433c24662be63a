#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GlobalInfo.h"
#include "SampleClient.h"
#include "Setup.h"
#include "TestSupport.h"
#include "Utils.h"

using namespace kivoinstaller;

namespace {

// ctest runs this in a prefix reporting Windows 7, where the service is not
// supported; run by hand with KIVO_WINE_KIND=win10 it takes the other branch.
bool ServiceSupported() {
    return Utils::GetWindowsVersion() >= Win10 && Utils::IsWindows64Bit();
}

class ServiceTest : public ::testing::Test {
protected:
    // As in the installer: COM on the main thread, then the engine; its
    // start-up line stays out of the tests' logs.
    static void SetUpTestSuite() {
        ::CoInitialize(nullptr);
        kivoinstaller::Setup::GetInstance();
    }
    void SetUp() override {
        installDir_ = kivotest::MakeScratchDir(L"svc") + L"\\Kivo Client";
        Utils::CreateAllDirectories(installDir_ + L"\\Services\\UacService");
        GlobalInfo::GetInstance().SetInstallDir(installDir_);
    }

    std::wstring Installer() const { return installDir_ + L"\\Services\\KivoServerInstaller.exe"; }

    kivotest::SampleRecord record_;
    std::wstring installDir_;
};

TEST_F(ServiceTest, RunsTheServiceInstallerOnceWithItsSwitches) {
    ASSERT_TRUE(kivotest::PlaceSampleProgram(Installer()));
    kivotest::LogCapture log;
    bool finished = kivoinstaller::Setup::GetInstance().InstallUacServer();
    std::vector<std::string> messages = log.Finish();
    std::vector<kivotest::SampleRun> runs = record_.Runs();
    if (!ServiceSupported()) {
        EXPECT_FALSE(finished);
        EXPECT_EQ(messages, std::vector<std::string>{"UacService not support"});
        EXPECT_TRUE(runs.empty());
        return;
    }
    // Waited for: its line is there as soon as the call returns, and nothing is logged.
    EXPECT_TRUE(finished);
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].commandLine,
              Utils::WideToUtf8(L"\"" + Installer() + L"\" /UacService /Install /CopySelf /ServerFileDir=\"" +
                                installDir_ + L"\\Services\\UacService\""));
}

TEST_F(ServiceTest, MissingServiceInstaller) {
    kivotest::LogCapture log;
    EXPECT_FALSE(kivoinstaller::Setup::GetInstance().InstallUacServer());
    std::vector<std::string> messages = log.Finish();
    EXPECT_EQ(messages, std::vector<std::string>{ServiceSupported() ? "KivoServerInstaller.exe not exists"
                                                                    : "UacService not support"});
    EXPECT_TRUE(record_.Runs().empty());
}

}  // namespace
