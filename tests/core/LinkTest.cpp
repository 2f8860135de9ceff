#include <gtest/gtest.h>

#include "jig/JigLink.h"
#include "modes/Modes.h"
#include "jig/ftdi/TraceFtdi.h"
#include "support/TestSupport.h"

using namespace qj;
using qjt::makeSim;

namespace {
std::vector<std::string> openMain(FtdiApi&, JigLink& link, const std::string& policy) {
    std::vector<std::string> lines;
    link.open(OpenOptions::mainWindowOptions(policy), [&](const std::string& s) { lines.push_back(s); });
    return lines;
}
}  // namespace

TEST(JigLink, JigFirstInListIsFoundAfterTheLastDeviceTimesOut) {
    auto sim = makeSim("jig=ENE_EDID_KB,devices=2,jig-index=0");
    JigLink link(*sim);
    const int64_t t0 = sim->clock().nowMs();
    auto lines = openMain(*sim, link, "CLOSE FTDI Handle");
    EXPECT_EQ(link.ident(), "ENE_EDID_KB");
    // Device 1 (the last) is tried first and costs one read time-out.
    EXPECT_GE(sim->clock().nowMs() - t0, 300);
    std::vector<std::string> want = {
        "Open  numDevs -> 2", "FT_Open OK", "FT_GetDriverVersion OK    (135716)", "FT_ResetDevice OK",
        "FT_SetBaudRate OK", "FT_SetDataCharacteristics OK", "FT_SetTimeouts OK", "Read answer version bytes -> 0",
        "Open  numDevs -> 1", "FT_Open OK", "FT_GetDriverVersion OK    (135716)", "FT_ResetDevice OK",
        "FT_SetBaudRate OK", "FT_SetDataCharacteristics OK", "FT_SetTimeouts OK",
        "Read answer version bytes -> 11", "ENE_EDID_KB", "FT_SetLatencyTimer OK"};
    EXPECT_EQ(lines, want);
    EXPECT_EQ(sim->openHandles(), 0u);
}

TEST(JigLink, ControlBytesBecomeBlanks) {
    auto sim = makeSim("jig=ENE_EDID_KB,ident=ENE_EDID_KB\\r\\x01v-2");
    JigLink link(*sim);
    auto r = link.open(OpenOptions::modeWindow({"ENE_EDID_KB"}), nullptr);
    EXPECT_EQ(r, OpenResult::Ready);
    EXPECT_EQ(link.ident(), "ENE_EDID_KB  v 2");
}

TEST(JigLink, AnswerOfExactly32BytesIsTakenWholeAndLaterBytesStayQueued) {
    const std::string ident = "ENE_EDID_KB_0123456789abcdefghij";  // 32 bytes
    ASSERT_EQ(ident.size(), 32u);
    auto sim = makeSim("jig=ENE_EDID_KB,ident=" + ident + "XYZ");
    JigLink link(*sim);
    ASSERT_EQ(link.open(OpenOptions::modeWindow({"ENE_EDID_KB"}), nullptr), OpenResult::Ready);
    EXPECT_EQ(link.ident(), ident);
    uint32_t rx = 0, tx = 0;
    ASSERT_EQ(link.status(rx, tx), FT_OK);
    EXPECT_EQ(rx, 3u);
}

TEST(JigLink, KeepOpenPolicyWithNoAnswerKeepsDeviceZeroAndLeaksNothing) {
    auto sim = makeSim("jig=none,devices=3");
    JigLink link(*sim);
    auto lines = openMain(*sim, link, "NOT CLOSE FTDI Handle");
    EXPECT_EQ(link.ident(), "FTDI found, ERROR answer");
    EXPECT_EQ(lines.back(), "NOT ANSWER ");
    ASSERT_TRUE(link.isOpen());
    EXPECT_EQ(sim->openHandles(), 1u);
    // The handle kept is device 0's: opening 0 again must fail, 1 and 2 are free.
    FT_HANDLE h = nullptr;
    EXPECT_NE(sim->Open(0, h), FT_OK);
    EXPECT_EQ(sim->Open(1, h), FT_OK);
    sim->Close(h);
    link.close();
    EXPECT_EQ(sim->openHandles(), 0u);
}

