// The jig's application firmwares as families of commands: each family routes a
// command to the target model that owns it, and a command nobody owns is loud.
#include <gtest/gtest.h>

#include "sim/AppFirmware.h"
#include "sim/SimFtdi.h"
#include "support/TestSupport.h"

using namespace qj;

namespace {
struct Exchange {
    std::string family;  // the jig's identification
    std::string send;    // bytes to the jig
    size_t answer;       // bytes it answers with
    bool loud;           // a virtual-jig error is reported
};

// Sends each step in turn on one open link; returns the bytes answered per step.
void play(const std::vector<Exchange>& steps) {
    auto sim = qjt::makeSim("jig=" + steps.front().family);
    uint32_t n = 0;
    FT_HANDLE h = nullptr;
    sim->CreateDeviceInfoList(n);
    ASSERT_EQ(sim->Open(0, h), FT_OK);
    sim->SetBaudRate(h, 921600);
    sim->SetDataCharacteristics(h, 8, 0, 0);
    sim->SetTimeouts(h, 50, 50);
    for (const auto& s : steps) {
        const size_t errorsBefore = sim->errors().size();
        uint32_t w = 0, got = 0;
        testing::internal::CaptureStderr();
        sim->Write(h, reinterpret_cast<const uint8_t*>(s.send.data()), static_cast<uint32_t>(s.send.size()), w);
        uint8_t buf[64];
        sim->Read(h, buf, sizeof buf, got);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(got, s.answer) << s.family << " " << s.send;
        EXPECT_EQ(sim->errors().size() > errorsBefore, s.loud) << s.family << " " << s.send;
    }
    sim->Close(h);
}
}  // namespace

TEST(FirmwareFamilies, EachCommandReachesTheModelThatOwnsIt) {
    // The EPM240 firmware: the JTAG lines, the MEC's "M" forms and the Nuvoton's "J" forms side by side.
    play({{"M328_EPM240_v19", "SR", 1, false},
          {"M328_EPM240_v19", "SW\x03\x10", 1, false},
          {"M328_EPM240_v19", "JX", 1, false},
          {"M328_EPM240_v19", "Mj", 4, false},
          {"M328_EPM240_v19", "Ji\x05", 1, false},
          {"M328_EPM240_v19", "J1", 1, false},
          {"M328_EPM240_v19", "I", 1, false},
          {"M328_EPM240_v19", "Mz", 0, true},
          {"M328_EPM240_v19", "Jq", 0, true}});
    // The NPCE firmware: its SPI commands and the same JTAG commands.
    play({{"NPCE_Q37", "Z", 4, false},
          {"NPCE_Q37", "JS", 1, false},
          {"NPCE_Q37", "Ji\x05", 1, false},
          {"NPCE_Q37", "O", 1, false},
          {"NPCE_Q37", "Mj", 0, true}});
    // The plain MEC firmware answers neither the signals nor the release.
    play({{"V42_Q37", "I", 0, false},
          {"V42_Q37", "O", 0, false},
          {"V42_Q37", "0", 0, false},
          {"V42_Q37", "j", 4, false},
          {"V42_Q37", "SR", 0, true}});
    // The ITE firmware's set-up mode: its pin frames start with bytes that mean
    // other things outside it ("B" is the identification request).
    play({{"ITE2_PROJ_Q37", "S", 1, false},
          {"ITE2_PROJ_Q37", "BL\x05", 1, false},
          {"ITE2_PROJ_Q37", "IN\x08", 1, false},
          {"ITE2_PROJ_Q37", "QQQ", 1, false},
          {"ITE2_PROJ_Q37", "B", 13, false}});
}

TEST(FirmwareFamilies, TwoModelsCannotOwnOneCommand) {
    sim::AppFirmware fw("test", "test");
    fw.on('J', 'i', sim::ackOne);
    EXPECT_THROW(fw.on('J', 'i', sim::ackOne), std::logic_error);
    EXPECT_THROW(fw.on('J', sim::ackOne), std::logic_error);  // a one-byte 'J' would hide the pairs
    fw.on('Z', sim::ackOne);
    EXPECT_THROW(fw.on('Z', 'x', sim::ackOne), std::logic_error);
}
