#pragma once
// The busy state of a mode window and its worker thread. The busy state is the
// hand-over: the worker owns link, buffers and file until it sets "NONE".
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace qj {

class BusyState {
public:
    std::string get() const {
        std::lock_guard<std::mutex> g(mu_);
        return s_;
    }
    void set(const std::string& s) {
        std::lock_guard<std::mutex> g(mu_);
        s_ = s;
    }
    bool is(const std::string& s) const { return get() == s; }
    bool idle() const { return is("NONE"); }

private:
    mutable std::mutex mu_;
    std::string s_ = "NONE";
};

// A worker thread for one operation at a time. start() joins the previous run
// (already finished: the busy state said so) before starting the next; the
// destructor joins, so no thread outlives its window.
class WorkerThread {
public:
    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread() { join(); }
    void start(std::function<void()> body) {
        join();
        t_ = std::thread(std::move(body));
    }
    void join() {
        if (t_.joinable() && t_.get_id() != std::this_thread::get_id()) t_.join();
    }
    bool running() const { return t_.joinable(); }

private:
    std::thread t_;
};

}  // namespace qj
