#include <gtest/gtest.h>

#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace {

TEST(NpceCli, WriteThenReadThroughTheAdapter) {
    qjt::ScratchDir dir;
    std::vector<uint8_t> image(131072);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + (i >> 10));
    qjt::writeBytes(dir.file("in.bin"), image);
    const std::string jig = "jig=NPCE_Q37,mode=instant,";
    const auto w = qjt::runQjig({"--sim", jig + "kestra=31-32,npce-flash-out=" + dir.file("chip.bin"), "npce",
                                 "write", "in.bin", "--kestra"});
    EXPECT_EQ(w.status, 0) << w.out;
    EXPECT_NE(w.out.find("KESTRA found! (31-32)\n"), std::string::npos);
    EXPECT_NE(w.out.find("Nuvoton chip is programmed succesfully!\n"), std::string::npos);
    EXPECT_EQ(qjt::readBytes(dir.file("chip.bin")), image);

    const auto r = qjt::runQjig({"--sim", jig + "npce-flash=chip.bin", "npce", "read", "out.bin"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(qjt::readBytes(dir.file("out.bin")), image);
    EXPECT_NE(r.out.find("checksum: 131072 bytes, CRC-32 "), std::string::npos);
    // verify compares what a whole read brought; a read the jig does not confirm compares nothing.
    EXPECT_EQ(qjt::runQjig({"--sim", jig + "npce-flash=chip.bin", "npce", "verify", "in.bin"}).status, 0);
    EXPECT_EQ(qjt::runQjig({"--sim", jig + "npce-flash=chip.bin,npce-end-status=0", "npce", "verify", "in.bin"}).status,
              1);

    const auto absent = qjt::runQjig({"--sim", jig + "kestra=1-2,npce=absent", "npce", "read", "x.bin", "--kestra"});
    EXPECT_EQ(absent.status, 1);
    EXPECT_NE(absent.out.find("!box information:  Please connect\\n B7 C18 D10 E8 \\n and try again!\n"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.bin")));

    for (std::vector<std::string> bad : {std::vector<std::string>{"read"}, {"erase", "x.bin"},
                                         {"read", "x.bin", "--board", "1"}}) {
        bad.insert(bad.begin(), {"--sim", jig + "npce-id=EF4012", "npce"});
        EXPECT_EQ(qjt::runQjig(bad).status, 2) << bad[3];
    }
}

}  // namespace
