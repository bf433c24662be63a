#pragma once

// Telemetry reporter: events are queued by any thread and sent as beacons by
// one worker, in order, without retries.

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "GlobalInfo.h"
#include "ScopedWin.h"

namespace kivoinstaller {

class Lonvu : public Singleton<Lonvu> {
public:
    // A reporter of its own sending to collectorHost ("host[:port]"), for
    // tools and tests; the installer uses the process-wide instance, which
    // sends to the configured collector.
    explicit Lonvu(const std::string& collectorHost);
    ~Lonvu() override;

    // Queues the event and returns at once.
    void Report(const std::wstring& eventId, const std::wstring& description,
                const std::map<std::wstring, std::wstring>& properties);
    // Gives the events already queued up to three seconds to go out, then
    // cancels the request in flight, drops the rest and ends the worker.
    void Stop();
    std::wstring GetInstallerVersion() const;

    // "http://" + host + the fixed beacon path and query start.
    static std::string BeaconPrefix(const std::string& collectorHost);
    // The pieces every beacon of a run carries after the prefix.
    static std::string RunPieces(const std::string& machineId, const std::wstring& channel,
                                 const std::wstring& version, const std::string& osName,
                                 const std::wstring& sessionId);
    // The pieces of one event: "&eid=", "&eid_desc=" and "&prop=".
    static std::string EventPart(const std::wstring& eventId, const std::wstring& description,
                                 const std::map<std::wstring, std::wstring>& properties);

private:
    friend class Singleton<Lonvu>;
    Lonvu();

    void Start();
    bool ExitRequested() const;

    std::deque<std::string> queue_;
    std::mutex mutex_;
    std::condition_variable wake_;
    ScopedHandle exitEvent_;
    std::thread worker_;
    std::string baseUrl_;
    const std::wstring version_;

    // Shutdown drain, guarded by mutex_: Stop waits on idle_ until the queue is
    // empty and nothing is being sent.
    std::condition_variable idle_;
    bool stopping_ = false;
    bool sending_ = false;
};

}  // namespace kivoinstaller
