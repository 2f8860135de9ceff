// The stand-in jig images and script that come with the source reach the
// virtual jig only. Through any other backend (here the vendor-library backend
// over the tests' stand-in library, whose jig is virtual but whose path is
// that of real hardware) Start and the Nuvoton JTAG connect refuse them before
// a byte of them is sent.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "core/firmware/FirmwareRig.h"
#include "core/tty/TtySupport.h"
#include "control/JigControl.h"
#include "jig/firmware/StandIn.h"
#include "jig/ftdi/D2xxFtdi.h"
#include "jig/ftdi/TraceFtdi.h"
#include "jig/ftdi/TtyFtdi.h"
#include "modes/nuv/NuvCore.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

using namespace qj;
using qjt::Env;

namespace {

const char* const kImages[] = {"ENE_EDID_KB.hex", "Q37_jtag.hex", "ITE2_PROJ_Q37.hex", "Q37_NPCE288.hex",
                               "M328_EPM240_v19.qjf", "NUVOTON.qjf"};

// The vendor-library backend over the stand-in library, every call traced.
struct D2xxRig {
    explicit D2xxRig(const std::string& spec) : env("QJ_FAKE_D2XX_SIM", spec) {
        auto d2xx = std::make_unique<D2xxFtdi>(std::vector<std::string>{QJ_FAKE_D2XX});
        EXPECT_TRUE(d2xx->available()) << d2xx->whyUnavailable();
        api = std::make_unique<TraceFtdi>(std::move(d2xx), dir.file("trace.txt"));
        prog = dir.file("prog") + "/";
        std::filesystem::create_directories(prog);
        for (const char* f : kImages) std::filesystem::copy_file(qjt::binDir() + f, prog + f);
    }
    // The host's writes, one trace line each, without the "> ".
    std::vector<std::string> writes() const {
        std::vector<std::string> out;
        const std::string all = qjt::readFile(dir.file("trace.txt"));
        for (size_t at = 0, e; (e = all.find('\n', at)) != std::string::npos; at = e + 1)
            if (all.compare(at, 2, "> ") == 0) out.push_back(all.substr(at + 2, e - at - 2));
        return out;
    }
    qjt::ScratchDir dir;
    Env env;
    std::unique_ptr<FtdiApi> api;
    std::string prog;
};

}  // namespace

TEST(StandIn, TheBuiltImagesAndScriptCarryTheMarkAndRealOnesDoNot) {
    for (const char* f : kImages) EXPECT_TRUE(isStandInFile(qjt::binDir() + f)) << f;
    qjt::ScratchDir dir;
    // A program that decodes to the same bytes but for the mark.
    const std::vector<uint8_t> real = fwt::namedImage("ENE_EDID_KB", 0x400);
    qjt::writeFile(dir.file("real.hex"), fwt::hexOf(real));
    qjt::writeBytes(dir.file("real.qjf"), real);
    EXPECT_FALSE(isStandInFile(dir.file("real.hex")));
    EXPECT_FALSE(isStandInFile(dir.file("real.qjf")));
    EXPECT_FALSE(isStandInFile(dir.file("absent.hex")));
    ASSERT_EQ(::mkfifo(dir.file("fifo.hex").c_str(), 0600), 0);
    EXPECT_FALSE(isStandInFile(dir.file("fifo.hex")));  // looked at, never opened: no hang
    // In a HEX image the mark counts where it is flashed: in the decoded data.
    std::vector<uint8_t> marked = real;
    std::copy(kStandInMark.begin(), kStandInMark.end(), marked.begin() + 0x100);
    qjt::writeFile(dir.file("marked.hex"), fwt::hexOf(marked));
    EXPECT_TRUE(isStandInFile(dir.file("marked.hex")));
}

