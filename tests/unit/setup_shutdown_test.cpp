#include <gtest/gtest.h>

#include "Setup.h"
#include "TestSupport.h"

using namespace kivoinstaller;

namespace {

// A fresh process: the engine idles, and shutdown removes the package file.
TEST(SetupShutdownTest, DeletesPackageFileAndEndsThread) {
    kivotest::LogCapture log(Info);
    kivoinstaller::Setup& setup = kivoinstaller::Setup::GetInstance();
    std::wstring path = setup.PackagePath();
    kivotest::WriteFileBytes(path, "partial package");
    ASSERT_TRUE(Utils::FileExists(path));
    setup.Shutdown();
    EXPECT_FALSE(Utils::FileExists(path));
    std::vector<std::string> lines = log.Finish();
    std::vector<std::string> expected = {"DonwloadPath is: " + Utils::WideToUtf8(path), "Exit Installer thread",
                                         "Installer thread exit"};
    EXPECT_EQ(lines, expected);
}

}  // namespace
