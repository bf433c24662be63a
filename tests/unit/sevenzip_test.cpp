#include <gtest/gtest.h>

#include <7zCrc.h>

#include <algorithm>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ScopedWin.h"
#include "SevenZipHelper.h"
#include "TestSupport.h"

using namespace kivoinstaller;

namespace {

// Archives packed by 7zz at build time (tools/sample-client/make_packages.py).
std::wstring TestArchive(const std::wstring& name) {
    return Utils::PathJoin({kivotest::EnvPath("KIVO_BUILD_DIR_WIN"), L"sample-packages\\tests", name});
}

std::string ReadBytes(const std::wstring& path) {
    ScopedFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return "<missing>";
    }
    std::string bytes(::GetFileSize(file.Get(), nullptr), '\0');
    DWORD read = 0;
    ::ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

// Every file and directory below dir, relative, sorted.
std::vector<std::wstring> ListTree(const std::wstring& dir, const std::wstring& prefix = L"") {
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW data = {};
    ScopedFindHandle find(::FindFirstFileW((dir + L"\\*").c_str(), &data));
    if (!find) {
        return out;
    }
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        out.push_back(prefix + name);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (const std::wstring& child : ListTree(dir + L"\\" + name, prefix + name + L"\\")) {
                out.push_back(child);
            }
        }
    } while (::FindNextFileW(find.Get(), &data));
    std::sort(out.begin(), out.end());
    return out;
}

std::string Narrow(const std::wstring& text) {
    return Utils::WideToUtf8(text);
}

class SevenZipTest : public ::testing::Test {
protected:
    // The entry point builds the CRC table before any extraction.
    static void SetUpTestSuite() { CrcGenerateTable(); }
    void SetUp() override { out_ = kivotest::MakeScratchDir(L"7z") + L"\\out"; }

    bool Extract(const std::wstring& archive, HANDLE cancel = nullptr) {
        progress_.clear();
        return SevenZipHelper::ExtractArchive(
            TestArchive(archive), out_, cancel,
            [this](uint64_t total, uint64_t done) { progress_.emplace_back(total, done); });
    }

    std::wstring out_;
    std::vector<std::pair<uint64_t, uint64_t>> progress_;
};

TEST_F(SevenZipTest, DirectoriesFilesAndEmptyFile) {
    kivotest::LogCapture log;
    ASSERT_TRUE(Extract(L"tree.7z"));
    // The output directory did not exist: it is created with its parents.
    std::vector<std::wstring> expected = {L"dir",       L"dir\\a.txt", L"dir\\sub", L"dir\\sub\\b.bin",
                                          L"empty.txt", L"top.txt"};
    EXPECT_EQ(ListTree(out_), expected);
    EXPECT_EQ(ReadBytes(out_ + L"\\dir\\a.txt"), "alpha\r\n");
    EXPECT_EQ(ReadBytes(out_ + L"\\dir\\sub\\b.bin").size(), 256u * 64);
    EXPECT_EQ(ReadBytes(out_ + L"\\empty.txt"), "");
    EXPECT_EQ(ReadBytes(out_ + L"\\top.txt"), "top level\r\n");

    // One report per file after it is written, directories excluded; the total
    // is known from the first report on.
    const uint64_t total = 7 + 256 * 64 + 0 + 11;
    ASSERT_EQ(progress_.size(), 4u);
    uint64_t previous = 0;
    for (const auto& report : progress_) {
        EXPECT_EQ(report.first, total);
        EXPECT_GE(report.second, previous);
        previous = report.second;
    }
    EXPECT_EQ(progress_.back().second, total);
    for (const std::string& message : log.Finish()) {
        EXPECT_EQ(message.find("failed"), std::string::npos) << message;
    }
}

TEST_F(SevenZipTest, ReplacesExistingFilesAndKeepsOthers) {
    ASSERT_TRUE(Utils::CreateAllDirectories(out_));
    kivotest::WriteFileBytes(out_ + L"\\top.txt", std::string(5000, 'x'));
    kivotest::WriteFileBytes(out_ + L"\\mine.txt", "not in the archive");
    ASSERT_TRUE(Extract(L"tree.7z"));
    EXPECT_EQ(ReadBytes(out_ + L"\\top.txt"), "top level\r\n");
    EXPECT_EQ(ReadBytes(out_ + L"\\mine.txt"), "not in the archive");
}

