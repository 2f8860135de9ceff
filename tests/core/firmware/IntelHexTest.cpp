#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "FirmwareRig.h"
#include "jig/firmware/IntelHex.h"
#include "modes/Modes.h"
#include "jig/firmware/JigFiles.h"

using namespace qj;
using fwt::eofRecord;
using fwt::record;

namespace {

struct Loaded {
    JigImage img;
    std::vector<std::string> lines;
};

Loaded load(const std::string& content) {
    qjt::ScratchDir dir;
    qjt::writeFile(dir.file("img.hex"), content);
    qjt::RecordingView view;
    Loaded l{loadJigImageFile(dir.file("img.hex"), view), {}};
    l.lines = view.lines();
    return l;
}

std::vector<uint8_t> bytes(std::initializer_list<int> v) {
    std::vector<uint8_t> b;
    for (int x : v) b.push_back(static_cast<uint8_t>(x));
    return b;
}

}  // namespace

TEST(IntelHex, ModesPickTheirImageFiles) {
    const std::pair<const char*, const char*> want[] = {
        {"EDID lcd", "ENE_EDID_KB.hex"}, {"Keyboard testing", "ENE_EDID_KB.hex"}, {"ENE KB90XX", "ENE_EDID_KB.hex"},
        {"MEC jtag", "Q37_jtag.hex"},    {"ITE", "ITE2_PROJ_Q37.hex"},            {"NUVOTON spi", "Q37_NPCE288.hex"},
        {"NUVOTON jtag", "Q37_NPCE288.hex"},
    };
    for (const auto& [item, file] : want) {
        ASSERT_NE(modeByItem(item), nullptr) << item;
        EXPECT_EQ(modeByItem(item)->image, file) << item;
    }
    EXPECT_EQ(modeByItem("Please select "), nullptr);
}

TEST(IntelHex, LoadLogsPathSizeAndZeroPaddedEndAndKeepsInnerFF) {
    // 0xFF inside the image stays; only trailing 0xFF is ignored by the end search.
    const std::string text = record(0x0000, 0, bytes({0x01, 0xFF, 0xFF, 0x02})) +
                             record(0x0020, 0, bytes({0xFF, 0xFF, 0xFF, 0x5A, 0xFF, 0xFF})) + eofRecord();
    qjt::ScratchDir dir;
    qjt::writeFile(dir.file("img.hex"), text);
    qjt::RecordingView view;
    JigImage img = loadJigImageFile(dir.file("img.hex"), view);
    ASSERT_TRUE(img.loaded()) << img.decode.reason;
    EXPECT_EQ(img.end, 0x23u);
    EXPECT_EQ(view.lines(), (std::vector<std::string>{"UPGRADE file loaded to buffer (" + dir.file("img.hex") + ")",
                                                     "Bytes read from file " + std::to_string(text.size()),
                                                     "HEX position_buff 0023"}));
    EXPECT_EQ(view.gaugeMaximum(), 0x23);
    EXPECT_EQ(img.flash[1], 0xFF);
    EXPECT_EQ(img.flash[3], 0x02);
    EXPECT_EQ(img.flash[0x10], 0xFF);
    EXPECT_EQ(img.flash[0x23], 0x5A);
}

TEST(IntelHex, DigitsAreDecodedByTheirCodesOnly) {
    // "1a" is 16 * 1 + ('a' - 55) = 58; the checksum follows the same arithmetic.
    // Sum: count 01 + 00 + 00 + 00 + 58 + checksum = 0 (mod 256): checksum 0xC5.
    auto l = load(":010000001aC5\r\n" + eofRecord());
    ASSERT_TRUE(l.img.loaded()) << l.img.decode.reason;
    EXPECT_EQ(l.img.flash[0], 58);
    EXPECT_EQ(l.img.end, 0u);
}

