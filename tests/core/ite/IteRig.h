#pragma once
// The ITE core on the instant virtual jig, with a wiring list in a scratch folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "modes/ite/IteCore.h"
#include "sim/IteModel.h"
#include "support/TestSupport.h"

namespace itet {

using Outcome = qj::ite::IteCore::Outcome;
using Bytes = std::vector<uint8_t>;

// A made-up board (item 2 of the list) and a board that reads 192 KiB (item 3).
inline const std::string kBoard =
    "Board Y2 PD0=10 PD1=11 PD2=12 PD3=13 PD4=14 PD5=15 PD6=16 PD7=17 BUSY=5 STB=6 AFD=7 INIT=8 SLIN=9 KSI4=3 "
    "KSI5=4 KB_pins=30";
inline const std::string kBoard192 =
    "Board Z FLASH=192 PD0=1 PD1=2 PD2=3 PD3=4 PD4=5 PD5=6 PD6=7 PD7=8 BUSY=9 STB=10 AFD=11 INIT=12 SLIN=13 "
    "KSI4=14 KSI5=15";

using qjt::randomImage;

inline Bytes frame(char a, char b, int v) { return {uint8_t(a), uint8_t(b), uint8_t(v)}; }

class IteRig : public ::testing::Test {
protected:
    // A jig on the ITE firmware with `spec` keys; the wiring list holds `lines`.
    // `v` replaces the fixture's view (a fresh log for each case of a table).
    void rig(const std::string& spec, const std::vector<std::string>& lines = {kBoard, kBoard192},
             qjt::RecordingView* v = nullptr) {
        std::string list;
        for (const auto& l : lines) list += l + "\r\n";
        qjt::writeFile(qj::ite::kWiringFile, list);
        sim = qjt::makeSim("jig=ITE2_PROJ_Q37" + (spec.empty() ? "" : "," + spec));
        core = std::make_unique<qj::ite::IteCore>(*sim, v ? *v : view);
        core->FormCreate();
    }
    bool ok() const { return core->lastOutcome() == Outcome::Ok; }
    // Board, Apply settings and Check connection, as the user goes.
    bool ready(int item = 2) {
        core->ITE_ComboBox_MB_SWITCHSelect(item);
        core->ITE_SETUP_BitBtnClick();
        if (!ok()) return false;
        core->ITE_CHECK_CON_BitBtnClick();
        core->waitIdle();
        return ok();
    }
    bool read(const std::string& file) {
        view.saveAnswers.push_back(dir.file(file));
        core->ITE_READ_BitBtnClick();
        core->waitIdle();
        return ok();
    }
    bool write(const Bytes& image) {
        qjt::writeBytes(dir.file("in.bin"), image);
        view.openAnswers.push_back(dir.file("in.bin"));
        core->ITE_WRITE_BitBtnClick();
        core->waitIdle();
        return ok();
    }
    Bytes flash() {
        Bytes f;
        sim->withLock([&] { f = sim->board().model<qj::sim::IteModel>().flash; });
        return f;
    }
    bool hasEn(const std::string& line) const {
        const auto en = view.linesEn();
        return std::find(en.begin(), en.end(), line) != en.end();
    }
    // Idle and usable: link closed, the five buttons enabled again, no loud virtual-jig error.
    void expectIdle() {
        EXPECT_TRUE(core->idle());
        EXPECT_EQ(sim->openHandles(), 0u);
        const auto ev = view.events();
        for (const char* b : {qj::ite::kSetupButton, qj::ite::kCheckButton, qj::ite::kExitButton}) {
            const std::string on = std::string("enable ") + b + " 1", off = std::string("enable ") + b + " 0";
            const auto lastOn = std::find(ev.rbegin(), ev.rend(), on), lastOff = std::find(ev.rbegin(), ev.rend(), off);
            EXPECT_TRUE(lastOff == ev.rend() || lastOn < lastOff) << b << " left disabled";
        }
        EXPECT_TRUE(sim->errors().empty()) << sim->errors().front();
    }

    qjt::ScratchDir dir;
    qjt::RecordingView view;
    std::unique_ptr<qj::sim::SimFtdi> sim;
    std::unique_ptr<qj::ite::IteCore> core;
};

}  // namespace itet
