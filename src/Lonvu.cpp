#include "Lonvu.h"

#include <chrono>
#include <utility>

#include <json/json.h>

#include "Endpoints.h"
#include "HttpClient.h"
#include "Logger.h"
#include "Utils.h"

namespace kivoinstaller {

namespace {

// How long Stop lets the queued events go out before it cancels them. A
// silent installation queues "install_complete" just before it shuts down.
const std::chrono::seconds kDrainTime(3);

}  // namespace

Lonvu::Lonvu() : Lonvu(Utils::WideToUtf8(KIVO_COLLECTOR_HOST)) {}

Lonvu::Lonvu(const std::string& collectorHost)
    : exitEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      baseUrl_(BeaconPrefix(collectorHost)),
      version_(GetOwnFileVersion()) {
    Start();
}

Lonvu::~Lonvu() {
    // The entry point stops the reporter; this only keeps a process that did
    // not from terminating on a joinable thread.
    if (worker_.joinable()) {
        Stop();
    }
}

std::string Lonvu::BeaconPrefix(const std::string& collectorHost) {
    return "http://" + collectorHost +
           "/d.gif?act=/event&pro=kivo_pcexe&dty=live&rid=ods_action_log&rso=desktop";
}

std::string Lonvu::RunPieces(const std::string& machineId, const std::wstring& channel,
                             const std::wstring& version, const std::string& osName,
                             const std::wstring& sessionId) {
    // Channel, version and session come from the command line and the system;
    // escaped, none of them can end the value early or add a field.
    std::string escapedVersion = Utils::UrlEscape(Utils::WideToUtf8(version));
    return "&mid=" + machineId + "&cha=" + Utils::UrlEscape(Utils::WideToUtf8(channel)) +
           "&iver=" + escapedVersion + "&uver=" + escapedVersion + "&os=" + osName +
           "&session_id=" + Utils::UrlEscape(Utils::WideToUtf8(sessionId));
}

std::string Lonvu::EventPart(const std::wstring& eventId, const std::wstring& description,
                             const std::map<std::wstring, std::wstring>& properties) {
    std::string part = "&eid=" + Utils::WideToUtf8(eventId);
    part += "&eid_desc=" + Utils::UrlEscape(Utils::WideToUtf8(description));
    part += "&prop=";
    if (!properties.empty()) {
        Json::Value object(Json::objectValue);
        for (const auto& property : properties) {
            object[Utils::WideToUtf8(property.first)] = Utils::WideToUtf8(property.second);
        }
        part += Utils::UrlEscape(Json::writeString(Json::StreamWriterBuilder(), object));
    }
    return part;
}

void Lonvu::Report(const std::wstring& eventId, const std::wstring& description,
                   const std::map<std::wstring, std::wstring>& properties) {
    std::string part = EventPart(eventId, description, properties);
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(part));
    wake_.notify_one();
}

void Lonvu::Stop() {
    if (!exitEvent_) {
        return;
    }
    {
        std::unique_lock<std::mutex> lock(mutex_);
        stopping_ = true;
        wake_.notify_all();
        idle_.wait_for(lock, kDrainTime, [this] { return queue_.empty() && !sending_; });
    }
    ::SetEvent(exitEvent_.Get());
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wake_.notify_all();
    }
    if (worker_.joinable()) {
        worker_.join();
    }
    exitEvent_.Reset();
}

std::wstring Lonvu::GetInstallerVersion() const {
    return version_;
}

bool Lonvu::ExitRequested() const {
    return ::WaitForSingleObject(exitEvent_.Get(), 0) == WAIT_OBJECT_0;
}

void Lonvu::Start() {
    worker_ = std::thread([this] {
        // The machine id takes several system queries; events queued meanwhile wait.
        std::wstring sessionId = NewGuidString() + Utils::FormatLocalTime(L"_%Y_%m_%d_%H_%M_%S");
        baseUrl_ += RunPieces(Utils::GetMachineIdStr(), GlobalInfo::GetInstance().GetChannel(), version_,
                              Utils::GetWindowsVersionName(), sessionId);

        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return !queue_.empty() || stopping_ || ExitRequested(); });
            // Stopping with nothing left to send ends the worker before the drain time is up.
            if (ExitRequested() || queue_.empty()) {
                break;
            }
            std::string part = std::move(queue_.front());
            queue_.pop_front();
            sending_ = true;
            lock.unlock();

            int result = HttpClient::Get(baseUrl_ + part, exitEvent_.Get());
            if (result != kHttpOk) {
                LOG_WARN(Utils::Utf8ToWide(part) + L" Report failed: " + std::to_wstring(result));
            }

            lock.lock();
            sending_ = false;
            idle_.notify_all();
        }
        LOG_INFO(L"Exit Lonvu thread");
    });
}

}  // namespace kivoinstaller
