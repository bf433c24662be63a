#pragma once

// Process-wide log: one UTF-8 file per process in the temporary directory.
// Callers format on their own thread; a single writer thread appends the
// lines, so nobody waits for the disk.

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace kivoinstaller {

enum LogLevel : int {
    Debug = 0,
    Info = 1,
    Warn = 2,
    Error = 3,
};

class Logger {
public:
    explicit Logger(int threshold);
    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    void Write(int level, const std::wstring& file, const std::wstring& line, const std::wstring& function,
               const std::wstring& message);
    // Writes every line queued so far, then ends the writer; later lines are dropped.
    void Stop();

    const std::wstring& Path() const { return path_; }
    int Threshold() const { return threshold_; }

    // "kivo-installer-<pid>.log" in the temporary directory.
    static std::wstring DefaultPath();

private:
    void WriterLoop();
    bool AppendToFile(const std::wstring& line) const;

    std::deque<std::wstring> pending_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    const int threshold_;
    const std::wstring path_;
    std::thread writer_;
};

// The process-wide logger; null until the entry point creates it.
void SetLogger(Logger* logger);
Logger* GetLogger();

void WriteLog(int level, const std::wstring& file, const std::wstring& line, const std::wstring& function,
              const std::wstring& message);
void StopLogging();
bool LogEnabled(int level);

// The pieces of one log line, exposed so the format can be checked without a file.
const wchar_t* LogLevelTag(int level);
std::wstring LogFileNameOf(const std::wstring& sourcePath);
std::wstring FormatLogLine(int level, const std::wstring& time, const std::wstring& file,
                           const std::wstring& line, const std::wstring& function, DWORD pid, DWORD tid,
                           const std::wstring& message);

// Qualified function name ("kivoinstaller::Setup::ThreadProc") from the
// compiler's __PRETTY_FUNCTION__ text: return type, parameters and template
// arguments removed.
std::wstring QualifiedFunctionName(const char* prettyFunction);

}  // namespace kivoinstaller

#define KIVO_WIDEN2(x) L##x
#define KIVO_WIDEN(x) KIVO_WIDEN2(x)

// The level test comes first so that filtered lines cost no formatting.
#define KLOG_AS(level, function, message)                                                                   \
    do {                                                                                                    \
        if (::kivoinstaller::LogEnabled(level)) {                                                           \
            ::kivoinstaller::WriteLog((level), KIVO_WIDEN(__FILE__), std::to_wstring(__LINE__), (function), \
                                      (message));                                                           \
        }                                                                                                   \
    } while (0)
#define KLOG(level, message) \
    KLOG_AS((level), ::kivoinstaller::QualifiedFunctionName(__PRETTY_FUNCTION__), (message))

#define LOG_DEBUG(message) KLOG(::kivoinstaller::Debug, (message))
#define LOG_INFO(message) KLOG(::kivoinstaller::Info, (message))
#define LOG_WARN(message) KLOG(::kivoinstaller::Warn, (message))
#define LOG_ERROR(message) KLOG(::kivoinstaller::Error, (message))
