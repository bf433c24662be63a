#pragma once

// Helpers shared by the unit tests: a private log per test and paths handed
// in by the harness.

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Logger.h"
#include "Utils.h"

namespace kivotest {

// Installs a fresh process-wide logger; Finish() stops it and returns the
// messages (the text after the fifth bracket pair) of the lines written.
class LogCapture {
public:
    explicit LogCapture(int threshold = kivoinstaller::Debug) {
        ::DeleteFileW(kivoinstaller::Logger::DefaultPath().c_str());
        logger_ = std::make_unique<kivoinstaller::Logger>(threshold);
        kivoinstaller::SetLogger(logger_.get());
    }
    ~LogCapture() { Finish(); }

    std::vector<std::string> Finish() {
        if (logger_) {
            kivoinstaller::StopLogging();
            kivoinstaller::SetLogger(nullptr);
            path_ = logger_->Path();
            logger_.reset();
        }
        return Messages();
    }

    // Whole lines as written, CRLF removed.
    std::vector<std::string> RawLines() const {
        std::ifstream in(kivoinstaller::Utils::WideToUtf8(path_), std::ios::binary);
        std::stringstream buffer;
        buffer << in.rdbuf();
        std::string text = buffer.str();
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }

    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const std::string& line : RawLines()) {
            size_t pos = 0;
            for (int i = 0; i < 5 && pos != std::string::npos; ++i) {
                pos = line.find(']', pos);
                if (pos != std::string::npos) {
                    ++pos;
                }
            }
            out.push_back(pos == std::string::npos ? line : line.substr(pos));
        }
        return out;
    }

    bool Contains(const std::string& message) const {
        for (const std::string& m : Messages()) {
            if (m == message) {
                return true;
            }
        }
        return false;
    }

private:
    std::unique_ptr<kivoinstaller::Logger> logger_;
    std::wstring path_ = kivoinstaller::Logger::DefaultPath();
};

inline std::wstring EnvPath(const char* name) {
    const char* value = std::getenv(name);
    return value ? kivoinstaller::Utils::Utf8ToWide(value) : L"";
}

// A fresh empty directory under the temporary directory.
inline std::wstring MakeScratchDir(const std::wstring& name) {
    std::wstring dir = kivoinstaller::Utils::GetTempDirectory() + L"kivo-test-" + name + L"-" +
                       kivoinstaller::NewGuidString().substr(0, 8);
    ::CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

inline void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(kivoinstaller::Utils::WideToUtf8(path), std::ios::binary);
    out << bytes;
}

}  // namespace kivotest
