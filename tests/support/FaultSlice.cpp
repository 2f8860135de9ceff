#include "support/FaultSlice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "jig/ftdi/FtdiApi.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace qjt {

std::vector<FaultCase> faultSlice() {
    const std::string ene = "jig=ENE_EDID_KB,kestra=1-2";
    const std::vector<std::string> read = {"ene", "read", "{dump}", "--kestra"};
    const std::vector<std::string> lost = {"!!! Lost Communication with ENE or timeout !!! ",
                                           "The programmer is not found or does not respond"};
    return {
        // A block command that never leaves, half of one, an answer that cannot
        // be read, a queue that cannot be asked: all in the middle of the 512 blocks.
        {"EneReadWriteFails", ene, read, "write-fail=100", 1, lost},
        {"EneReadWriteShort", ene, read, "write-short=100", 1, lost},
        {"EneReadReadFails", ene, read, "read-fail=100", 1, lost},
        {"EneReadStatusFails", ene, read, "status-fail=200", 1, lost},
        // 921600 refused: the jig never hears the identification request.
        {"EneReadBaudRefused", ene, read, "baud-fail=1", 1, lost},
        {"EdidWriteShort", "jig=ENE_EDID_KB", {"edid", "write", "{image}", "--force"}, "write-short=3", 1,
         {"EEPROM does not respond, or write error! WP 7 pin = '0' ?"}},
        // The purge before the bootloader's first request: its status is not
        // looked at, and the queues were empty anyway, so the upgrade goes on.
        {"UpgradePurgeFails", "jig=ITE2_PROJ_Q37", {"start", "EDID lcd"}, "purge-fail=1", 0, {"-> TEDID_form"}},
    };
}

void runFaultCase(const FaultCase& c, const std::vector<std::string>& front, int64_t boundMs) {
    ScratchDir dir;
    const std::string dump = dir.file("dump.bin"), image = dir.file("image.bin"), trace = dir.file("trace.txt");
    writeBytes(image, randomImage(256, 3));
    std::vector<std::string> args = front;
    args.insert(args.end(), {"--trace", trace, "--fault", c.fault});
    for (const std::string& a : c.args) args.push_back(a == "{dump}" ? dump : a == "{image}" ? image : a);
    const int64_t t0 = qj::steadyClock().nowMs();
    const CliRun r = runQjig(args);
    const int64_t took = qj::steadyClock().nowMs() - t0;

    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_LT(took, boundMs);
    auto printed = [&](const std::string& t) { return r.out.find(t) != std::string::npos; };
    if (c.status == 0) {
        for (const std::string& t : c.texts) EXPECT_TRUE(printed(t)) << t << "\n" << r.out;
    } else {
        EXPECT_TRUE(std::any_of(c.texts.begin(), c.texts.end(), printed)) << "no failure text\n" << r.out;
        EXPECT_FALSE(printed("checksum: ")) << r.out;
    }
    if (std::filesystem::exists(dump)) {
        EXPECT_LT(std::filesystem::file_size(dump), 131072u) << "a dump that looks whole";
    }
    const auto [opens, closes] = opensAndCloses(trace);
    EXPECT_GT(opens, 0);
    EXPECT_EQ(opens, closes) << "a handle left open";
}

}  // namespace qjt
