// The Nuvoton JTAG window's bytes: pin map, batches with their CRC-8, and the
// JTAG script's lines.
#include <gtest/gtest.h>

#include "modes/nuv/NuvProtocol.h"
#include "support/TestSupport.h"

using namespace qj::nuv;
using Bytes = std::vector<uint8_t>;

namespace {

TEST(NuvProtocol, PinMapsOfBothCableOrientations) {
    struct Case {
        bool pin1ToPin1;
        uint8_t tdo;
        std::array<uint8_t, 4> oe, s1, s0;
    };
    for (const Case& c : {Case{true, 0x89, {0x40, 0x00, 0x1C, 0x00}, {0x40, 0x00, 0x10, 0x00}, {0x40, 0x00, 0x04, 0x00}},
                          Case{false, 0x94, {0x00, 0x0E, 0x80, 0x00}, {0x00, 0x02, 0x80, 0x00}, {0x00, 0x08, 0x80, 0x00}}}) {
        const PinMap m = pinMap(c.pin1ToPin1);
        EXPECT_EQ(m.tdo, c.tdo);
        EXPECT_EQ(m.oe, c.oe) << c.pin1ToPin1;
        EXPECT_EQ(m.s1, c.s1) << c.pin1ToPin1;
        EXPECT_EQ(m.s0, c.s0) << c.pin1ToPin1;
        // The jig takes the TDO select first, then S1/S0 pairs, then the output enables.
        const auto regs = pinMapRegisters(m);
        const std::vector<std::pair<uint8_t, uint8_t>> want = {
            {0x40, c.tdo},   {0x24, c.s1[0]}, {0x20, c.s0[0]}, {0x25, c.s1[1]}, {0x21, c.s0[1]},
            {0x26, c.s1[2]}, {0x22, c.s0[2]}, {0x27, c.s1[3]}, {0x23, c.s0[3]}, {0x10, c.oe[0]},
            {0x11, c.oe[1]}, {0x12, c.oe[2]}, {0x13, c.oe[3]}};
        EXPECT_EQ(regs, want);
    }
}

TEST(NuvProtocol, Crc8) {
    const std::string digits = "123456789";
    EXPECT_EQ(crc8(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0xA1);
    const Bytes ones(256, 0xFF), zeros(256, 0x00);
    EXPECT_EQ(crc8(ones.data(), ones.size()), 0xB4);
    EXPECT_EQ(crc8(zeros.data(), zeros.size()), 0x00);
}

TEST(NuvProtocol, SetUpAndEraseBatches) {
    EXPECT_EQ(batch(kDataMode, setupPairs()),
              (Bytes{0x4A, 0x57, 40, 0, 0xFF, 0x0B, 0xF0, 0x07, 0x01, 0, 0x0D, 0x00, 0x04, 0x01, 0, 0x09, 3, 0, 0, 0,
                     0x01, 0x00, 0x04, 0, 0, 0x00, 0x00, 0x04, 0, 0, 0x02, 0x00, 0x04, 0, 0, 0x03, 0x10, 0, 0, 0}));
    for (int r : {0, 17, 31}) {
        const Bytes b = batch(kEraseMode, erasePairs(r));
        ASSERT_EQ(b.size(), 125u);
        EXPECT_EQ(Bytes(b.begin(), b.begin() + 5), (Bytes{0x4A, 0x57, 125, 0, 0xFE}));
        const auto p = erasePairs(r);
        // The address bytes: low 0, then r * 16 passed whole (above FFh from sector 16), then r / 16.
        EXPECT_EQ(p[16], (Pair{0x0D, static_cast<uint32_t>(r * 16)}));
        EXPECT_EQ(p[19], (Pair{0x0D, static_cast<uint32_t>(r / 16)}));
        EXPECT_EQ(p[22], (Pair{0x0D, 0xA8}));
        EXPECT_EQ(Bytes(b.begin() + 5 + 16 * 5, b.begin() + 5 + 17 * 5),
                  (Bytes{0x0D, static_cast<uint8_t>(r * 16), static_cast<uint8_t>(r * 16 >> 8), 0, 0}));
    }
}

TEST(NuvProtocol, DataAndDescriptorBatchesPerBlock) {
    Bytes block(256);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i);
    const uint8_t crc = crc8(block.data(), block.size());
    struct Case {
        int k;
        uint32_t buffer, word2, word3;
    };
    for (const Case& c : {Case{0, 0x10800, 0x000000FF, 0x00000000}, Case{1, 0x10900, 0x010000FF, 0x01000000},
                          Case{256, 0x10800, 0x000000FF, 0x00000001}, Case{511, 0x10900, 0xFF0000FF, 0x01000001}}) {
        const Bytes data = batch(kDataMode, dataPairs(c.k, block.data()));
        ASSERT_EQ(data.size(), 335u) << c.k;
        const auto le = [](uint32_t v) { return Bytes{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; };
        Bytes head{0x4A, 0x57, 0x4F, 0x01, 0xFF, 0x0B};
        for (uint8_t x : le(c.buffer)) head.push_back(x);
        for (uint8_t x : Bytes{0x0D, 0, 1, 2, 3, 0x09, 0xEB, 0x07, 0, 0, 0x0D, 4, 5, 6, 7}) head.push_back(x);
        EXPECT_EQ(Bytes(data.begin(), data.begin() + static_cast<long>(head.size())), head) << c.k;
        EXPECT_EQ(Bytes(data.end() - 5, data.end()), (Bytes{0x0D, 252, 253, 254, 255})) << c.k;

        const std::array<uint32_t, 4> words = {0x00010077, 0x00010000u + crc, c.word2, c.word3};
        EXPECT_EQ(descriptorWords(c.k, crc), words) << c.k;
        Bytes desc{0x4A, 0x57, 35, 0, 0x22, 0x0B, 0xF0, 0x07, 0x01, 0, 0x0D};
        for (uint8_t x : le(words[0])) desc.push_back(x);
        for (uint8_t x : Bytes{0x09, 0x6B, 0, 0, 0}) desc.push_back(x);
        for (int w = 1; w < 4; ++w) {
            desc.push_back(0x0D);
            for (uint8_t x : le(words[static_cast<size_t>(w)])) desc.push_back(x);
        }
        EXPECT_EQ(batch(kDescriptorMode, descriptorPairs(c.k, block.data())), desc) << c.k;
    }
    EXPECT_EQ(descriptorWords(0, crc8(Bytes(256, 0xFF).data(), 256))[1], 0x000100B4u);
}

TEST(NuvProtocol, ScriptLines) {
    using K = ScriptLine::Kind;
    struct Case {
        std::string line;
        K kind;
        std::vector<Bytes> sent;
    };
    const std::vector<Case> cases = {
        {"i 0E\r", K::Steps, {{0x4A, 0x69, 0x0E}}},
        {"d 3A", K::Steps, {{0x4A, 0x64, 0x3A}}},  // no carriage return: tolerated
        {"d 3A  ", K::Steps, {{0x4A, 0x64, 0x3A}}},
        {"d 3A   \r", K::Steps, {{0x4A, 0x64, 0x3A}}},  // length 7: the 8-bit shift only
        {"D 12345678\r", K::Steps, {{0x4A, 0x44, 0x78, 0x56, 0x34, 0x12}}},
        {"d 0B   000107F0\r", K::Steps, {{0x4A, 0x64, 0x0B}, {0x4A, 0x44, 0xF0, 0x07, 0x01, 0x00}}},
        {"dX0BXXX000107F0 22\r", K::Steps, {{0x4A, 0x54, 0x22, 0x0B, 0xF0, 0x07, 0x01, 0x00}}},  // 1, 4-6 not read
        {"d 0B   000107F0 2\r", K::Steps, {{0x4A, 0x64, 0x0B}, {0x4A, 0x44, 0xF0, 0x07, 0x01, 0x00}}},
        {"d 0B   000107F0x22", K::Steps, {{0x4A, 0x64, 0x0B}, {0x4A, 0x44, 0xF0, 0x07, 0x01, 0x00}}},
        {"; a comment\r", K::Ignored, {}},
        {"\r", K::Ignored, {}},
        {"I 0E\r", K::Ignored, {}},
        // Numbers outside the line, or not upper-case hexadecimal: never sent.
        {"i 0\r", K::Malformed, {}},
        {"i 0e\r", K::Malformed, {}},
        {"d\r", K::Malformed, {}},
        {"d 0B   0001\r", K::Malformed, {}},     // length 11: the 32-bit value is cut
        {"d 0B   000107F\r", K::Malformed, {}},  // length 14
        {"d 0B   0001G7F0\r", K::Malformed, {}},
        {"d 0B   0001G7F0 22\r", K::Malformed, {}},
        {"D 1234567\r", K::Malformed, {}},
        {"D 1234567g\r", K::Malformed, {}},
    };
    for (const Case& c : cases) {
        const ScriptLine l = parseScriptLine(c.line);
        EXPECT_EQ(l.kind, c.kind) << c.line;
        std::vector<Bytes> sent;
        for (const auto& cmd : l.commands) sent.push_back(cmd.bytes);
        EXPECT_EQ(sent, c.sent) << c.line;
        if (c.kind == K::Malformed) {
            EXPECT_FALSE(l.why.empty()) << c.line;
        }
    }
    EXPECT_EQ(parseScriptLine("D 00000000").commands[0].answer, 4u);
}

TEST(NuvProtocol, ScriptFileLinesCountedByTheirLineFeeds) {
    qjt::ScratchDir dir;
    auto read = [&](const std::string& text) {
        qjt::writeFile(dir.file("s.qjf"), text);
        return readScript(dir.file("s.qjf"));
    };
    Script s = read("i 01\r\n; x\r\nD 00000001\r\nd 02");  // the last line has no line feed
    EXPECT_EQ(s.badLine, 0);
    ASSERT_EQ(s.lines.size(), 3u);
    EXPECT_EQ(s.lines[1].size(), 0u);
    EXPECT_EQ(s.lines[2][0].bytes, (Bytes{0x4A, 0x44, 1, 0, 0, 0}));

    // A line that does not fit the 1040-byte buffer, across the 1024-byte reads.
    s = read("i 01\r\n; " + std::string(1037, 'x') + "\r\ni 02\r\n");
    EXPECT_EQ(s.badLine, 0);
    s = read("i 01\r\n; " + std::string(1038, 'x') + "\r\ni 02\r\n");
    EXPECT_EQ(s.badLine, 2);
    EXPECT_NE(s.why.find("1040"), std::string::npos);

    s = read("i 01\r\ni 02\r\nd 0B   0001\r\ni 03\r\n");
    EXPECT_EQ(s.badLine, 3);
}

}  // namespace
