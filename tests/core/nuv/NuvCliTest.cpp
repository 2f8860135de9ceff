#include <gtest/gtest.h>

#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace {

using Ran = qjt::CliRun;
Ran qjig(std::vector<std::string> args) { return qjt::runQjig(std::move(args)); }
bool has(const Ran& r, const std::string& s) { return r.out.find(s) != std::string::npos; }

TEST(NuvCli, WriteWithVerifyThenReadInTheNextRun) {
    qjt::ScratchDir dir;
    std::vector<uint8_t> image(131072);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 29 + (i >> 10));
    qjt::writeBytes(dir.file("in.bin"), image);
    const Ran w = qjig({"--sim", "jig=M328_EPM240_v19,mode=instant,nuv-cable=type-a,nuv-flash-out=" + dir.file("chip.bin"),
                        "nuv", "write", "in.bin", "--type-a", "--verify"});
    EXPECT_EQ(w.status, 0) << w.out;
    EXPECT_TRUE(has(w, "Selected 30 pin FFC (TYPE A))\n"));
    EXPECT_TRUE(has(w, "!box information: Please disconnect the power supply from the motherboard!\n"));
    EXPECT_TRUE(has(w, "Verify: the target equals in.bin.\n"));
    EXPECT_TRUE(has(w, "checksum: 131072 bytes, CRC-32 "));
    EXPECT_EQ(qjt::readBytes(dir.file("chip.bin")), image);

    const Ran r = qjig({"--sim", "jig=NPCE_Q37,mode=instant,nuv-flash=chip.bin", "nuv", "read", "out.bin", "--twice"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(has(r, "!box information: Please connect GND and: \\nA7 B19 C10 D21 E20\n"));
    EXPECT_TRUE(has(r, "I`m ready to READ or WRITE.\n"));
    EXPECT_TRUE(has(r, "The two reads are equal.\n"));
    EXPECT_EQ(qjt::readBytes(dir.file("out.bin")), image);

    // A cell that does not take its value: only the opt-in verify sees it.
    const std::string stuck = "jig=M328_EPM240_v19,mode=instant,nuv-stuck=70000";
    EXPECT_EQ(qjig({"--sim", stuck, "nuv", "write", "in.bin"}).status, 0);
    const Ran v = qjig({"--sim", stuck, "nuv", "write", "in.bin", "--verify"});
    EXPECT_EQ(v.status, 1);
    EXPECT_TRUE(has(v, "Verify: the target differs from in.bin: first difference at 0x011170, 1 byte differ")) << v.out;
}

TEST(NuvCli, FailuresAndMisuse) {
    qjt::ScratchDir dir;
    const std::string sim = "jig=M328_EPM240_v19,mode=instant";
    const Ran wrong = qjig({"--sim", sim + ",nuv=absent", "nuv", "read", "x.bin"});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_TRUE(has(wrong, "Wrong ID. Break.\n"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.bin")));
    const Ran noScript = qjig({"--sim", sim, "nuv", "read", "x.bin", "--script", "none.qjf"});
    EXPECT_EQ(noScript.status, 1);
    EXPECT_TRUE(has(noScript, "Break! Open file (.qjf) error or not found!\n"));
    const Ran lost = qjig({"--sim", sim + ",nuv-read-silent-at=3", "nuv", "read", "x.bin"});
    EXPECT_EQ(lost.status, 1);
    EXPECT_TRUE(has(lost, "!box error:  ERASE or WRITE protocol error! \\n"));

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"nuv"}, {"nuv", "read"}, {"nuv", "erase", "x.bin"}, {"nuv", "read", "x.bin", "--verify"},
          {"nuv", "write", "x.bin", "--script"}, {"nuv", "read", "a.bin", "b.bin"}}) {
        std::vector<std::string> a = {"--sim", sim};
        a.insert(a.end(), args.begin(), args.end());
        EXPECT_EQ(qjig(a).status, 2) << args.back();
    }
}

}  // namespace