TEST(JigLink, NoDevicesAndListFailureLines) {
    auto sim = makeSim("devices=0");
    JigLink link(*sim);
    EXPECT_EQ(openMain(*sim, link, "CLOSE FTDI Handle"), std::vector<std::string>{"Error numDevs = 0"});
    EXPECT_EQ(link.ident(), "FTDI device not found");
    std::vector<std::string> lines;
    EXPECT_EQ(link.open(OpenOptions::modeWindow({"X"}), [&](const std::string& s) { lines.push_back(s); }),
              OpenResult::NoJig);
    EXPECT_EQ(lines, std::vector<std::string>{"VCOM port is not found on the machine!"});
}

// Each window's variant: which firmwares it accepts and the lines it logs.
TEST(JigLink, ModeWindowVariantsAcceptTheRightFirmwares) {
    struct Case {
        std::vector<std::string> accepted;
        std::string ident;
        OpenResult want;
    } cases[] = {
        {{"ENE_EDID_KB"}, "ENE_EDID_KB", OpenResult::Ready},
        {{"ENE_EDID_KB"}, "ITE2_Q37", OpenResult::WrongFirmware},
        {{"ITE", "EPM240"}, "ITE2_Q37", OpenResult::Ready},
        {{"ITE", "EPM240"}, "M328_EPM240_v19", OpenResult::Ready},
        {{"ITE", "EPM240"}, "NPCE_Q37", OpenResult::WrongFirmware},
        {{"NPCE"}, "NPCE_Q37", OpenResult::Ready},
        {{"NPCE"}, "ENE_EDID_KB", OpenResult::WrongFirmware},
        {{"EPM240", "NPCE"}, "NPCE_Q37", OpenResult::Ready},
        {{"EPM240", "NPCE"}, "V42_MEC", OpenResult::WrongFirmware},
        {{}, "V42_MEC", OpenResult::Ready},  // MEC: any answer
        {{"ENE_EDID_KB"}, "ene_edid_kb", OpenResult::WrongFirmware},  // case-sensitive
    };
    for (const auto& c : cases) {
        auto sim = makeSim("jig=" + c.ident);
        JigLink link(*sim);
        std::vector<std::string> lines;
        auto opt = OpenOptions::modeWindow(c.accepted);
        opt.countLine = true;
        EXPECT_EQ(link.open(opt, [&](const std::string& s) { lines.push_back(s); }), c.want) << c.ident;
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[0], "Number of VCOM ports found on the machine: 1");
        EXPECT_EQ(lines[1], "Version FW -> " + c.ident);
        EXPECT_EQ(lines[2], c.want == OpenResult::Ready ? "Communication with programmer installed."
                                                        : "It is necessary to update the firmware programmer!");
        EXPECT_EQ(link.isOpen(), c.want == OpenResult::Ready);
        EXPECT_EQ(sim->openHandles(), c.want == OpenResult::Ready ? 1u : 0u);
    }
}

TEST(JigLink, ExchangeShapesEndAtTheirDeadline) {
    auto sim = makeSim("jig=ENE_EDID_KB");
    JigLink link(*sim);
    ASSERT_EQ(link.open(OpenOptions::modeWindow({"ENE_EDID_KB"}), nullptr), OpenResult::Ready);
    std::vector<uint8_t> ans;
    const int64_t t0 = sim->clock().nowMs();
    EXPECT_EQ(link.awaitCount(3, true, ans, 1500), Xfer::Timeout);
    EXPECT_GE(sim->clock().nowMs() - t0, 1500);
    EXPECT_LT(sim->clock().nowMs() - t0, 2000);
    uint8_t b = 0;
    EXPECT_EQ(link.awaitByte(b, 700), Xfer::Timeout);
    EXPECT_EQ(link.sendAwaitXonLine({}, ans, 500), Xfer::Timeout);
    // The success signal is acknowledged with one byte.
    EXPECT_EQ(link.sendAwaitByte({'I'}, b), Xfer::Ok);
    // Unplugged: every shape fails at once instead of waiting.
    sim->unplug(0);
    EXPECT_EQ(link.sendAwaitByte({'I'}, b), Xfer::Failed);
    EXPECT_EQ(link.awaitCount(1, false, ans), Xfer::Failed);
}

TEST(TraceFtdi, OneIdentificationByteForByte) {
    qjt::ScratchDir dir;
    const std::string path = dir.file("trace.txt");
    {
        TraceFtdi api(makeSim("jig=ENE_EDID_KB,ident=ENE_EDID_KB\\r"), path);
        JigLink link(api);
        openMain(api, link, "CLOSE FTDI Handle");
    }
    EXPECT_EQ(qjt::readFile(path),
              "# devices 1\n# open 0\n# reset\n# baud 921600\n# data 8 0 0\n# timeouts 300 300\n> 42\n"
              "< 45 4E 45 5F 45 44 49 44 5F 4B 42 0D\n# latency 2\n# close\n");
}

