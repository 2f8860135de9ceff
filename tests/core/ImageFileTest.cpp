#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

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
        {"/dev/zero", image::Load::NotRegular, 0},     // never read: it has no end
        {dir.file("fifo"), image::Load::NotRegular, 0},  // never opened: it would wait for a writer
        {"/proc/self/status", image::Load::NotRegular, 0},
    };
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    for (const auto& c : cases) {
        const auto r = image::load(c.path, img, 8);
        EXPECT_EQ(r.result, c.result) << c.path;
        EXPECT_EQ(r.bytes, c.bytes) << c.path;
        EXPECT_EQ(img.size(), 8u);
    }
    image::load(dir.file("short.bin"), img, 8);
    EXPECT_EQ(img, (std::vector<uint8_t>{1, 2, 3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_TRUE(image::load(dir.file("long.bin"), img, 9).longer);
    EXPECT_FALSE(image::load(dir.file("long.bin"), img, 10).longer);
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

    // A device or a FIFO is never a dump; a link is written through and stays a link.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(good.create(dir.file("fifo")));
    EXPECT_FALSE(good.create("/dev/null"));
    EXPECT_FALSE(good.create(dir.path().string()));
    std::filesystem::create_symlink("d.bin", dir.file("link.bin"));
    EXPECT_TRUE(image::storeDump(dir.file("link.bin"), {9, 9}));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.bin")));
    EXPECT_EQ(qjt::readBytes(dir.file("d.bin")), (std::vector<uint8_t>{9, 9}));
}

TEST(ImageFile, ScratchFilesNeverTakeAUsersName) {
    qjt::ScratchDir dir;
    qjt::writeFile(dir.file("d.bin.read1"), "mine");
    const std::string a = image::createScratch(dir.file("d.bin"), ".read1");
    const std::string b = image::createScratch(dir.file("d.bin"), ".read1");
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    EXPECT_EQ(image::keepAs(a, dir.file("d.bin.read1")), dir.file("d.bin.read1.1"));
    EXPECT_EQ(image::keepAs(b, dir.file("d.bin.read1")), dir.file("d.bin.read1.2"));
    EXPECT_EQ(qjt::readFile(dir.file("d.bin.read1")), "mine");
    EXPECT_FALSE(std::filesystem::exists(a));
}
