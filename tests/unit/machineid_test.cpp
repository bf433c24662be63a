#include <gtest/gtest.h>

#include <windows.h>
#include <lmcons.h>
#include <objbase.h>

#include <cwctype>
#include <string>
#include <thread>

#include "Md5.h"
#include "ScopedWin.h"
#include "TestSupport.h"
#include "Utils.h"

using namespace kivoinstaller;

namespace {

// Runs GetMachineIdStr on a thread already in the multithreaded apartment,
// where the single-threaded CoInitialize of the computation must fail.
std::string MachineIdFromMultithreadedApartment() {
    std::string id = "not called";
    std::thread thread([&id] {
        HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        id = Utils::GetMachineIdStr();
        if (SUCCEEDED(hr)) {
            ::CoUninitialize();
        }
    });
    thread.join();
    return id;
}

bool IsLowerHex(const std::string& text) {
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

// The id is cached for the process, so the order of these steps is the test.
TEST(MachineIdTest, ComFailureIsNotCachedAndTheComputedIdIs) {
    kivotest::LogCapture log(Info);
    EXPECT_EQ(MachineIdFromMultithreadedApartment(), "");

    std::wstring fingerprint;
    {
        ScopedCoInitialize com;
        ASSERT_TRUE(com.Succeeded());
        fingerprint =
            Utils::QueryWmiProperty(L"MacAddress", L"Win32_NetworkAdapterConfiguration where IPEnabled=1") +
            Utils::QueryWmiProperty(L"processorid", L"win32_processor") +
            Utils::QueryWmiProperty(L"Signature", L"Win32_DiskDrive") +
            Utils::QueryWmiProperty(L"SerialNumber", L"Win32_BaseBoard") + Utils::GetCurrentAccountName();
    }
    std::string id = Utils::GetMachineIdStr();
    EXPECT_EQ(id.size(), 32u);
    EXPECT_TRUE(IsLowerHex(id)) << id;
    EXPECT_EQ(id, Utils::MachineIdOf(fingerprint)) << Utils::WideToUtf8(fingerprint);

    // Cached: no COM initialisation is attempted, so the apartment does not matter now.
    EXPECT_EQ(MachineIdFromMultithreadedApartment(), id);
    EXPECT_EQ(Utils::GetMachineIdStr(), id);

    std::vector<std::string> lines = log.Finish();
    // RPC_E_CHANGED_MODE, logged once: only the first call tried.
    std::vector<std::string> expected = {"Failed to initialize COM: -2147417850"};
    EXPECT_EQ(lines, expected);
}

TEST(MachineIdTest, AccountNameIsDomainBackslashUser) {
    wchar_t user[UNLEN + 1] = {};
    DWORD size = UNLEN + 1;
    ASSERT_TRUE(::GetUserNameW(user, &size));
    std::wstring account = Utils::GetCurrentAccountName();
    size_t slash = account.find(L'\\');
    ASSERT_NE(slash, std::wstring::npos) << Utils::WideToUtf8(account);
    EXPECT_GT(slash, 0u) << "a domain is named";
    EXPECT_EQ(account.substr(slash + 1), user);
}

TEST(MachineIdTest, WmiPropertiesOfTextAndNumberType) {
    ScopedCoInitialize com;
    ASSERT_TRUE(com.Succeeded());
    // A text property.
    EXPECT_NE(Utils::QueryWmiProperty(L"Caption", L"Win32_OperatingSystem"), L"");
    // A 32-bit integer property comes back as unsigned decimal text.
    std::wstring cores = Utils::QueryWmiProperty(L"NumberOfCores", L"Win32_Processor");
    ASSERT_FALSE(cores.empty());
    for (wchar_t c : cores) {
        EXPECT_TRUE(iswdigit(c)) << Utils::WideToUtf8(cores);
    }
    EXPECT_GT(std::stoul(cores), 0ul);
    // A condition that matches no instance, an unknown class and an unknown property give nothing.
    EXPECT_EQ(Utils::QueryWmiProperty(L"Caption", L"Win32_OperatingSystem where Caption='none'"), L"");
    EXPECT_EQ(Utils::QueryWmiProperty(L"Caption", L"Win32_NoSuchClass"), L"");
    EXPECT_EQ(Utils::QueryWmiProperty(L"NoSuchProperty", L"Win32_OperatingSystem"), L"");
}

}  // namespace
