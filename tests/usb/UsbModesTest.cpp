// Every mode through `qjig --backend libftdi`: the real libftdi1 and libusb,
// the emulated FT232R, the virtual jig behind it. A read and a write of each
// mode must leave the same file, the same target and the same log as the same
// run on the sim backend; the firmware upgrades must reach the jig's
// bootloaders at their own speeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <regex>

#include "support/TestSupport.h"
#include "usb/UsbJig.h"

namespace {

using qj::usb::ChipRequest;
using qjt::CliRun;

struct Transfer {
    std::string name;
    std::string spec;            // the virtual jig
    std::string memIn, memOut;   // the target's memory keys (empty: no memory)
    size_t size = 0;
    std::vector<std::vector<std::string>> runs;  // qjig words; "{file}": the dump or the image
};

std::vector<Transfer> transfers() {
    return {
        {"Ene", "jig=ENE_EDID_KB,kestra=1-2", "flash", "flash-out", 131072,
         {{"ene", "read", "{file}", "--kestra"}, {"ene", "write", "{file}", "--kestra"}}},
        {"Edid", "jig=ENE_EDID_KB", "eeprom", "eeprom-out", 256,
         {{"edid", "read", "{file}"}, {"edid", "write", "{file}", "--force"}}},
        {"Mec", "jig=V42_Q37,mec-erase-ms=20", "mec-flash", "mec-flash-out", 196608,
         {{"mec", "read", "{file}"}, {"mec", "write", "{file}", "--erase"}}},
        {"Ite", "jig=ITE2_PROJ_Q37", "ite-flash", "ite-flash-out", 131072,
         {{"ite", "read", "{file}", "--board", "1"}, {"ite", "write", "{file}", "--board", "1", "--chip-erase"}}},
        {"Npce", "jig=NPCE_Q37", "npce-flash", "npce-flash-out", 131072,
         {{"npce", "read", "{file}"}, {"npce", "write", "{file}"}}},
        {"Nuv", "jig=M328_EPM240_v19,nuv-erase-us=1000", "nuv-flash", "nuv-flash-out", 131072,
         {{"nuv", "read", "{file}"}, {"nuv", "write", "{file}"}}},
        {"Keyboard", "jig=ENE_EDID_KB,keys=3-7@600-900", "", "", 0, {{"keyboard", "scan", "--reports", "2"}}},
    };
}

void PrintTo(const Transfer& t, std::ostream* os) { *os << t.name; }

// The log without its clock.
std::string timeless(const std::string& out) {
    static const std::regex clock("[0-9][0-9]:[0-9][0-9]:[0-9][0-9]");
    return std::regex_replace(out, clock, "hh:mm:ss");
}

class UsbModes : public testing::TestWithParam<std::tuple<std::string, Transfer>> {
protected:
    void SetUp() override {
        std::string why;
        if (!qjt::usbBackendAvailable(backend(), why)) GTEST_SKIP() << why;
        // The ITE operations find their board in the current directory.
        qjt::writeFile("MB connection ITE.txt",
                       "Board PD0=10 PD1=11 PD2=12 PD3=13 PD4=14 PD5=15 PD6=16 PD7=17 BUSY=5 STB=6 AFD=7 INIT=8 "
                       "SLIN=9 KSI4=3 KSI5=4\n");
    }
    const std::string& backend() const { return std::get<0>(GetParam()); }
    const Transfer& transfer() const { return std::get<1>(GetParam()); }

    struct Ran {
        CliRun cli;
        std::vector<uint8_t> file, target;
    };
    // One run on the sim backend (usb false) or through the emulated chip.
    Ran run(bool usb, const std::vector<std::string>& words, const std::string& image) {
        const Transfer& t = transfer();
        // The same paths both times: the log names the file.
        const std::string file = dir_.file("file.bin"), out = dir_.file("target.bin");
        std::filesystem::remove(file);
        std::filesystem::remove(out);
        if (!image.empty()) std::filesystem::copy_file(image, file);
        std::string spec = t.spec;
        if (!t.memIn.empty()) spec += "," + t.memIn + "=" + dir_.file("initial.bin") + "," + t.memOut + "=" + out;
        std::vector<std::string> args;
        for (std::string w : words) args.push_back(w == "{file}" ? file : w);
        Ran r;
        if (usb) {
            qjt::UsbJig jig(spec, qjt::usbOptionsFor(backend()));
            args.insert(args.begin(), {"--backend", backend()});
            r.cli = qjt::runQjig(args);
            jig.close();
        } else {
            args.insert(args.begin(), {"--sim", spec + ",mode=instant"});
            r.cli = qjt::runQjig(args);
        }
        if (std::filesystem::exists(file)) r.file = qjt::readBytes(file);
        if (std::filesystem::exists(out)) r.target = qjt::readBytes(out);
        return r;
    }
    qjt::ScratchDir dir_;
};

TEST_P(UsbModes, ReadAndWriteGiveWhatTheSimBackendGives) {
    const Transfer& t = transfer();
    if (t.size) {
        qjt::writeBytes(dir_.file("initial.bin"), qjt::randomImage(t.size, 1));
        qjt::writeBytes(dir_.file("image.bin"), qjt::randomImage(t.size, 2));
    }
    for (const auto& words : t.runs) {
        const bool write = words[1] == "write";
        const std::string image = write ? dir_.file("image.bin") : "";
        const Ran sim = run(false, words, image);
        const Ran usb = run(true, words, image);
        const std::string what = t.name + " " + words[1];
        ASSERT_EQ(sim.cli.status, 0) << what << "\n" << sim.cli.out << sim.cli.err;
        EXPECT_EQ(usb.cli.status, 0) << what << "\n" << usb.cli.out << usb.cli.err;
        EXPECT_EQ(timeless(usb.cli.out), timeless(sim.cli.out)) << what;
        EXPECT_TRUE(usb.file == sim.file) << what << ": the file differs";
        EXPECT_TRUE(usb.target == sim.target) << what << ": the target differs";
        if (t.size) {
            EXPECT_EQ(write ? usb.target : usb.file, qjt::randomImage(t.size, write ? 2 : 1)) << what;
        }
    }
}

std::string transferName(const testing::TestParamInfo<UsbModes::ParamType>& p) {
    return std::get<0>(p.param) + "_" + std::get<1>(p.param).name;
}

INSTANTIATE_TEST_SUITE_P(Every, UsbModes,
                         testing::Combine(testing::Values("libftdi", "d2xx"), testing::ValuesIn(transfers())),
                         transferName);

class UsbJigControl : public testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        std::string why;
        if (!qjt::usbBackendAvailable(GetParam(), why)) GTEST_SKIP() << why;
    }
    CliRun qjig(std::vector<std::string> args) {
        args.insert(args.begin(), {"--backend", GetParam()});
        return qjt::runQjig(args);
    }
    qjt::ScratchDir dir_;
};

