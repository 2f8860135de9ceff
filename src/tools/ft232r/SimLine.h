#pragma once
// The virtual jig on the serial side of the emulated FT232R, in this process:
// every firmware and target of `--sim` answers through the real USB stack.
//
// The line follows the host's settings: the divisor's rate is taken as the
// standard rate within 3 % of it (a UART hears that), so the jig, which only
// hears 921600 baud, ignores a wrong divisor as the real one does.
//
// In instant mode (the default) the jig's clock runs with real time, and
// jumps over whatever the jig makes its host wait for (a block fetched from
// the chip, an erase): the host's deadlines, which are real, see answers as
// soon as the jig has decided them. In paced mode (`mode=paced`) bytes take
// their line time, as from qjig-sim.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/ft232r/EmulatedFt232r.h"

namespace qj::sim {
class SimFtdi;
}

namespace qj::usb {

class SimLine final : public Ft232rLine {
public:
    // Throws std::invalid_argument for a bad `--sim` string, std::runtime_error when it has no device to serve.
    explicit SimLine(const std::string& spec);
    ~SimLine() override;

    // Starts moving the jig's bytes to `usb`; stop() (or the destructor) ends it.
    void start(EmulatedFt232r& usb);
    void stop();

    bool send(const uint8_t* p, size_t n) override;
    void setLine(const LineSettings& s) override;

    sim::SimFtdi& sim() { return *sim_; }

private:
    void run();
    // Hands what the jig has sent by now to the chip; false when the jig is gone.
    bool deliver();

    std::unique_ptr<sim::SimFtdi> sim_;
    void* handle_ = nullptr;
    EmulatedFt232r* usb_ = nullptr;
    std::mutex deliverMu_;  // one mover at a time keeps the bytes in order
    std::vector<uint8_t> buf_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace qj::usb
