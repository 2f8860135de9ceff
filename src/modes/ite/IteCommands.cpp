#include "modes/ite/IteCommands.h"

#include <initializer_list>
#include <utility>

namespace qj::ite {

const std::vector<RegStep> kReadPreparation = {
    {"(R001)", 0x27, 0x01}, {"(R002)", 0x27, 0x80}, {"(R003)", 0x04, 0xFF}, {"(R004)", 0x07, 0x7F},
    {"(R005)", 0x06, 0xFF},  // gateway open
    {"(R006)", 0x05, 0xFE}, {"(R007)", 0x08, 0x00},  // flash command end
    {"(R008)", 0x05, 0xFD}, {"(R009)", 0x08, kSpiFastRead},
    {"(R010)", 0x08, 0x00}, {"(R011)", 0x08, 0x00}, {"(R012)", 0x08, 0x00},  // address 0
    {"(R013)", 0x08, 0x00},                                                  // dummy byte
};

const std::vector<RegStep> kReadPreparation8580 = {
    {"", 0x07, 0x7F}, {"", 0x06, 0xFF}, {"", 0x04, 0x00}, {"", 0x61, 0x01}};

const std::vector<RegStep> kChipErase = {
    {"(T001)", 0x27, 0x01}, {"(T002)", 0x27, 0x80}, {"(T003)", 0x04, 0xFF}, {"(T004)", 0x07, 0x7F},
    {"(T005)", 0x06, 0xFF},                                                        // gateway open
    {"(T006)", 0x05, 0xFE}, {"(T007)", 0x08, 0x00},                                // flash command end
    {"(T008)", 0x05, 0xFD}, {"(T009)", 0x08, kSpiWriteEnable},                     // write enable
    {"(T010)", 0x05, 0xFE}, {"(T011)", 0x08, 0x00},                                // flash command end
    {"(T012)", 0x05, 0xFD}, {"(T013)", 0x08, kSpiChipErase1},                      // chip erase
    {"(T014)", 0x05, 0xFE}, {"(T015)", 0x08, 0x00},                                // flash command end
    {"(T016)", 0x05, 0xFD}, {"(T017)", 0x08, kSpiChipErase2},                      // chip erase
    {"(T018)", 0x05, 0xFE}, {"(T019)", 0x08, 0x00},                                // flash command end
};

const std::vector<RegStep> kBlockEraseInit = {
    {"", 0x27, 0x01}, {"", 0x27, 0x80}, {"", 0x04, 0xFF}, {"", 0x07, 0x7F}, {"", 0x06, 0xFF},
    {"", 0x05, 0xFE}, {"", 0x08, 0x00},
};

namespace {
std::vector<uint8_t> batch(uint8_t kind, std::initializer_list<std::pair<uint8_t, uint8_t>> pairs, int terminator) {
    std::vector<uint8_t> p = {kBatch, kind, 0};
    for (auto [r, v] : pairs) {
        p.push_back(r);
        p.push_back(v);
    }
    if (terminator >= 0) p.push_back(static_cast<uint8_t>(terminator));
    p[2] = static_cast<uint8_t>(p.size());
    return p;
}
uint8_t byteOf(uint32_t v, int shift) { return static_cast<uint8_t>(v >> shift); }
}  // namespace

std::vector<uint8_t> batchBlockAddress(uint8_t h, int block) {
    const auto b = static_cast<uint32_t>(block);
    return batch(3, {{0x07, h}, {0x06, byteOf(b, 8)}, {0x05, byteOf(b, 0)}, {0x04, 0x00}}, 0x09);
}

std::vector<uint8_t> batchWriteSetup() { return batch(2, {{0x07, 0x3F}, {0x06, 0xFF}, {0x04, 0xFF}, {0x3D, 0x01}}, -1); }

std::vector<uint8_t> batchPageAddress(uint32_t a) {
    return batch(1,
                 {{0x06, 0x01}, {0x05, 0x05}, {0x04, 0xAA}, {0xB0, 0xFF}, {0x06, byteOf(a, 16)}, {0x05, byteOf(a, 8)},
                  {0x04, byteOf(a, 0)}},
                 0x0A);
}

}  // namespace qj::ite