// What the tool sets on the bridge, as the chip decodes it: a reset, 921600
// baud (the divisor 3.25 gives 923,077), 8 data bits, no parity, 1 stop bit,
// and the latency timer 2 ms once the jig has answered.
TEST_P(UsbJigControl, IdentifySetsTheLineAsTheReadmeSays) {
    qjt::UsbJig jig("jig=ENE_EDID_KB", qjt::usbOptionsFor(GetParam()));
    const CliRun r = qjig({"identify"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "ENE_EDID_KB\n");
    std::vector<ChipRequest::Kind> after;  // from the link's own reset on
    const auto kinds = jig.kinds();
    const auto reset = std::find(kinds.rbegin(), kinds.rend(), ChipRequest::Reset);
    ASSERT_NE(reset, kinds.rend());
    for (auto it = reset.base() - 1; it != kinds.end(); ++it)
        if (*it != ChipRequest::PollModemStatus && *it != ChipRequest::LatencyGet) after.push_back(*it);
    EXPECT_EQ(after, (std::vector<ChipRequest::Kind>{ChipRequest::Reset, ChipRequest::BaudRate, ChipRequest::Data,
                                                     ChipRequest::LatencySet}));
    EXPECT_EQ(jig.values(ChipRequest::BaudRate).back(), 923077u);
    EXPECT_EQ(jig.values(ChipRequest::Data).back(), 0x0008u);  // 8 bits, parity none, 1 stop bit
    EXPECT_EQ(jig.values(ChipRequest::LatencySet), std::vector<uint32_t>{2});
    // Released, and the kernel's driver has the jig back (its tty returns).
    EXPECT_FALSE(jig.usb().interfaceClaimed());
    EXPECT_EQ(jig.usb().kernelDriverBound(), GetParam() == "libftdi");
}

// The Intel HEX upgrade switches the bridge to 115200 baud (divisor 26, 115,385
// baud) for the bootloader and back to 921600 for the new firmware, purging
// both buffers before each fresh request.
TEST_P(UsbJigControl, StartWithTheIntelHexUpgradeChangesTheDivisorBothWays) {
    qjt::UsbJig jig("jig=ITE2_PROJ_Q37", qjt::usbOptionsFor(GetParam()));
    const CliRun r = qjig({"start", "EDID lcd"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(qjig({"identify"}).out, "ENE_EDID_KB\n");
    std::vector<uint32_t> bauds = jig.values(ChipRequest::BaudRate);
    bauds.erase(std::unique(bauds.begin(), bauds.end()), bauds.end());
    const auto at115 = std::find(bauds.begin(), bauds.end(), 115385u);
    ASSERT_NE(at115, bauds.end()) << "no switch to 115200";
    EXPECT_NE(std::find(bauds.begin(), at115, 923077u), at115) << "921600 before the bootloader";
    EXPECT_NE(std::find(at115, bauds.end(), 923077u), bauds.end()) << "no switch back to 921600";
    EXPECT_FALSE(jig.values(ChipRequest::PurgeToHost).empty());
    EXPECT_FALSE(jig.values(ChipRequest::PurgeToLine).empty());
}

// A transfer sets the event character to the byte its answers end in (an ENE
// block's status) and turns it off again before it lets the device go.
TEST_P(UsbJigControl, ATransferSetsTheEventCharacterAndTurnsItOff) {
    qjt::UsbJig jig("jig=ENE_EDID_KB", qjt::usbOptionsFor(GetParam()));
    const CliRun r = qjig({"ene", "read", dir_.file("dump.bin")});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(jig.values(ChipRequest::EventChar), (std::vector<uint32_t>{0x100 | 'K', 0}));
    EXPECT_EQ(jig.values(ChipRequest::ErrorChar), (std::vector<uint32_t>{0, 0}));
}

// The emulated chip runs in real time: the reset button is pressed a second in,
// long after the identification (which a bootloader would not answer) even on
// a loaded machine, and long before the update gives up waiting for it.
TEST_P(UsbJigControl, StartWithTheVersion3Update) {
    qjt::UsbJig jig("jig=M328_EPM240_v18,reset-after=1000", qjt::usbOptionsFor(GetParam()));
    const CliRun r = qjig({"start", "MEC jtag"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(qjig({"identify"}).out, "M328_EPM240_v19\n");
}

INSTANTIATE_TEST_SUITE_P(Every, UsbJigControl, testing::Values("libftdi", "d2xx"),
                         [](const auto& p) { return p.param; });

}  // namespace
