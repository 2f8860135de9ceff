#pragma once
// Scaffolding of the jig firmware tests: Intel HEX records, a program folder
// holding images, and the main window's jig control on a virtual jig.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "control/JigControl.h"
#include "jig/Text.h"
#include "sim/Bootloaders.h"
#include "support/TestSupport.h"

namespace fwt {

// One Intel HEX record, checksum computed unless `sumDelta` spoils it.
inline std::string record(uint16_t addr, uint8_t type, const std::vector<uint8_t>& data, const std::string& eol = "\r\n",
                          int sumDelta = 0) {
    std::vector<uint8_t> r{static_cast<uint8_t>(data.size()), static_cast<uint8_t>(addr >> 8),
                           static_cast<uint8_t>(addr), type};
    r.insert(r.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : r) sum = static_cast<uint8_t>(sum + b);
    r.push_back(static_cast<uint8_t>(-sum + sumDelta));
    return ":" + qj::hexBytes(r) + eol;
}
inline std::string eofRecord() { return ":00000001FF\r\n"; }

// The Intel HEX text of `image` in 16-byte records (blocks of 0xFF left out).
inline std::string hexOf(const std::vector<uint8_t>& image) {
    std::string s;
    for (size_t a = 0; a < image.size(); a += 16) {
        std::vector<uint8_t> chunk(image.begin() + static_cast<long>(a),
                                   image.begin() + static_cast<long>(std::min(a + 16, image.size())));
        bool blank = true;
        for (uint8_t b : chunk) blank &= (b == 0xFF);
        if (!blank) s += record(static_cast<uint16_t>(a), 0, chunk);
    }
    return s + eofRecord();
}

// An image whose content names the firmware it holds (the virtual jig reads it).
inline std::vector<uint8_t> namedImage(const std::string& ident, size_t size) {
    std::vector<uint8_t> img(size);
    for (size_t i = 0; i < size; ++i) img[i] = static_cast<uint8_t>(i * 7 + 3);
    const std::string mark = std::string(qj::sim::kImageIdentMarker) + ident;
    std::copy(mark.begin(), mark.end(), img.begin() + 8);
    img[8 + mark.size()] = 0;
    return img;
}

// A Start against the virtual jig, with Start_log.txt in a scratch folder and
// a program folder holding the built placeholder images.
struct Rig {
    explicit Rig(const std::string& spec, bool withImages = true) {
        prog = scratch.file("prog") + "/";
        std::filesystem::create_directories(prog);
        if (withImages) {
            for (const char* f : {"ENE_EDID_KB.hex", "Q37_jtag.hex", "ITE2_PROJ_Q37.hex", "Q37_NPCE288.hex",
                                  "M328_EPM240_v19.qjf"})
                std::filesystem::copy_file(qjt::binDir() + f, prog + f);
        }
        sim = qjt::makeSim(spec);
        ctl = std::make_unique<qj::JigControl>(*sim, view, qj::StartLog("Start_log.txt"), prog);
    }
    qj::JigControl::StartOutcome start(const std::string& mode) {
        auto o = ctl->start(mode);
        ctl->waitUpgrade();
        return o;
    }
    void putFile(const std::string& name, const std::string& content) { qjt::writeFile(prog + name, content); }
    void putBytes(const std::string& name, const std::vector<uint8_t>& b) { qjt::writeBytes(prog + name, b); }
    std::vector<std::string> startLog() const {
        std::vector<std::string> out;
        const std::string all = qjt::readFile("Start_log.txt");
        for (size_t at = 0, e; (e = all.find("\r\n", at)) != std::string::npos; at = e + 2)
            out.push_back(all.substr(at, e - at));
        return out;
    }
    // The identification the jig gives now.
    std::string identNow() {
        qj::JigLink link(*sim);
        link.open(qj::OpenOptions::mainWindowOptions("CLOSE FTDI Handle"), nullptr);
        return link.ident();
    }
    qj::sim::JigFlash flash() {
        qj::sim::JigFlash copy{qj::sim::SimConfig()};
        sim->withLock([&] { copy = sim->board().model<qj::sim::JigFlash>(); });
        return copy;
    }
    // Host writes as text, one per Write call.
    std::vector<std::string> writes() {
        std::vector<std::string> out;
        for (auto& w : sim->hostWrites()) out.emplace_back(w.begin(), w.end());
        return out;
    }

    qjt::ScratchDir scratch;
    std::string prog;
    std::unique_ptr<qj::sim::SimFtdi> sim;
    qjt::RecordingView view;
    std::unique_ptr<qj::JigControl> ctl;
};

}  // namespace fwt
