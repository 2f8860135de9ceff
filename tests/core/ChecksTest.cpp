// The technician's checks of qjig: read twice, verify against a file, checksum
// lines and the EDID decode, on the ENE and EDID modes of the virtual jig.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/Checks.h"
#include "sim/EepromModel.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace {

using qjt::runQjig;

bool has(const std::string& out, const std::string& what) { return out.find(what) != std::string::npos; }

TEST(Checks, ReadTwiceWritesTheFileOnlyWhenBothReadsAgree) {
    qjt::ScratchDir dir;
    struct Case {
        std::vector<std::string> args;
        std::string sim;
        const char* difference;  // nullptr: the reads agree
    } cases[] = {
        {{"edid", "read", "d.bin", "--twice"}, "eeprom-flaky=77", "first difference at 0x00004D, 1 byte differ"},
        {{"edid", "read", "d.bin", "--twice"}, "", nullptr},
        {{"ene", "read", "d.bin", "--kestra", "--twice"}, "kestra=1-2,ene-flaky=0x1F3",
         "first difference at 0x0001F3, 1 byte differ"},
        {{"ene", "read", "d.bin", "--kestra", "--twice"}, "kestra=1-2", nullptr},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(dir.file("d.bin"));
        std::filesystem::remove_all(dir.file("d.bin.read1"));
        std::filesystem::remove_all(dir.file("d.bin.read2"));
        std::vector<std::string> args = {"--sim", "jig=ENE_EDID_KB,mode=instant" + (c.sim.empty() ? "" : "," + c.sim)};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = runQjig(args);
        if (c.difference) {
            EXPECT_EQ(r.status, 1) << c.sim;
            EXPECT_TRUE(has(r.out, c.difference)) << r.out;
            EXPECT_FALSE(std::filesystem::exists(dir.file("d.bin"))) << c.sim;
            EXPECT_TRUE(has(r.out, "kept as d.bin.read1 and d.bin.read2")) << r.out;
            EXPECT_TRUE(std::filesystem::exists(dir.file("d.bin.read2")));
        } else {
            EXPECT_EQ(r.status, 0) << r.out;
            EXPECT_TRUE(has(r.out, "The two reads are equal.\nchecksum: ")) << r.out;
            EXPECT_FALSE(std::filesystem::exists(dir.file("d.bin.read1")));
            EXPECT_FALSE(std::filesystem::exists(dir.file("d.bin.read2")));
        }
    }
}

TEST(Checks, VerifyComparesTheTargetWithAFilePaddedWithFF) {
    qjt::ScratchDir dir;
    const auto sample = qj::sim::EepromModel::sampleEdid();
    std::vector<uint8_t> image(sample.begin(), sample.end());
    qjt::writeBytes(dir.file("same.bin"), std::vector<uint8_t>(image.begin(), image.begin() + 128));  // FF behind it
    image[200] ^= 0x40;
    image[201] ^= 0x40;
    qjt::writeBytes(dir.file("other.bin"), image);
    const std::string sim = "jig=ENE_EDID_KB,mode=instant";
    auto r = runQjig({"--sim", sim, "edid", "verify", "same.bin"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(has(r.out, "Verify: the target equals same.bin.")) << r.out;
    r = runQjig({"--sim", sim, "edid", "verify", "other.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.out, "first difference at 0x0000C8, 2 bytes differ")) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("other.bin.verify")));
    qjt::writeBytes(dir.file("empty.bin"), {});
    EXPECT_EQ(runQjig({"--sim", sim, "edid", "verify", "empty.bin"}).status, 2);  // as a write refuses it
}

TEST(Checks, ChecksumLineGivesTheValuesOfCrc32AndSha256sum) {
    qjt::ScratchDir dir;
    qjt::writeFile(dir.file("check.bin"), "123456789");  // the standard check string of both algorithms
    EXPECT_EQ(qj::cli::checks::checksumLine(dir.file("check.bin"), 64),
              "checksum: 9 bytes, CRC-32 cbf43926, SHA-256 "
              "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225");
    EXPECT_FALSE(qj::cli::checks::checksumLine(dir.file("missing.bin"), 64));
}

TEST(Checks, EdidDecodeAndWriteRefusesABadBlockWithoutForce) {
    qjt::ScratchDir dir;
    const auto sample = qj::sim::EepromModel::sampleEdid();
    std::vector<uint8_t> good(sample.begin(), sample.end());
    qjt::writeBytes(dir.file("good.bin"), good);
    auto r = runQjig({"edid", "decode", "good.bin"});
    EXPECT_EQ(r.status, 0);
    for (const char* line : {"header: valid\n", "manufacturer: QLM\n", "product code: 0x156A (5482)\n",
                             "manufactured: week 12 of 2016\n", "EDID version: 1.4\n",
                             "preferred timing: 1920x1080 at 60.00 Hz (pixel clock 148.50 MHz)\n",
                             "monitor name: QM156FHD-01\n", "extension blocks: 0\n", "block 0 checksum: valid"})
        EXPECT_TRUE(has(r.out, line)) << line << "\n" << r.out;

    std::vector<uint8_t> bad = good;
    bad[20] ^= 0x01;  // one bit changed, checksum left as it was
    qjt::writeBytes(dir.file("bad.bin"), bad);
    char expected[64];
    std::snprintf(expected, sizeof expected, "block 0 checksum: invalid (0x%02X, should be 0x%02X)", good[127],
                  static_cast<uint8_t>(good[127] - 1));
    r = runQjig({"edid", "decode", "bad.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.out, expected)) << r.out;

    const std::string sim = "jig=ENE_EDID_KB,mode=instant,eeprom-out=" + dir.file("out.bin");
    r = runQjig({"--sim", sim, "edid", "write", "bad.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.out, "Refused: bad.bin is not a valid EDID (a block's checksum is wrong)")) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.bin")));  // no command reached the panel
    r = runQjig({"--sim", sim, "edid", "write", "bad.bin", "--force"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(has(r.out, "checksum: 256 bytes, CRC-32 ")) << r.out;
    EXPECT_EQ(qjt::readBytes(dir.file("out.bin")), bad);
}

}  // namespace
