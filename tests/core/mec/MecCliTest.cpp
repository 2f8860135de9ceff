#include <gtest/gtest.h>

#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace {

using qjt::runQjig;

bool has(const std::string& out, const std::string& line) { return out.find(line + "\n") != std::string::npos; }

TEST(MecCli, CheckReadEraseWriteAndVerify) {
    qjt::ScratchDir dir;
    const std::string sim = "jig=V42_Q37,mode=instant";
    const auto check = runQjig({"--sim", sim, "mec", "check"});
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_TRUE(has(check.out, "ID from MEC -> 0000 A4B7h")) << check.out;
    EXPECT_EQ(runQjig({"--sim", sim + ",mec-fwp=1", "mec", "check"}).status, 1);

    const auto read = runQjig({"--sim", sim, "mec", "read", "dump.bin", "--info", "--twice"});
    EXPECT_EQ(read.status, 0) << read.out;
    EXPECT_TRUE(has(read.out, "The two reads are equal.")) << read.out;
    EXPECT_EQ(qjt::readBytes(dir.file("dump.bin")).size(), 198656u);
    EXPECT_EQ(runQjig({"--sim", sim + ",mec-info-out=" + dir.file("info.bin"), "mec", "erase", "--info"}).status, 0);
    EXPECT_EQ(qjt::readBytes(dir.file("info.bin")), std::vector<uint8_t>(2048, 0xFF));

    // Erase, write, read back: the chip holds the file, padded with FFh.
    std::vector<uint8_t> image(70000);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + (i >> 8));
    image[0x400] = 0x5A;
    qjt::writeBytes(dir.file("in.bin"), image);
    const auto w = runQjig({"--sim", sim + ",mec-flash-out=" + dir.file("chip.bin"), "mec", "write", "in.bin",
                            "--erase", "--verify"});
    EXPECT_EQ(w.status, 0) << w.out;
    EXPECT_TRUE(has(w.out, "Стирание завершено успешно.")) << w.out;
    EXPECT_NE(w.out.find("checksum: 70000 bytes, CRC-32 "), std::string::npos) << w.out;
    EXPECT_TRUE(has(w.out, "Verify: the target equals in.bin.")) << w.out;
    auto want = image;
    want.resize(196608, 0xFF);
    const auto chip = qjt::readBytes(dir.file("chip.bin"));
    EXPECT_EQ(chip, want);

    // A cell that keeps its value: the verify names it.
    const auto bad = runQjig({"--sim", sim + ",mec-stuck=1024", "mec", "write", "in.bin", "--erase", "--verify"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(has(bad.out, "Verify: the target differs from in.bin: first difference at 0x000400, 1 byte differ."))
        << bad.out;
    // Without --erase the write neither erases nor verifies.
    const auto plain = runQjig({"--sim", sim + ",mec-stuck=1024", "mec", "write", "in.bin"});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out.find("Verify"), std::string::npos);
    EXPECT_EQ(plain.out.find("Стирание завершено"), std::string::npos);
}

TEST(MecCli, BadArgumentsAreMisuse) {
    qjt::ScratchDir dir;
    const std::vector<std::vector<std::string>> cases = {
        {"mec"},
        {"mec", "scan"},
        {"mec", "read"},
        {"mec", "check", "x.bin"},
        {"mec", "erase", "--verify"},
        {"mec", "write", "x.bin", "--info"},
        {"mec", "read", "x.bin", "--erase"},
        {"mec", "read", "a.bin", "b.bin"},
        {"mec", "write", "a.bin", "--twice"},
        {"mec", "verify"},
    };
    for (auto args : cases) {
        args.insert(args.begin(), {"--sim", "jig=V42_Q37,mode=instant"});
        const auto r = runQjig(args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_EQ(r.out, "") << args.back();
    }
}

}  // namespace