TEST(JigLink, WindowVariantsOfOpenAndIdentify) {
    struct Case {
        const char* name;
        OpenOptions opt;
        std::string jig;
        OpenResult result;
        std::vector<std::string> ru, en;
        const char* timeouts;
    } cases[] = {
        {"ITE", mode(ModeId::Ite).open, "ITE2_PROJ_Q37", OpenResult::Ready,
         {"Number of VCOM ports found on the machine: 1", "Версия FW программатора -> ITE2_PROJ_Q37",
          "Communication with programmer installed."},
         {"Number of VCOM ports found on the machine: 1", "Programmer FW version -> ITE2_PROJ_Q37",
          "Communication with programmer installed."},
         "# timeouts 300 300"},
        {"ITE on an EPM240 jig", mode(ModeId::Ite).open, "M328_EPM240_v19", OpenResult::Ready,
         {"Number of VCOM ports found on the machine: 1", "Версия FW программатора -> M328_EPM240_v19",
          "Communication with programmer installed."},
         {"Number of VCOM ports found on the machine: 1", "Programmer FW version -> M328_EPM240_v19",
          "Communication with programmer installed."},
         nullptr},
        {"NPCE", mode(ModeId::Npce).open, "NPCE_Q37", OpenResult::Ready,
         {"Number of VCOM ports found on the machine: 1", "Version FW -> NPCE_Q37",
          "Communication with programmer installed."},
         {},
         "# timeouts 500 500"},
        {"Nuvoton JTAG", mode(ModeId::Nuv).open, "NPCE_Q37", OpenResult::Ready, {}, {}, nullptr},
        {"Nuvoton JTAG, wrong firmware", mode(ModeId::Nuv).open, "ITE2_PROJ_Q37", OpenResult::WrongFirmware,
         {"It is necessary to update the firmware programmer!"}, {}, nullptr},
        {"MEC, any answer", mode(ModeId::Mec).open, "ENE_EDID_KB", OpenResult::Ready,
         {"Version FW -> ENE_EDID_KB", "Communication with programmer installed."}, {}, nullptr},
    };
    for (auto& c : cases) {
        qjt::ScratchDir dir;
        auto sim = makeSim("jig=" + c.jig);
        TraceFtdi traced(std::unique_ptr<FtdiApi>(sim.release()), dir.file("t.txt"));
        qjt::RecordingView view;
        JigLink link(traced);
        EXPECT_EQ(link.open(c.opt, view), c.result) << c.name;
        EXPECT_EQ(view.lines(), c.ru) << c.name;
        EXPECT_EQ(view.linesEn(), c.en) << c.name;
        link.close();
        if (c.timeouts) {
            EXPECT_NE(qjt::readFile(dir.file("t.txt")).find(c.timeouts), std::string::npos) << c.name;
        }
    }
}

// A purge of both queues waits for the command before it to leave the bridge;
// the settle after a command drops what came in only.
TEST(JigLink, PurgesNeverDropACommandOnItsWay) {
    qjt::ScratchDir dir;
    auto owned = makeSim("jig=ENE_EDID_KB,usb=ft232r");
    sim::SimFtdi& sim = *owned;
    TraceFtdi traced(std::move(owned), dir.file("t.txt"));
    JigLink link(traced);
    openMain(traced, link, "NOT CLOSE FTDI Handle");
    sim.clearRecord();
    link.write({'I'});
    uint32_t rx = 0, tx = 0;
    link.status(rx, tx);
    ASSERT_GT(tx, 0u);  // still waiting for its frame
    link.purge();
    link.write({'O'});
    link.settle();
    // A transmit purge without the drain loses the command.
    link.write({'I'});
    traced.Purge(link.handle(), FT_PURGE_TX);
    link.close();
    EXPECT_EQ(sim.hostWrites(), (std::vector<std::vector<uint8_t>>{{'I'}, {'O'}}));
    const std::string t = qjt::readFile(dir.file("t.txt"));
    EXPECT_NE(t.find("> 49\n# purge 3\n> 4F\n# purge 1\n"), std::string::npos) << t;
}