TEST(IntelHex, MalformedFilesAreFormatErrors) {
    const std::vector<uint8_t> d16(16, 0x11);
    struct Case {
        const char* what;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"LF-only line ends: the second record is misaligned",
         record(0x0000, 0, d16, "\n") + record(0x0010, 0, d16, "\n") + eofRecord()},
        {"extended segment address (02)", record(0, 2, bytes({0x10, 0x00})) + record(0, 0, d16) + eofRecord()},
        {"extended linear address (04)", record(0, 4, bytes({0x00, 0x00})) + record(0, 0, d16) + eofRecord()},
        {"bad checksum", record(0, 0, d16, "\r\n", 1) + eofRecord()},
        {"bad checksum of the end record", record(0, 0, d16) + ":00000001FE\r\n"},
        {"no colon at the start", " " + record(0, 0, d16) + eofRecord()},
        {"data past 0x17FF", record(0x17F8, 0, d16) + eofRecord()},
        {"record cut off in its data", record(0, 0, d16).substr(0, 30)},
        {"record cut off before its type", ":1000"},
    };
    for (const auto& c : cases) {
        auto l = load(c.text);
        EXPECT_EQ(l.img.outcome, kErrorFileFormat) << c.what;
        ASSERT_FALSE(l.lines.empty());
        EXPECT_EQ(l.lines.back(), "Wrong file format!") << c.what;
    }
    // LF-only: the first record is fine, the error is found at the second.
    auto lf = load(record(0x0000, 0, d16, "\n") + record(0x0010, 0, d16, "\n"));
    EXPECT_GE(lf.img.decode.offset, 44u);
}

TEST(IntelHex, ImageEndsAtTheLastAddressAndAFileWithoutEofLoads) {
    const std::vector<uint8_t> d16(16, 0x3C);
    auto full = load(record(0x17F0, 0, d16) + eofRecord());
    ASSERT_TRUE(full.img.loaded());
    EXPECT_EQ(full.img.end, 0x17FFu);
    EXPECT_EQ(full.lines.back(), "HEX position_buff 17FF");

    // No end-of-file record, and the last line end itself missing: what is there loads.
    std::string noEof = record(0x0100, 0, d16);
    noEof.resize(noEof.size() - 2);
    auto l = load(noEof);
    ASSERT_TRUE(l.img.loaded()) << l.img.decode.reason;
    EXPECT_FALSE(l.img.decode.sawEof);
    EXPECT_EQ(l.img.end, 0x010Fu);

    // Nothing after the end-of-file record is read.
    auto after = load(record(0, 0, d16) + eofRecord() + "garbage");
    EXPECT_TRUE(after.img.loaded());
}

TEST(IntelHex, ReadStopsAt32768BytesAndARecordCutThereIsAFormatError) {
    // 728 whole records of 45 bytes fill 32760 bytes; the 729th is cut at 32768.
    std::string text;
    for (int i = 0; i < 740; ++i) text += record(0x0000, 0, std::vector<uint8_t>(16, static_cast<uint8_t>(i)));
    auto l = load(text);
    EXPECT_EQ(l.lines[1], "Bytes read from file 32768");
    EXPECT_EQ(l.img.outcome, kErrorFileFormat);
    EXPECT_EQ(l.img.decode.offset, 32760u);
    // Record 728 (index 727) was the last one stored.
    EXPECT_EQ(l.img.flash[0], 727 & 0xFF);
}

TEST(IntelHex, AnImageOfOnly0xFFIsRefused) {
    auto l = load(record(0, 0, std::vector<uint8_t>(16, 0xFF)) + eofRecord());
    EXPECT_EQ(l.img.outcome, kErrorFileFormat);
    EXPECT_EQ(l.lines.back(), "The image holds no data (every byte is 0xFF)!");
    auto empty = load("");
    EXPECT_EQ(empty.img.outcome, kErrorFileFormat);
}

