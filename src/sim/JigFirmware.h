#pragma once
// What runs on the virtual jig: an application firmware or a bootloader.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <typeindex>
#include <vector>

#include "sim/SimConfig.h"

namespace qj::sim {

class JigFirmware;

// Everything attached to the jig that outlives a firmware change: the targets
// (chip models with real memory) and the configuration. Models are created on
// first use from the configuration: board.model<EneModel>().
class JigBoard {
public:
    explicit JigBoard(SimConfig cfg) : cfg_(std::move(cfg)) {}
    const SimConfig& config() const { return cfg_; }

    template <class T>
    T& model() {
        std::lock_guard<std::recursive_mutex> g(mu_);
        auto it = models_.find(std::type_index(typeid(T)));
        if (it == models_.end()) {
            auto p = std::make_shared<T>(cfg_);
            it = models_.emplace(std::type_index(typeid(T)), std::shared_ptr<void>(p)).first;
            order_.push_back(it->second);
        }
        return *static_cast<T*>(it->second.get());
    }

    ~JigBoard() {
        // Newest first, so a model's destructor (writing flash-out=) runs while
        // the models it was built from still exist.
        while (!order_.empty()) order_.pop_back();
        models_.clear();
    }

private:
    SimConfig cfg_;
    std::recursive_mutex mu_;
    std::map<std::type_index, std::shared_ptr<void>> models_;
    std::vector<std::shared_ptr<void>> order_;
};

// The firmware's side of the serial line.
class JigPort {
public:
    virtual ~JigPort() = default;
    // Bytes toward the host, starting `delayUs` after the input that caused them
    // reached the jig; successive sends queue behind each other on the line.
    virtual void send(const uint8_t* data, size_t n, int64_t delayUs = 0) = 0;
    void send(const std::string& s, int64_t delayUs = 0) {
        send(reinterpret_cast<const uint8_t*>(s.data()), s.size(), delayUs);
    }
    void send(uint8_t b, int64_t delayUs = 0) { send(&b, 1, delayUs); }
    virtual int64_t nowUs() = 0;
    virtual JigBoard& board() = 0;
    // Replaces the running firmware once the current input has been handled
    // (boot entry, "g" from the bootloader, a reset).
    virtual void switchTo(std::unique_ptr<JigFirmware> next) = 0;
    // A loud protocol error: recorded on the device and printed to stderr.
    virtual void error(const std::string& msg) = 0;
};

class JigFirmware {
public:
    virtual ~JigFirmware() = default;
    virtual std::string name() const = 0;
    // The only speed at which this firmware understands and answers.
    virtual uint32_t baud() const { return 921600; }
    // Bytes received and not yet consumed, oldest first. Returns how many it
    // consumed; 0 means "wait for more".
    virtual size_t onInput(const uint8_t* data, size_t n, JigPort& port) = 0;
    // The jig's reset button.
    virtual void onReset(JigPort&) {}
};

// A firmware that ignores everything (a wedged jig, a silent device).
class SilentFirmware final : public JigFirmware {
public:
    std::string name() const override { return "silent"; }
    size_t onInput(const uint8_t*, size_t n, JigPort&) override { return n; }
};

// The application firmware a jig runs for an identification text ("ENE_EDID_KB",
// "V42 ...", "ITE2 ...", "NPCE ...", "M328_EPM240_v19"): chosen by the same
// substrings the host tests. `ident` is the exact answer to "B".
std::unique_ptr<JigFirmware> makeApplicationFirmware(const std::string& ident);

}  // namespace qj::sim