TEST(StandIn, StartThroughARealBackendStopsBeforeTheBootloader) {
    struct Case {
        const char* spec;
        const char* mode;
        const char* image;  // the file named; nullptr: nothing to flash, the mode window opens
        bool inUserFolder = false;  // the image lies in the user's data folder, not beside the program
    };
    const Case cases[] = {
        {"jig=ENE_EDID_KB", "ITE", "ITE2_PROJ_Q37.hex"},
        {"jig=V42_Q37", "EDID lcd", "ENE_EDID_KB.hex"},
        {"jig=none", "NUVOTON spi", "Q37_NPCE288.hex"},  // no answer: the reset path would flash too
        {"jig=M328_EPM240_v18", "MEC jtag", "M328_EPM240_v19.qjf"},
        {"jig=ENE_EDID_KB", "ITE", "ITE2_PROJ_Q37.hex", true},
        {"jig=M328_EPM240_v18", "MEC jtag", "M328_EPM240_v19.qjf", true},
        {"jig=ENE_EDID_KB", "EDID lcd", nullptr},
        {"jig=M328_EPM240_v19", "MEC jtag", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.spec) + " " + c.mode + (c.inUserFolder ? " (user folder)" : ""));
        D2xxRig r(c.spec);
        std::string folder = r.prog;
        if (c.inUserFolder) {
            folder = r.dir.userFirmwareDir();
            std::filesystem::create_directories(folder);
            std::filesystem::rename(r.prog + c.image, folder + c.image);
        }
        qjt::RecordingView view;
        JigControl ctl(*r.api, view, StartLog("Start_log.txt"), r.prog);
        const auto out = ctl.start(c.mode);
        ctl.waitUpgrade();
        if (!c.image) {
            EXPECT_EQ(out, JigControl::StartOutcome::UpgradeStarted);
            EXPECT_TRUE(view.hasEvent("timer Timer_RUN"));
            continue;
        }
        EXPECT_EQ(out, JigControl::StartOutcome::StandInRefused);
        const std::string why = standInRefusal(folder + c.image);
        ASSERT_EQ(view.boxes().size(), 1u);
        EXPECT_EQ(view.boxes()[0].text, why);
        EXPECT_NE(qjt::readFile("Start_log.txt").find(why + "\r\n"), std::string::npos);
        // Only the identification went out: no "?", no "U", no "+", no line of the image.
        for (const std::string& w : r.writes()) EXPECT_EQ(w, "42");
        EXPECT_FALSE(view.hasEvent("show UPDATE_FORM 1"));
        EXPECT_FALSE(view.hasEvent("timer Timer_RUN"));
    }
}

TEST(StandIn, QjigStartExitsOneAndARealImageIsFlashed) {
    D2xxRig r("jig=ENE_EDID_KB");
    Env lib("QJIG_D2XX_LIBRARY", QJ_FAKE_D2XX);
    const auto refused = qjt::runQjig({"--backend", "d2xx", "start", "ITE"});
    EXPECT_EQ(refused.status, 1) << refused.out << refused.err;
    EXPECT_NE((refused.out + refused.err).find("is a stand-in for the virtual jig"), std::string::npos);

    // An image that is not a stand-in goes to the jig as ever.
    D2xxRig real("jig=ENE_EDID_KB");
    qjt::writeFile(real.prog + "ITE2_PROJ_Q37.hex", fwt::hexOf(fwt::namedImage("ITE2_PROJ_Q37", 0x200)));
    qjt::RecordingView view;
    JigControl ctl(*real.api, view, StartLog("Start_log.txt"), real.prog);
    EXPECT_EQ(ctl.start("ITE"), JigControl::StartOutcome::UpgradeStarted);
    ctl.waitUpgrade();
    EXPECT_TRUE(view.hasLine("Exit from BOOT and RUN ... "));
    EXPECT_TRUE(view.hasEvent("timer Timer_RUN"));
}

TEST(StandIn, NuvotonConnectRefusesTheStandInScriptBeforeItsFirstLine) {
    D2xxRig r("jig=NPCE_Q37");
    qjt::RecordingView view;
    nuv::NuvCore core(*r.api, view, r.prog);
    core.BitBtn_SETTINGSClick();
    ASSERT_EQ(core.step(), nuv::NuvCore::Step::Connect);
    core.BitBtn_CONNECTClick();
    core.waitIdle();
    EXPECT_TRUE(view.hasLine("Break! " + standInRefusal(r.prog + "NUVOTON.qjf")));
    EXPECT_EQ(core.step(), nuv::NuvCore::Step::Settings);
    EXPECT_TRUE(core.idle());
    // The ID read, then the failure end: SPI back on and the failure signal.
    const std::vector<std::string> w = r.writes();
    ASSERT_GE(w.size(), 3u);
    EXPECT_EQ(w[w.size() - 3], "4A 44 FF FF FF FF");
    EXPECT_EQ(w[w.size() - 2], "4A 53");
    EXPECT_EQ(w.back(), "4F");
}

TEST(StandIn, APseudoTerminalReachesTheVirtualJig) {
    qjt::Pty pty;
    TtyFtdi::Options o;
    o.paths = {pty.slave};
    o.notice = [](const std::string&) {};
    TtyFtdi api(o);
    uint32_t n = 0;
    ASSERT_EQ(api.CreateDeviceInfoList(n), FT_OK);
    FT_HANDLE h = nullptr;
    ASSERT_EQ(api.Open(0, h), FT_OK);
    EXPECT_TRUE(api.ReachesVirtualJig(h));
    api.Close(h);
    D2xxFtdi d2xx({QJ_FAKE_D2XX});
    EXPECT_FALSE(d2xx.ReachesVirtualJig(nullptr));
}
