#include <gtest/gtest.h>

#include "modes/common/ImageFile.h"
#include "support/TestSupport.h"

using namespace qj;

TEST(ImageFile, LoadRefusesWhatCannotBeWrittenAndPadsTheRest) {
    qjt::ScratchDir dir;
    qjt::writeBytes(dir.file("short.bin"), {1, 2, 3});
    qjt::writeBytes(dir.file("empty.bin"), {});
    qjt::writeBytes(dir.file("long.bin"), std::vector<uint8_t>(10, 7));
    std::vector<uint8_t> img;
    struct Case {
        std::string path;
        image::Load result;
        size_t bytes;
    } cases[] = {
        {dir.file("short.bin"), image::Load::Ok, 3},
        {dir.file("long.bin"), image::Load::Ok, 8},
        {dir.file("empty.bin"), image::Load::Empty, 0},
        {dir.file("missing.bin"), image::Load::CannotOpen, 0},
        {dir.path().string(), image::Load::NotRegular, 0},
    };
    for (const auto& c : cases) {
        const auto r = image::load(c.path, img, 8);
        EXPECT_EQ(r.result, c.result) << c.path;
        EXPECT_EQ(r.bytes, c.bytes) << c.path;
        EXPECT_EQ(img.size(), 8u);
    }
    image::load(dir.file("short.bin"), img, 8);
    EXPECT_EQ(img, (std::vector<uint8_t>{1, 2, 3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(ImageFile, DumpThatCannotReachTheDiskIsNotComplete) {
    qjt::ScratchDir dir;
    const std::vector<uint8_t> block(4096, 0x55);
    {
        qjt::FullDisk disk(1000);
        image::DumpFile full;
        ASSERT_TRUE(full.create(dir.file("full.bin")));
        full.write(block.data(), block.size());
        EXPECT_FALSE(full.finish());
        EXPECT_FALSE(image::storeDump(dir.file("full2.bin"), block));
    }

    image::DumpFile good;
    ASSERT_TRUE(good.create(dir.file("d.bin")));
    EXPECT_TRUE(good.write(block.data(), 16));
    EXPECT_TRUE(good.finish());
    EXPECT_EQ(qjt::readBytes(dir.file("d.bin")).size(), 16u);
    EXPECT_FALSE(good.create(dir.file("no/such/dir/d.bin")));
}