TEST_F(SevenZipTest, PosixAttributesKeepOnlyTheLowBits) {
    ASSERT_TRUE(Extract(L"readonly.7z"));
    DWORD attributes = ::GetFileAttributesW((out_ + L"\\ro.txt").c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    // 7zz on Linux stores 0x8000 | mode << 16 | the Windows bits (here R and A).
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(attributes & ~0x7FFFu, 0u);
}

TEST_F(SevenZipTest, ReadOnlyFileInTheWayIsAccessDenied) {
    ASSERT_TRUE(Extract(L"readonly.7z"));
    // Wine maps the read-only attribute to the Unix mode, which root ignores.
    ScopedFileHandle probe(::CreateFileW((out_ + L"\\ro.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
    if (probe) {
        GTEST_SKIP() << "this system lets the process write to read-only files";
    }
    kivotest::LogCapture log;
    EXPECT_FALSE(Extract(L"readonly.7z"));
    log.Finish();
    EXPECT_TRUE(log.Contains("Open output file failed: " + Narrow(out_) + "\\ro.txt, wres: 5"));
    EXPECT_TRUE(progress_.empty());
}

TEST_F(SevenZipTest, DirectoryInTheWayIsAccessDenied) {
    ASSERT_TRUE(Utils::CreateAllDirectories(out_ + L"\\top.txt"));
    kivotest::LogCapture log;
    EXPECT_FALSE(Extract(L"tree.7z"));
    log.Finish();
    EXPECT_TRUE(log.Contains("Open output file failed: " + Narrow(out_) + "\\top.txt, wres: 5"));
    // The files before it in the archive stay written.
    EXPECT_EQ(ReadBytes(out_ + L"\\dir\\a.txt"), "alpha\r\n");
}

TEST_F(SevenZipTest, FileWithoutParentEntryIsPathNotFound) {
    kivotest::LogCapture log;
    EXPECT_FALSE(Extract(L"noparent.7z"));
    log.Finish();
    EXPECT_TRUE(log.Contains("Open output file failed: " + Narrow(out_) + "\\missing\\orphan.txt, wres: 3"));
}

TEST_F(SevenZipTest, ArchiveFailures) {
    struct Case {
        std::wstring archive;
        std::string message;
    };
    const Case cases[] = {
        {L"notarchive.7z", "Open archive failed"},
        {L"corrupt.7z", "Extract file failed:data.txt"},
        {L"does-not-exist.7z", "Open archive file failed: " + Narrow(TestArchive(L"does-not-exist.7z"))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.archive));
        kivotest::LogCapture log;
        EXPECT_FALSE(Extract(c.archive));
        log.Finish();
        EXPECT_TRUE(log.Contains(c.message));
        EXPECT_TRUE(progress_.empty());
    }
    // A damaged block leaves no file behind.
    EXPECT_FALSE(Utils::FileExists(out_ + L"\\data.txt"));
}

TEST_F(SevenZipTest, OutputDirectoryThatCannotBeCreated) {
    std::wstring blocker = kivotest::MakeScratchDir(L"7z-file") + L"\\file";
    kivotest::WriteFileBytes(blocker, "a file, not a directory");
    out_ = blocker + L"\\out";
    kivotest::LogCapture log;
    EXPECT_FALSE(Extract(L"tree.7z"));
    log.Finish();
    EXPECT_TRUE(log.Contains("Create directory failed: " + Narrow(out_)));
}

TEST_F(SevenZipTest, CancelBeforeTheFirstEntry) {
    ScopedHandle cancel(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    kivotest::LogCapture log;
    EXPECT_FALSE(Extract(L"tree.7z", cancel.Get()));
    log.Finish();
    EXPECT_TRUE(log.Contains("Exit event triggered"));
    EXPECT_TRUE(ListTree(out_).empty());
}

TEST_F(SevenZipTest, CancelDuringSolidBlockStopsBeforeTheWrite) {
    // Decoding the 32 MiB block takes well over a second; the event is set
    // while it runs, long after the checks before the decode have passed.
    ScopedHandle cancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE event = cancel.Get();
    std::thread setter([event] {
        ::Sleep(300);
        ::SetEvent(event);
    });
    kivotest::LogCapture log;
    DWORD started = ::GetTickCount();
    bool extracted = Extract(L"large.7z", event);
    DWORD elapsed = ::GetTickCount() - started;
    setter.join();
    EXPECT_FALSE(extracted);
    EXPECT_GT(elapsed, 300u);
    std::vector<std::string> messages = log.Finish();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Exit event triggered"), 1);
    EXPECT_FALSE(Utils::FileExists(out_ + L"\\large.bin"));
    EXPECT_TRUE(progress_.empty());
}

TEST_F(SevenZipTest, HostileNamesAreRefusedBeforeAnythingIsWritten) {
    struct Case {
        std::wstring archive;
        std::wstring entry;
    };
    const Case cases[] = {
        {L"hostile-dotdot.7z", L"..\\evil.txt"},  {L"hostile-nested-dotdot.7z", L"dir\\..\\..\\evil.txt"},
        {L"hostile-absolute.7z", L"\\evil.txt"},  {L"hostile-drive.7z", L"C:evil.txt"},
        {L"hostile-stream.7z", L"safe.txt:evil"}, {L"hostile-device.7z", L"dir\\nul.txt"},
    };
    std::wstring scratch = out_.substr(0, out_.rfind(L'\\'));
    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.archive));
        kivotest::LogCapture log;
        EXPECT_FALSE(Extract(c.archive));
        log.Finish();
        EXPECT_TRUE(log.Contains("Unsafe entry name: " + Narrow(c.entry)));
        // Not even the harmless entry before it was written.
        EXPECT_TRUE(ListTree(out_).empty());
        std::wstring drive = std::wstring(current).substr(0, 2);
        for (const std::wstring& outside : {scratch + L"\\evil.txt", std::wstring(L"C:\\evil.txt"),
                                            drive + L"\\evil.txt", std::wstring(current) + L"\\evil.txt"}) {
            EXPECT_FALSE(Utils::FileExists(outside)) << Narrow(outside);
        }
    }
}

TEST(SevenZipNamesTest, SafeEntryNames) {
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"kivo.exe", true},
        {L"Client\\KvExternal.exe", true},
        {L"Resources\\Locale\\zh-CN.txt", true},
        {L"a..b\\c.txt", true},
        {L"..foo", true},
        {L"console.txt", true},
        {L"com10.txt", true},
        {L"", false},
        {L"..", false},
        {L".", false},
        {L"..\\x", false},
        {L"a\\..\\..\\x", false},
        {L"a\\..", false},
        {L"a\\. .\\x", false},
        {L"\\x", false},
        {L"\\\\server\\share\\x", false},
        {L"C:\\x", false},
        {L"C:x", false},
        {L"file.txt:stream", false},
        {L"NUL", false},
        {L"dir\\con.txt", false},
        {L"Com1", false},
        {L"lpt9.log", false},
        {L"aux .txt", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SevenZipHelper::IsSafeEntryName(c.first), c.second) << Narrow(c.first);
    }
}

}  // namespace
