#pragma once

// Runs one function on a thread of its own and keeps its result. The owner
// decides when to wait; a task is never destroyed with a live thread.

#include <atomic>
#include <functional>
#include <thread>
#include <utility>

namespace kivoinstaller {

template <typename T>
class Task {
public:
    explicit Task(std::function<T()> function) : function_(std::move(function)), running_(true) {
        thread_ = std::thread(&Task::Run, this);
    }
    ~Task() {
        if (running_) {
            Wait();
        }
    }
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;

    // True from creation until the owner has waited for it.
    bool IsRunning() const { return running_; }

    void Wait() {
        if (thread_.joinable()) {
            thread_.join();
        }
        running_ = false;
    }

    // Meaningful after Wait.
    T GetResult() const { return result_; }

private:
    void Run() { result_ = function_(); }

    std::function<T()> function_;
    T result_{};
    std::atomic<bool> running_;
    std::thread thread_;
};

}  // namespace kivoinstaller
