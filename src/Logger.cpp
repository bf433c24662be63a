#include "Logger.h"

#include <atomic>

#include "ScopedWin.h"
#include "Utils.h"

namespace kivoinstaller {

namespace {

std::atomic<Logger*> g_logger{nullptr};

}  // namespace

void SetLogger(Logger* logger) { g_logger.store(logger); }
Logger* GetLogger() { return g_logger.load(); }

const wchar_t* LogLevelTag(int level) {
    switch (level) {
        case Debug:
            return L"[DEBUG]";
        case Info:
            return L"[INFO]";
        case Warn:
            return L"[WARN]";
        case Error:
            return L"[ERROR]";
        default:
            return L"[UNKNOWN]";
    }
}

std::wstring LogFileNameOf(const std::wstring& sourcePath) {
    size_t cut = sourcePath.find_last_of(L"\\/");
    return cut == std::wstring::npos ? sourcePath : sourcePath.substr(cut + 1);
}

std::wstring FormatLogLine(int level, const std::wstring& time, const std::wstring& file,
                           const std::wstring& line, const std::wstring& function, DWORD pid, DWORD tid,
                           const std::wstring& message) {
    const wchar_t* tag = LogLevelTag(level);
    std::wstring name = LogFileNameOf(file);
    std::wstring pidText = std::to_wstring(pid);
    std::wstring tidText = std::to_wstring(tid);

    std::wstring out;
    out.reserve(wcslen(tag) + time.size() + name.size() + line.size() + function.size() + pidText.size() +
                tidText.size() + message.size() + 16);
    out += tag;
    out += L"[";
    out += time;
    out += L"][";
    out += name;
    out += L":";
    out += line;
    out += L"][";
    out += function;
    out += L"][";
    out += pidText;
    out += L":";
    out += tidText;
    out += L"]";
    out += message;
    out += L"\r\n";
    return out;
}

std::wstring QualifiedFunctionName(const char* prettyFunction) {
    std::string text(prettyFunction);

    // Template functions end in " [with T = ...]".
    size_t with = text.find(" [with ");
    if (with != std::string::npos) {
        text.erase(with);
    }

    // Drop the parameter list (and any trailing cv/ref qualifiers) of the function itself.
    size_t close = text.find_last_of(')');
    size_t lastAngle = text.find_last_of('>');
    bool endsInLambda = lastAngle != std::string::npos && (close == std::string::npos || lastAngle > close);
    if (close != std::string::npos && !endsInLambda) {
        int depth = 0;
        for (size_t i = close + 1; i-- > 0;) {
            if (text[i] == ')') {
                ++depth;
            } else if (text[i] == '(' && --depth == 0) {
                // "operator()" keeps its own parentheses.
                text.erase(i);
                break;
            }
        }
    }

    // The return type is separated from the name by the last space outside brackets.
    int depth = 0;
    size_t nameStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '<' || c == '(') {
            ++depth;
        } else if (c == '>' || c == ')') {
            --depth;
        } else if (c == ' ' && depth == 0 && text.compare(i + 1, 2, "()") != 0) {
            nameStart = i + 1;
        }
    }
    text.erase(0, nameStart);

    // Enclosing functions of a lambda keep their parameter lists in the
    // compiler's text; "operator()" keeps its own.
    static const char kCallOperator[] = "operator()";
    static const char kPlaceholder[] = "operator\x01";
    for (size_t at = text.find(kCallOperator); at != std::string::npos; at = text.find(kCallOperator, at)) {
        text.replace(at, sizeof(kCallOperator) - 1, kPlaceholder);
    }
    std::string cleaned;
    cleaned.reserve(text.size());
    depth = 0;
    int angle = 0;
    for (char c : text) {
        if (c == '<') {
            ++angle;
        } else if (c == '>') {
            --angle;
        }
        if (angle == 0 && c == '(') {
            ++depth;
            continue;
        }
        if (angle == 0 && c == ')') {
            --depth;
            continue;
        }
        if (depth == 0) {
            cleaned += c;
        }
    }
    for (size_t at = cleaned.find(kPlaceholder); at != std::string::npos; at = cleaned.find(kPlaceholder, at)) {
        cleaned.replace(at, sizeof(kPlaceholder) - 1, kCallOperator);
    }
    return Utils::Utf8ToWide(cleaned);
}

Logger::Logger(int threshold) : threshold_(threshold), path_(DefaultPath()) {
    writer_ = std::thread(&Logger::WriterLoop, this);
}

Logger::~Logger() {
    // StopLogging joins the writer before the entry point destroys the logger;
    // stopping here as well keeps a forgotten call from terminating the process.
    Stop();
}

std::wstring Logger::DefaultPath() {
    std::wstring name = L"kivo-installer-" + std::to_wstring(::GetCurrentProcessId()) + L".log";
    std::wstring temp = Utils::GetTempDirectory();
    return temp.empty() ? name : Utils::PathJoin({temp, name});
}

void Logger::Write(int level, const std::wstring& file, const std::wstring& line, const std::wstring& function,
                   const std::wstring& message) {
    if (level < threshold_) {
        return;
    }
    std::wstring line_text = FormatLogLine(level, Utils::FormatLocalTime(L"%Y-%m-%d %H:%M:%S"), file, line,
                                           function, ::GetCurrentProcessId(), ::GetCurrentThreadId(), message);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            return;
        }
        pending_.push_back(std::move(line_text));
    }
    wake_.notify_one();
}

void Logger::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable()) {
        writer_.join();
    }
}

void Logger::WriterLoop() {
    for (;;) {
        std::wstring line;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return !pending_.empty() || stopping_; });
            // Stopping still drains what was queued before it: a shutdown must not lose the last lines.
            if (pending_.empty()) {
                return;
            }
            line = std::move(pending_.front());
            pending_.pop_front();
        }
        if (!AppendToFile(line)) {
            ::OutputDebugStringW(line.c_str());
        }
    }
}

bool Logger::AppendToFile(const std::wstring& line) const {
    // Opened per line so no handle is held between lines: the log can be read,
    // copied or deleted while the installer runs.
    ScopedFileHandle file(::CreateFileW(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    std::string utf8 = Utils::WideToUtf8(line);
    DWORD written = 0;
    return ::WriteFile(file.Get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) &&
           written == utf8.size();
}

bool LogEnabled(int level) {
    Logger* logger = g_logger.load();
    return logger != nullptr && level >= logger->Threshold();
}

void WriteLog(int level, const std::wstring& file, const std::wstring& line, const std::wstring& function,
              const std::wstring& message) {
    if (Logger* logger = g_logger.load()) {
        logger->Write(level, file, line, function, message);
    }
}

void StopLogging() {
    if (Logger* logger = g_logger.load()) {
        logger->Stop();
    }
}

}  // namespace kivoinstaller
