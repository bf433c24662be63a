#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Md5.h"
#include "ScopedWin.h"
#include "TestSupport.h"
#include "Utils.h"

using namespace kivoinstaller;

namespace {

struct Vector {
    std::string input;
    const char* digest;
};

// The test suite of RFC 1321, appendix A.5, and two longer inputs.
const std::vector<Vector> kVectors = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
    {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
    {"The quick brown fox jumps over the lazy dog", "9e107d9d372bb6826bd81d3542a419d6"},
};

TEST(Md5Test, KnownVectors) {
    for (const Vector& v : kVectors) {
        EXPECT_EQ(Md5::HexOf(v.input.data(), v.input.size()), v.digest)
            << "input of " << v.input.size() << " bytes";
    }
}

TEST(Md5Test, FeedingInPiecesGivesTheSameDigest) {
    // Lengths around the 56-byte padding limit and the 64-byte block size.
    std::string data;
    for (int i = 0; i < 300; ++i) {
        data += static_cast<char>(i * 7 + 3);
    }
    for (size_t length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 121u, 128u, 300u}) {
        std::string whole = Md5::HexOf(data.data(), length);
        for (size_t piece : {1u, 3u, 63u, 64u, 65u}) {
            Md5 md5;
            for (size_t at = 0; at < length; at += piece) {
                md5.Update(data.data() + at, std::min(piece, length - at));
            }
            uint8_t digest[Md5::kDigestSize];
            md5.Final(digest);
            EXPECT_EQ(Md5::ToHex(digest), whole) << "length " << length << ", pieces of " << piece;
        }
    }
}

TEST(Md5Test, ContextCanBeReusedAfterInit) {
    Md5 md5;
    md5.Update("garbage", 7);
    uint8_t digest[Md5::kDigestSize];
    md5.Final(digest);
    md5.Init();
    md5.Update("abc", 3);
    md5.Final(digest);
    EXPECT_EQ(Md5::ToHex(digest), "900150983cd24fb0d6963f7d28e17f72");
}

class FileMd5Test : public ::testing::Test {
protected:
    void SetUp() override { dir_ = kivotest::MakeScratchDir(L"md5"); }
    void TearDown() override { Utils::DeleteDirectory(dir_); }
    std::wstring Write(const std::wstring& name, const std::string& bytes) {
        std::wstring path = dir_ + L"\\" + name;
        kivotest::WriteFileBytes(path, bytes);
        return path;
    }
    std::wstring dir_;
};

TEST_F(FileMd5Test, FilesOfKnownContent) {
    // Multi-block files cross the 4096-byte read size as well as the 64-byte block size.
    struct Case {
        std::string content;
        std::wstring digest;
    };
    const Case cases[] = {
        {"", L"d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", L"900150983cd24fb0d6963f7d28e17f72"},
        {std::string(1000000, 'a'), L"7707d6ae4e027c70eea2a935c2296f21"},
        {std::string(4096, 'b'), L"bdb166b6061ee9331efe719dcee62b41"},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::wstring path = Write(L"file" + std::to_wstring(n++), c.content);
        EXPECT_EQ(Utils::GetFileMd5String(path), c.digest) << c.content.size() << " bytes";
        unsigned char raw[16] = {};
        EXPECT_TRUE(Utils::GetFileMd5(path, raw));
        EXPECT_EQ(Utils::Utf8ToWide(Md5::ToHex(raw)), c.digest);
    }
}

TEST_F(FileMd5Test, UnreadableFilesHaveNoDigest) {
    unsigned char raw[16] = {};
    EXPECT_FALSE(Utils::GetFileMd5(dir_ + L"\\missing.bin", raw));
    EXPECT_EQ(Utils::GetFileMd5String(dir_ + L"\\missing.bin"), L"");
    EXPECT_EQ(Utils::GetFileMd5String(dir_), L"") << "a directory is no file";

    // Open elsewhere without read sharing.
    std::wstring locked = Write(L"locked.bin", "abc");
    ScopedFileHandle holder(::CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_EQ(Utils::GetFileMd5String(locked), L"");
    holder.Reset();
    EXPECT_EQ(Utils::GetFileMd5String(locked), L"900150983cd24fb0d6963f7d28e17f72");
}

TEST_F(FileMd5Test, DigestComparisonIgnoresLetterCase) {
    std::wstring path = Write(L"abc.bin", "abc");
    struct Case {
        const wchar_t* expected;
        bool matches;
    };
    const Case cases[] = {
        {L"900150983cd24fb0d6963f7d28e17f72", true},  {L"900150983CD24FB0D6963F7D28E17F72", true},
        {L"900150983cD24fB0d6963F7d28E17f72", true},  {L"900150983cd24fb0d6963f7d28e17f7", false},
        {L"900150983cd24fb0d6963f7d28e17f73", false}, {L"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utils::FileMd5Matches(path, c.expected), c.matches) << Utils::WideToUtf8(c.expected);
    }
    EXPECT_FALSE(Utils::FileMd5Matches(dir_ + L"\\missing.bin", L"")) << "no digest never matches";
}

TEST(MachineIdTest, DigestOfTheFingerprintText) {
    // Every WMI value empty and the account lookup failed: a single backslash.
    EXPECT_EQ(Utils::MachineIdOf(L"\\"), "28d397e87306b8631f3ed80d858d35f0");
    EXPECT_EQ(Utils::MachineIdOf(L""), "d41d8cd98f00b204e9800998ecf8427e");
    // The digest is taken over UTF-8.
    EXPECT_EQ(Utils::MachineIdOf(L"\u00e9"), Md5::HexOf("\xc3\xa9", 2));
}

}  // namespace
