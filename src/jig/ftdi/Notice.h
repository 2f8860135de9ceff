#pragma once
// Advice to the user from a backend that is not the failure of one call (no
// permission, the kernel driver holds the device, a latency timer that cannot
// be set). Each distinct text is said once; by default on stderr.
#include <cstdio>
#include <functional>
#include <mutex>
#include <set>
#include <string>

namespace qj {

class NoticeOnce {
public:
    using Sink = std::function<void(const std::string&)>;
    explicit NoticeOnce(Sink sink = {}) : sink_(std::move(sink)) {}
    void operator()(const std::string& text) {
        {
            std::lock_guard<std::mutex> g(mu_);
            if (!said_.insert(text).second) return;
        }
        if (sink_) sink_(text);
        else std::fprintf(stderr, "%s\n", text.c_str());
    }

private:
    Sink sink_;
    std::mutex mu_;
    std::set<std::string> said_;
};

}  // namespace qj
