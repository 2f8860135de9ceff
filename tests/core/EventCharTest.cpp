// The bridge's event character: which one each operation sets, that it is off
// again before every close whatever the outcome, and that it never costs a
// byte of an answer.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace {

using qjt::runQjig;

// The event character calls and the closes of a trace, in order: "4B" (set),
// "off", "close". The error character is never enabled.
std::string charsAndCloses(const std::string& path) {
    std::ifstream f(path);
    std::string out;
    for (std::string l; std::getline(f, l);) {
        std::string item;
        if (l == "# close") {
            item = "close";
        } else if (l.rfind("# chars ", 0) == 0) {
            item = l.substr(10, 2) == " 1" ? l.substr(8, 2) : "off";
            EXPECT_EQ(l.substr(13), "00 0") << l;
        } else {
            continue;
        }
        out += (out.empty() ? "" : " ") + item;
    }
    return out;
}

}  // namespace

TEST(EventChar, EachOperationSetsItsOwnAndTurnsItOffBeforeEveryClose) {
    struct Case {
        const char* name;
        std::string spec;
        std::vector<std::string> args;  // "{dump}" and "{image}" are replaced
        int status;
        const char* chars;
    };
    // ITE boards for the ITE rows.
    qjt::ScratchDir dir;
    qjt::writeFile("MB connection ITE.txt",
                   "Board PD0=10 PD1=11 PD2=12 PD3=13 PD4=14 PD5=15 PD6=16 PD7=17 BUSY=5 STB=6 AFD=7 INIT=8 SLIN=9 "
                   "KSI4=3 KSI5=4\n");
    qjt::writeBytes(dir.file("image.bin"), qjt::randomImage(131072, 3));
    const Case cases[] = {
        {"ENE read: a good block's status", "jig=ENE_EDID_KB", {"ene", "read", "{dump}"}, 0, "4B off close"},
        {"ENE read, lost at block 10", "jig=ENE_EDID_KB,ene-lost-at=10", {"ene", "read", "{dump}"}, 1, "4B off close"},
        {"EDID read: the status \"OK\"", "jig=ENE_EDID_KB", {"edid", "read", "{dump}"}, 0, "4B off close"},
        {"keyboard: a report's end mark", "jig=ENE_EDID_KB,keys=3-7@400-700", {"keyboard", "scan", "--reports", "1"},
         0, "26 off close"},
        {"MEC write: register answers, then the pages' G", "jig=V42_Q37", {"mec", "write", "{image}"}, 0,
         "01 47 off close"},
        {"MEC write, a page not acknowledged", "jig=V42_Q37,mec-no-g-at=5", {"mec", "write", "{image}"}, 1,
         "01 47 off close"},
        {"ITE read: the settings' '+', then 'o' (check, read)", "jig=ITE2_PROJ_Q37", {"ite", "read", "{dump}", "--board", "1"},
         0, "2B off close 6F off close 6F off close"},
        {"ITE read, a bad block", "jig=ITE2_PROJ_Q37,ite-bad-block=3", {"ite", "read", "{dump}", "--board", "1"}, 1,
         "2B off close 6F off close 6F off close"},
        {"NPCE write: the page request's '*'", "jig=NPCE_Q37", {"npce", "write", "{image}"}, 0, "2A off close"},
        {"NPCE write, a page refused", "jig=NPCE_Q37,npce-page-fail-at=3", {"npce", "write", "{image}"}, 1,
         "2A off close"},
        {"Nuvoton write: the shifts' 00 (settings, script, erase), then the batches' 22h", "jig=NPCE_Q37",
         {"nuv", "write", "{image}"}, 0, "00 off close 00 off close 00 22 off close"},
        {"Nuvoton write, a batch refused", "jig=NPCE_Q37,nuv-batch-fail-at=40", {"nuv", "write", "{image}"}, 1,
         "00 off close 00 off close 00 22 off close"},
        {"upgrade: the bootloader's XON", "jig=ITE2_PROJ_Q37", {"start", "EDID lcd"}, 0, "11 off close"},
        {"version 3 update: a block's '+'", "jig=M328_EPM240_v18,reset-after=50", {"start", "MEC jtag"}, 0,
         "close 2B off close"},
        {"a path without it (the kernel's tty) is asked once", "jig=ENE_EDID_KB,usb-chars=off",
         {"ene", "read", "{dump}"}, 0, "4B close"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string trace = dir.file("trace.txt");
        std::remove(trace.c_str());
        std::vector<std::string> args = {"--sim", c.spec + ",mode=instant", "--trace", trace};
        for (const std::string& a : c.args)
            args.push_back(a == "{dump}" ? dir.file("dump.bin") : a == "{image}" ? dir.file("image.bin") : a);
        const auto r = runQjig(args);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        EXPECT_EQ(charsAndCloses(trace), c.chars);
    }
}

// Data that holds the event character ends a packet early: the bytes after it
// still come, in the next packets, and the transfer reads every one.
TEST(EventChar, DataFullOfTheEventCharacterStillReadsWhole) {
    struct Case {
        const char* name;
        const char* jig;
        const char* flashKey;
        size_t size;
        uint8_t eventChar;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"ENE", "jig=ENE_EDID_KB", "flash", 131072, 'K', {"ene", "read", "{dump}"}},
        {"MEC", "jig=V42_Q37", "mec-flash", 196608, 0x01, {"mec", "read", "{dump}"}},
        {"ITE", "jig=ITE2_PROJ_Q37", "ite-flash", 131072, 'o', {"ite", "read", "{dump}", "--board", "1"}},
    };
    qjt::ScratchDir dir;
    qjt::writeFile("MB connection ITE.txt",
                   "Board PD0=10 PD1=11 PD2=12 PD3=13 PD4=14 PD5=15 PD6=16 PD7=17 BUSY=5 STB=6 AFD=7 INIT=8 SLIN=9 "
                   "KSI4=3 KSI5=4\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Every other byte the event character, so that it falls everywhere in a packet.
        std::vector<uint8_t> flash = qjt::randomImage(c.size, 5);
        for (size_t i = 0; i < flash.size(); i += 2) flash[i] = c.eventChar;
        qjt::writeBytes(dir.file("flash.bin"), flash);
        const std::string dump = dir.file("dump.bin");
        std::vector<std::string> args = {
            "--sim", std::string(c.jig) + ",mode=instant,usb=ft232r," + c.flashKey + "=" + dir.file("flash.bin")};
        for (const std::string& a : c.args) args.push_back(a == "{dump}" ? dump : a);
        const auto r = runQjig(args);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(qjt::readBytes(dump), flash);
    }
}