// The program's folder, the user's data folder, the installation's data folder
// (only for a program installed as PREFIX/libexec/quillmore-jig/); never the
// current directory. The first one holding the file wins.
TEST(IntelHex, ImagesAreLookedUpInTheProgramThenTheUserThenTheInstalledFolder) {
    qjt::ScratchDir dir;
    const std::string root = dir.file("root");
    const std::string installed = root + "/usr/libexec/quillmore-jig/";
    const std::string system = root + "/usr/share/quillmore-jig/firmware/";
    const std::string built = dir.file("build") + "/bin/";
    const std::string user = dir.userFirmwareDir();
    struct Case {
        const char* what;
        std::string prog;
        std::vector<std::string> holders;  // folders holding the image
        std::string want;                  // the folder it is taken from ("" missing)
    } cases[] = {
        {"program folder first", installed, {installed, user, system}, installed},
        {"then the user's", installed, {user, system}, user},
        {"then the installation's", installed, {system}, system},
        {"a built program has no installation folder", built, {system}, ""},
        {"nowhere", installed, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(root);
        std::filesystem::remove_all(dir.file("data"));
        for (const auto& f : std::vector<std::string>{installed, system, built, user})
            std::filesystem::create_directories(f);
        for (const auto& h : c.holders) qjt::writeFile(h + "ITE2_PROJ_Q37.hex", record(0, 0, bytes({1})) + eofRecord());
        qjt::writeFile("ITE2_PROJ_Q37.hex", record(0, 0, bytes({1})) + eofRecord());  // current dir: ignored
        qjt::RecordingView view;
        JigImage img = loadJigImage(modeByItem("ITE")->image, c.prog, view);
        if (c.want.empty()) {
            EXPECT_EQ(img.outcome, kErrorFileSearch);
            const std::string where = c.prog == installed ? installed + ", " + user + ", " + system : built + ", " + user;
            EXPECT_EQ(view.lines(), std::vector<std::string>{"Not found .hex file -> " + c.prog +
                                                            "ITE2_PROJ_Q37.hex for Q37 in the program folder (looked in " +
                                                            where + ")"});
        } else {
            EXPECT_TRUE(img.loaded());
            EXPECT_EQ(view.lines().at(0), "UPGRADE file loaded to buffer (" + c.want + "ITE2_PROJ_Q37.hex)");
        }
    }
    // No image named fails the same way.
    qjt::RecordingView view;
    EXPECT_EQ(loadJigImage("", installed, view).outcome, kErrorFileSearch);
}

TEST(IntelHex, TheUserFolderFollowsXdgDataHomeOrTheHomeFolder) {
    qjt::ScratchDir dir;
    qjt::Env home("HOME", dir.file("home"));
    const struct {
        const char* xdg;  // nullptr: unset
        std::string want;
    } cases[] = {
        {"/srv/data", "/srv/data/quillmore-jig/firmware/"},
        {"/srv/data/", "/srv/data/quillmore-jig/firmware/"},
        {nullptr, dir.file("home") + "/.local/share/quillmore-jig/firmware/"},
        {"", dir.file("home") + "/.local/share/quillmore-jig/firmware/"},
        {"relative/data", dir.file("home") + "/.local/share/quillmore-jig/firmware/"},  // not a usable value
    };
    for (const auto& c : cases) {
        std::optional<qjt::Env> xdg;
        if (c.xdg) xdg.emplace("XDG_DATA_HOME", c.xdg);
        else ::unsetenv("XDG_DATA_HOME");
        EXPECT_EQ(jigFileFolders("/opt/q/"), (std::vector<std::string>{"/opt/q/", c.want})) << (c.xdg ? c.xdg : "unset");
    }
}

TEST(IntelHex, PlaceholderImagesDecodeAndNameTheirFirmware) {
    const std::pair<const char*, const char*> images[] = {{"ENE_EDID_KB.hex", "ENE_EDID_KB"},
                                                          {"Q37_jtag.hex", "V42_Q37"},
                                                          {"ITE2_PROJ_Q37.hex", "ITE2_PROJ_Q37"},
                                                          {"Q37_NPCE288.hex", "NPCE_Q37"}};
    for (const auto& [file, ident] : images) {
        NullView view;
        JigImage img = loadJigImageFile(qjt::binDir() + file, view);
        ASSERT_TRUE(img.loaded()) << file;
        EXPECT_TRUE(img.decode.sawEof) << file;
        EXPECT_EQ(sim::imageIdent(img.flash.data(), img.flash.size()), ident) << file;
        // Every line ends in CR LF.
        const std::string text = qjt::readFile(qjt::binDir() + file);
        size_t crlf = 0;
        for (size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2)) ++crlf;
        EXPECT_EQ(crlf, static_cast<size_t>(std::count(text.begin(), text.end(), '\n'))) << file;
    }
    auto v3 = qjt::readBytes(qjt::binDir() + "M328_EPM240_v19.qjf");
    EXPECT_EQ(sim::imageIdent(v3.data(), v3.size()), "M328_EPM240_v19");
}
