#include "jig/ftdi/FaultFtdi.h"

#include <sstream>

namespace qj {

bool FaultPlan::parse(const std::string& text, FaultPlan& plan, std::string& error) {
    static const std::pair<const char*, uint64_t FaultPlan::*> kinds[] = {
        {"write-short", &FaultPlan::writeShort}, {"write-fail", &FaultPlan::writeFail},
        {"read-fail", &FaultPlan::readFail},     {"status-fail", &FaultPlan::statusFail},
        {"purge-fail", &FaultPlan::purgeFail},   {"baud-fail", &FaultPlan::baudFail},
    };
    plan = {};
    std::istringstream in(text);
    std::string pair;
    while (std::getline(in, pair, ',')) {
        const size_t eq = pair.find('=');
        const std::string kind = pair.substr(0, eq), n = eq == std::string::npos ? "" : pair.substr(eq + 1);
        uint64_t FaultPlan::*field = nullptr;
        for (const auto& [name, f] : kinds)
            if (kind == name) field = f;
        if (!field) {
            error = "unknown fault \"" + kind + "\" (write-short, write-fail, read-fail, status-fail, purge-fail or "
                    "baud-fail)";
            return false;
        }
        uint64_t v = 0;
        bool digits = !n.empty() && n.size() <= 18;
        for (char c : n) {
            digits = digits && c >= '0' && c <= '9';
            v = v * 10 + uint64_t(c - '0');
        }
        if (!digits || v == 0) {
            error = "fault " + kind + " needs the number of the call that fails, from 1 (not \"" + n + "\")";
            return false;
        }
        if (plan.*field) {
            error = "fault " + kind + " is given twice";
            return false;
        }
        plan.*field = v;
    }
    if (!plan.any()) {
        error = "--fault needs KIND=N (write-short, write-fail, read-fail, status-fail, purge-fail or baud-fail)";
        return false;
    }
    return true;
}

FT_STATUS FaultFtdi::SetBaudRate(FT_HANDLE h, uint32_t baud) {
    if (++bauds_ == plan_.baudFail) return FT_INVALID_BAUD_RATE;
    return inner_->SetBaudRate(h, baud);
}

FT_STATUS FaultFtdi::Purge(FT_HANDLE h, uint32_t mask) {
    if (++purges_ == plan_.purgeFail) return FT_IO_ERROR;
    return inner_->Purge(h, mask);
}

FT_STATUS FaultFtdi::GetStatus(FT_HANDLE h, uint32_t& rx, uint32_t& tx, uint32_t& ev) {
    if (++statuses_ == plan_.statusFail) {
        rx = tx = ev = 0;
        return FT_IO_ERROR;
    }
    return inner_->GetStatus(h, rx, tx, ev);
}

FT_STATUS FaultFtdi::Write(FT_HANDLE h, const uint8_t* buf, uint32_t len, uint32_t& written) {
    const uint64_t n = ++writes_;
    if (n == plan_.writeFail) {
        written = 0;
        return FT_IO_ERROR;
    }
    return inner_->Write(h, buf, n == plan_.writeShort ? len / 2 : len, written);
}

FT_STATUS FaultFtdi::Read(FT_HANDLE h, uint8_t* buf, uint32_t len, uint32_t& got) {
    if (++reads_ == plan_.readFail) {
        got = 0;
        return FT_IO_ERROR;
    }
    return inner_->Read(h, buf, len, got);
}

}  // namespace qj
