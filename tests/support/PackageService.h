#pragma once

// The local package service (tools/package_service.py) for unit tests. The
// service is a Linux program: Wine starts it detached, so it is driven and
// stopped over loopback, and its files live under /tmp where both sides see
// them (as Z:\tmp\... from the Windows side).

#include <windows.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <json/json.h>

#include "GlobalInfo.h"
#include "HttpClient.h"
#include "TestSupport.h"
#include "Utils.h"

namespace kivotest {

// The port of the package-configuration endpoint this build was configured
// with: the service must listen there for the engine to reach it.
inline int EndpointPort() {
    std::wstring url = kivoinstaller::kTestApiUrl;
    size_t colon = url.rfind(L':');
    return colon == std::wstring::npos ? 0 : std::stoi(url.substr(colon + 1));
}

inline std::wstring WindowsPathOfUnix(const std::string& unixPath) {
    std::wstring path = L"Z:" + kivoinstaller::Utils::Utf8ToWide(unixPath);
    for (wchar_t& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return path;
}

class PackageService {
public:
    // Starts the service on port (0: a free one) with further arguments and
    // waits until it accepts requests.
    explicit PackageService(int port, const std::vector<std::string>& arguments = {}) {
        unixDir_ = "/tmp/kivo-service-" + kivoinstaller::Utils::WideToUtf8(kivoinstaller::NewGuidString());
        ::CreateDirectoryW(WindowsPathOfUnix(unixDir_).c_str(), nullptr);
        ::CreateDirectoryW(FilesDir().c_str(), nullptr);
        const char* source = std::getenv("KIVO_SOURCE_DIR");
        std::string script = std::string(source ? source : ".") + "/tools/package_service.py";
        std::string command = "Z:\\usr\\bin\\python3 \"" + script + "\" --port " + std::to_string(port) +
                              " --port-file \"" + unixDir_ + "/port\" --record \"" + unixDir_ +
                              "/record.jsonl\" --files \"" + unixDir_ + "/files\" --idle-exit 120";
        for (const std::string& argument : arguments) {
            command += " \"" + argument + "\"";
        }
        std::wstring wide = kivoinstaller::Utils::Utf8ToWide(command);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (!::CreateProcessW(nullptr, &wide[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &info)) {
            return;
        }
        // Wine leaves the handles empty for a Linux child; close whatever it filled in.
        kivoinstaller::ScopedHandle process(info.hProcess);
        kivoinstaller::ScopedHandle thread(info.hThread);
        std::wstring portFile = WindowsPathOfUnix(unixDir_ + "/port");
        for (int waited = 0; waited < 30000 && port_ == 0; waited += 50) {
            std::ifstream in(kivoinstaller::Utils::WideToUtf8(portFile));
            in >> port_;
            if (port_ == 0) {
                ::Sleep(50);
            }
        }
    }

    // Returns once the service has closed its port.
    ~PackageService() {
        if (port_ != 0 && Control(R"({"quit": true})")) {
            std::wstring portFile = WindowsPathOfUnix(unixDir_ + "/port");
            for (int waited = 0; waited < 10000 && kivoinstaller::Utils::FileExists(portFile); waited += 20) {
                ::Sleep(20);
            }
        }
        kivoinstaller::Utils::DeleteDirectory(WindowsPathOfUnix(unixDir_));
    }

    PackageService(const PackageService&) = delete;
    PackageService& operator=(const PackageService&) = delete;

    bool Started() const { return port_ != 0; }
    int Port() const { return port_; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::wstring WideUrl(const std::string& path) const {
        return kivoinstaller::Utils::Utf8ToWide(Url(path));
    }

    // The directory served as files, as a Windows path.
    std::wstring FilesDir() const { return WindowsPathOfUnix(unixDir_ + "/files"); }

    // POST /control with a JSON object text.
    bool Control(const std::string& json) const {
        std::vector<char> answer;
        int result = kivoinstaller::HttpClient::PostJson(Url("/control"), json, answer, nullptr);
        return result == 0 && std::string(answer.begin(), answer.end()).find("\"port\"") != std::string::npos;
    }

    // Every request recorded so far (oldest first), optionally of one kind.
    std::vector<Json::Value> Records(const std::string& kind = "") const {
        std::ifstream in(kivoinstaller::Utils::WideToUtf8(WindowsPathOfUnix(unixDir_ + "/record.jsonl")),
                         std::ios::binary);
        std::vector<Json::Value> records;
        std::string line;
        Json::CharReaderBuilder builder;
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        while (std::getline(in, line)) {
            Json::Value record;
            std::string errors;
            if (reader->parse(line.data(), line.data() + line.size(), &record, &errors) &&
                (kind.empty() || record["kind"].asString() == kind)) {
                records.push_back(record);
            }
        }
        return records;
    }

    // Waits up to ms for at least count records of kind.
    std::vector<Json::Value> WaitForRecords(const std::string& kind, size_t count, int ms = 30000) const {
        std::vector<Json::Value> records = Records(kind);
        for (int waited = 0; waited < ms && records.size() < count; waited += 50) {
            ::Sleep(50);
            records = Records(kind);
        }
        return records;
    }

private:
    std::string unixDir_;
    int port_ = 0;
};

}  // namespace kivotest
