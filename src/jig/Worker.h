#pragma once
// The skeleton under every mode core's operations: how the last one ended, the
// busy state that is the hand-over (the worker owns link, buffers and file
// until it sets NONE), the worker thread, and the hand-over of the link once
// an operation's first command is out.
#include <atomic>
#include <functional>
#include <semaphore>
#include <string>
#include <string_view>
#include <thread>

#include "jig/JigLink.h"
#include "jig/ModeView.h"

namespace qj {

// How the last operation that got past the busy check ended.
enum class Outcome { None, Ok, Failed };

// The `index`th name of "NONE, A, B" (the list a QJ_BUSY_STATES names).
std::string busyStateName(std::string_view names, int index);

// Declares a core's busy states: enum class NAME, NONE (idle) first, and
// busyText(NAME), the state's name: the text the windows know it by.
#define QJ_BUSY_STATES(NAME, ...)                                      \
    enum class NAME { NONE, __VA_ARGS__ };                             \
    inline std::string busyText(NAME s) {                              \
        return ::qj::busyStateName("NONE, " #__VA_ARGS__, static_cast<int>(s)); \
    }

template <class State>
class BusyState {
public:
    State get() const { return s_.load(); }
    void set(State s) { s_.store(s); }
    bool is(State s) const { return get() == s; }
    bool idle() const { return is(State::NONE); }
    std::string text() const { return busyText(get()); }

private:
    std::atomic<State> s_{State::NONE};
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

// A core's worker: each start() runs the core's Execute() once, on its own
// thread (ReadThread_KB90 and the other workers are this).
template <class Core>
class ReadThread {
public:
    explicit ReadThread(Core& c) : c_(c) {}
    void start() {
        t_.start([this] { c_.Execute(); });
    }
    void join() { t_.join(); }

private:
    Core& c_;
    WorkerThread t_;
};

// What a mode core's operations share: the window's view and link, the busy
// state, the last outcome, and the ends every operation comes to.
template <class State>
class Operations {
public:
    using Outcome = qj::Outcome;

    Operations(FtdiApi& api, ModeView& view) : view_(view), link_(api) {}

    // The busy state as the windows name it ("NONE" when idle).
    std::string busy() const { return busy_.text(); }
    bool idle() const { return busy_.idle(); }
    Outcome lastOutcome() const { return outcome_.load(); }

protected:
    // The end of an operation: its outcome, and idle again once everything it
    // sent to the view so far is on the screen.
    void finish(bool ok) {
        outcome_ = ok ? Outcome::Ok : Outcome::Failed;
        view_.handBack([this] { busy_.set(State::NONE); });
    }
    // The tail most operations share before their end: the link closed, then
    // the time stamp (the window's own label, or `label`).
    void closeAndStamp(const char* label = nullptr) {
        link_.close();
        if (label) view_.timeStamp(label);
        else view_.timeStamp();
    }
    // The caller starts the worker, sends the transfer's first command, then
    // hands the link over; the worker takes it before its first wait.
    void handLinkToWorker() { firstCommandSent_.release(); }
    void takeLink() { firstCommandSent_.acquire(); }

    ModeView& view_;
    JigLink link_;
    BusyState<State> busy_;
    std::atomic<Outcome> outcome_{Outcome::None};

private:
    std::binary_semaphore firstCommandSent_{0};
};

}  // namespace qj
