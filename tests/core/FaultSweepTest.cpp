// Whatever happens at whatever byte, an operation ends within its bound, says
// what went wrong, exits 1 (0 only when it really completed), leaves no handle
// open and no event character set on the bridge, never reports a
// dump that is not whole, and never leaves the target changed without having
// said that it was writing it. Every operation of every mode runs through qjig
// on the instant virtual jig; the jig is unplugged after N host bytes for N
// spread over the operation's byte count, and each mode's target faults are
// injected at the first, a middle and the last block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "modes/Modes.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace {

using qjt::runQjig;

enum class Kind { Read, Write, Verify, Other };

struct Op {
    std::string name;
    std::string spec;                  // the virtual jig, without mode/faults
    std::vector<std::string> args;     // "{dump}" and "{image}" are replaced
    Kind kind = Kind::Other;
    std::string flashIn, flashOut;     // the target's memory keys (empty: no memory)
    size_t size = 0;                   // the target's image size
    std::string writing;               // the line that says the target is being written
    std::vector<std::string> failures; // the mode's failure texts (one of them must be printed)
    int64_t maxWaitMs = 10000;         // the longest single bound the operation has
    std::vector<std::string> faults;   // target faults at the first, a middle and the last block
};

std::map<std::string, int64_t> readStats(const std::string& path) {
    std::map<std::string, int64_t> m;
    std::ifstream f(path);
    std::string k;
    int64_t v = 0;
    while (f >> k >> v) m[k] = v;
    return m;
}

const std::vector<std::string> kNoJig = {"The programmer is not found or does not respond",
                                         "VCOM port is not found on the machine!",
                                         "-->  The programmer is not found or does not respond"};

std::vector<std::string> with(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<Op> operations() {
    const std::vector<std::string> ene = with(
        {"!!! Lost Communication with ENE or timeout !!! ", "No connection to the KB90XX!",
         "!!! Data is written incorrectly !!! ", "KESTRA not found! Connected?", "KESTRA: no answer from the programmer",
         "Error writing the file!", "Verify: the target differs"},
        kNoJig);
    const std::vector<std::string> edid = with({"EEPROM does not respond, check the connection !!!",
                                                "EEPROM does not respond, or write error! WP 7 pin = '0' ?",
                                                "Unknown EEPROM status"},
                                               kNoJig);
    const std::vector<std::string> npce =
        with({"ERROR timeout. Corrupted data !? ", "*** Data is written incorrectly ***",
              "** Lost contact with the chip or ERROR timeout **", "** Data not clear !**", "KESTRA not found! Connected?",
              "The programmer does not answer (timeout).", "Check soldering NPCE or chip damaged.",
              "Error writing the file!", "HOST/Q37 Protocol ERROR", "** ERROR write or ERROR timeout **"},
             kNoJig);
    const std::vector<std::string> enePerBlock = {"ene-lost-at=1",      "ene-lost-at=256",      "ene-lost-at=512",
                                                  "ene-silent-after=0", "ene-silent-after=255", "ene-silent-after=511",
                                                  "ene-overlong-at=1",  "ene-overlong-at=256",  "ene-overlong-at=512"};
    const std::vector<std::string> nuv = with(
        {"Wrong ID. Break.", "Break! ", "No answer from the programmer", "Reading stopped.", "FAULT ",
         "Erase stopped.", "Error writing the file!", "Verify: the target differs"},
        kNoJig);
    const std::vector<std::string> ite = with(
        {"ITE we do not respond, check the connection and settings. MB powered? ", "Error when entering the setup mode.",
         "Protocol error when setting pins.", "BUSY error ID read!", "ERROR reading block ->",
         "Block answer longer than 257 bytes: protocol error.", "Error writing the file!",
         "Error writing to flash or lost contact with ITE", "ERROR BUSY INIT!", "!!! ERROR The data does not match !!!"},
        kNoJig);
    const std::vector<std::string> mec = with(
        {"Потеряна связь с MEC", "Lost communication with MEC", "Invalid ID. Read break!",
         "Неверный ID. Операция прервана!", "--> Каманда стирания отменена.", "--> Команда записи отменена",
         "ID готово 4 байта но сняли меньше ОШИБКА", "Error writing the file!", "Verify: the target differs"},
        kNoJig);
    const std::string eneSpec = "jig=ENE_EDID_KB,kestra=1-2";
    const std::vector<std::string> start = {"ERROR", "Error", "RESET", "reset", "not connected", "No answer"};
    const std::string npceSpec = "jig=NPCE_Q37";
    return {
        {"identify", "jig=ENE_EDID_KB", {"identify"}, Kind::Other, "", "", 0, "", {"FTDI found, ERROR answer", "FTDI device not found"}, 10000, {}},
        {"start ENE", "jig=ENE_EDID_KB", {"start", "ENE KB90XX"}, Kind::Other, "", "", 0, "", {"JIG not connected", "ERROR"}, 16000, {}},
        {"start EDID with upgrade", "jig=ITE2_PROJ_Q37", {"start", "EDID lcd"}, Kind::Other, "", "", 0, "",
         {"ERROR", "Error", "RESET", "reset", "not connected"}, 16000, {}},
        {"start Keyboard", "jig=ENE_EDID_KB", {"start", "Keyboard testing"}, Kind::Other, "", "", 0, "", start, 16000, {}},
        {"start NUVOTON spi", "jig=NPCE_Q37", {"start", "NUVOTON spi"}, Kind::Other, "", "", 0, "", start, 16000, {}},
        {"start NUVOTON jtag with upgrade", "jig=ENE_EDID_KB", {"start", "NUVOTON jtag"}, Kind::Other, "", "", 0, "",
         start, 16000, {}},
        {"start ITE", "jig=ITE2_PROJ_Q37", {"start", "ITE"}, Kind::Other, "", "", 0, "", start, 16000, {}},
        {"start ITE with upgrade", "jig=V42_Q37", {"start", "ITE"}, Kind::Other, "", "", 0, "", start, 16000, {}},
        {"start MEC", "jig=V42_Q37", {"start", "MEC jtag"}, Kind::Other, "", "", 0, "", start, 16000, {}},
        {"start MEC with the version 3 update", "jig=M328_EPM240_v18,reset-after=50", {"start", "MEC jtag"},
         Kind::Other, "", "", 0, "", start, 125000, {}},
        {"keyboard scan", "jig=ENE_EDID_KB,keys=3-7@10-300;1-2@400-700", {"keyboard", "scan", "--reports", "2"},
         Kind::Other, "", "", 0, "", {"Device not found", "Please update FW", "status: "}, 10000, {}},
        {"ene read", eneSpec, {"ene", "read", "{dump}", "--kestra"}, Kind::Read, "flash", "flash-out", 131072, "", ene, 10000, enePerBlock},
        {"ene write", eneSpec, {"ene", "write", "{image}", "--kestra"}, Kind::Write, "flash", "flash-out", 131072,
         "There is a writing KB90XX...", ene, 10000, enePerBlock},
        {"ene verify", eneSpec, {"ene", "verify", "{image}", "--kestra"}, Kind::Verify, "flash", "flash-out", 131072, "", ene, 10000, {}},
        {"edid read", "jig=ENE_EDID_KB", {"edid", "read", "{dump}"}, Kind::Read, "eeprom", "eeprom-out", 256, "", edid, 10000, {}},
        {"edid write", "jig=ENE_EDID_KB", {"edid", "write", "{image}", "--force"}, Kind::Write, "eeprom", "eeprom-out", 256,
         "Writing EEPROM ...", edid, 10000, {}},
        {"npce read", npceSpec, {"npce", "read", "{dump}"}, Kind::Read, "npce-flash", "npce-flash-out", 131072, "", npce, 10000,
         {"npce-silent-after=2", "npce-silent-after=130", "npce-silent-after=257", "npce-overlong-at=1",
          "npce-overlong-at=128", "npce-overlong-at=256", "npce-end-silent=1"}},
        {"npce write", npceSpec, {"npce", "write", "{image}"}, Kind::Write, "npce-flash", "npce-flash-out", 131072,
         "Erase ...", npce, 65000,
         {"npce-page-fail-at=1", "npce-page-fail-at=256", "npce-page-fail-at=512", "npce-no-star-at=1",
          "npce-no-star-at=512", "npce-silent-after=4", "npce-silent-after=300", "npce-overlong-at=256"}},
        {"nuv read", "jig=M328_EPM240_v19", {"nuv", "read", "{dump}"}, Kind::Read, "nuv-flash", "nuv-flash-out", 131072, "",
         nuv, 10000,
         {"nuv-read-silent-at=1", "nuv-read-silent-at=256", "nuv-read-silent-at=512", "nuv-read-overlong-at=1",
          "nuv-read-overlong-at=256", "nuv-read-overlong-at=512", "nuv-silent-after=1"}},
        {"nuv write", "jig=NPCE_Q37", {"nuv", "write", "{image}"}, Kind::Write, "nuv-flash", "nuv-flash-out", 131072,
         "Erase blocks... ", nuv, 10000,
         {"nuv-batch-fail-at=33", "nuv-batch-fail-at=34", "nuv-batch-fail-at=545", "nuv-batch-fail-at=1057",
          "nuv-erase-stuck=0", "nuv-erase-stuck=31"}},  // (no verify in this write: a stuck cell passes unseen)
        {"ite read", "jig=ITE2_PROJ_Q37", {"ite", "read", "{dump}", "--board", "1"}, Kind::Read, "ite-flash",
         "ite-flash-out", 131072, "", ite, 10000,
         {"ite-bad-block=1", "ite-bad-block=256", "ite-bad-block=512", "ite-overlong-at=1", "ite-overlong-at=512",
          "ite-silent-after=36", "ite-busy-reg=0x27"}},
        {"ite write", "jig=ITE2_PROJ_Q37", {"ite", "write", "{image}", "--board", "1"}, Kind::Write, "ite-flash",
         "ite-flash-out", 131072, "ERASE...", ite, 10000,
         {"ite-write-fail=1", "ite-write-fail=512", "ite-write-fail=1024", "ite-bad-block=1", "ite-bad-block=512",
          "ite-busy-sector=0", "ite-stuck=0x1FFFF", "ite-silent-after=2000"}},
        {"mec check", "jig=M328_EPM240_v19", {"mec", "check"}, Kind::Other, "", "", 0, "", mec, 10000,
         {"mec=absent", "mec-silent-reg=FFFD00", "mec-silent-reg=FF390C", "mec-plain-forms=ignore"}},
        {"mec read", "jig=V42_Q37", {"mec", "read", "{dump}"}, Kind::Read, "mec-flash", "mec-flash-out", 196608, "", mec,
         10000,
         {"mec-lost-at=1", "mec-lost-at=96", "mec-lost-at=192", "mec-silent-after=0", "mec-silent-after=96",
          "mec-silent-after=191", "mec-overlong-at=1", "mec-overlong-at=192", "mec-silent-reg=FF3910"}},
        {"mec verify", "jig=M328_EPM240_v19", {"mec", "verify", "{image}"}, Kind::Verify, "mec-flash", "mec-flash-out",
         196608, "", mec, 10000, {"mec-lost-at=96", "mec-silent-after=191"}},
        {"mec erase", "jig=M328_EPM240_v19", {"mec", "erase"}, Kind::Other, "mec-flash", "mec-flash-out", 196608,
         "Отправили команду стирания.", mec, 65000,
         {"mec-busy-stuck=1", "mec-silent-reg=FF390C", "mec-silent-reg=FF3904", "mec-fwp=1", "mec-plain-forms=ignore"}},
        // Erased first, so that a complete write leaves exactly the image behind.
        {"mec write", "jig=V42_Q37", {"mec", "write", "{image}", "--erase"}, Kind::Write, "mec-flash", "mec-flash-out",
         196608, "Отправили команду стирания.", mec, 65000,
         {"mec-no-g-at=1", "mec-no-g-at=384", "mec-no-g-at=768", "mec-silent-after=0", "mec-silent-after=384",
          "mec-silent-after=767", "mec-busy-stuck=1", "mec-bootlock=1", "mec-silent-reg=FF3908"}},
    };
}

struct Result {
    int status;
    std::string out;
    std::map<std::string, int64_t> stats;
};

class Sweep {
public:
    explicit Sweep(const Op& op) : op_(op) {
        if (!op.flashIn.empty()) {
            initial_ = qjt::randomImage(op.size, 1);
            image_ = qjt::randomImage(op.size, 2);
            qjt::writeBytes(dir_.file("initial.bin"), initial_);
            qjt::writeBytes(dir_.file("image.bin"), op.kind == Kind::Verify ? initial_ : image_);
        }
        // The ITE operations find their board in the current directory.
        qjt::writeFile("MB connection ITE.txt",
                       "Board PD0=10 PD1=11 PD2=12 PD3=13 PD4=14 PD5=15 PD6=16 PD7=17 BUSY=5 STB=6 AFD=7 INIT=8 SLIN=9 "
                       "KSI4=3 KSI5=4\n");
    }

    Result run(const std::string& fault) {
        for (const char* f : {"dump.bin", "out.bin", "stats.txt"}) std::filesystem::remove(dir_.file(f));
        std::string spec = op_.spec + ",mode=instant,stats-out=" + dir_.file("stats.txt");
        if (!op_.flashIn.empty())
            spec += "," + op_.flashIn + "=" + dir_.file("initial.bin") + "," + op_.flashOut + "=" + dir_.file("out.bin");
        if (!fault.empty()) spec += "," + fault;
        std::vector<std::string> args = {"--sim", spec};
        for (std::string a : op_.args) {
            if (a == "{dump}") a = dir_.file("dump.bin");
            if (a == "{image}") a = dir_.file("image.bin");
            args.push_back(a);
        }
        auto r = runQjig(args);
        return {r.status, r.out, readStats(dir_.file("stats.txt"))};
    }

    // Every promise for one run; `clockMs` bounds the run's virtual time.
    void check(const Result& r, const std::string& fault, int64_t clockMs, std::map<std::string, int>& tally) {
        const std::string what = op_.name + " [" + fault + "]";
        ASSERT_TRUE(r.status == 0 || r.status == 1) << what << "\n" << r.out;
        EXPECT_LE(r.stats.at("clock-ms"), clockMs) << what;
        EXPECT_EQ(r.stats.at("open-handles"), 0) << what;
        EXPECT_EQ(r.stats.at("event-chars-left"), 0) << what;  // the next program finds the bridge as it was
        const bool reported = r.out.find("checksum: ") != std::string::npos;
        const auto out = std::filesystem::exists(dir_.file("out.bin")) ? qjt::readBytes(dir_.file("out.bin"))
                                                                        : initial_;
        if (r.status == 0) {
            ++tally["completed"];
            if (op_.kind == Kind::Read) {
                EXPECT_EQ(qjt::readBytes(dir_.file("dump.bin")), initial_) << what;
            }
            if (op_.kind == Kind::Write) {
                EXPECT_EQ(out, image_) << what;
            }
            return;
        }
        const auto hit = std::find_if(op_.failures.begin(), op_.failures.end(),
                                      [&](const std::string& t) { return r.out.find(t) != std::string::npos; });
        EXPECT_NE(hit, op_.failures.end()) << what << ": no failure text\n" << r.out;
        ++tally[hit == op_.failures.end() ? "unexplained" : *hit];
        EXPECT_FALSE(reported && op_.kind == Kind::Read) << what << ": a failed read reported its dump\n" << r.out;
        if (!op_.flashIn.empty() && out != initial_) {
            EXPECT_NE(r.out.find(op_.writing), std::string::npos) << what << ": the target changed unannounced";
        }
    }

    const Op& op_;
    qjt::ScratchDir dir_;
    std::vector<uint8_t> initial_, image_;
};

// A dump checked by reading twice never lands on a full device: a device node
// at FILE is refused before the jig hears a byte and stays what it is, a disk
// that fills under the reads fails the read that could not be stored, and a
// jig unplugged after the first read fails the second with its own message.
TEST(FaultSweep, ReadTwiceOntoAFullDeviceOrAFullDiskClaimsNoDump) {
    bool mknodRefused = false;
    for (const Op& op : operations()) {
        if (op.kind != Kind::Read) continue;
        qjt::ScratchDir dir;
        qjt::writeFile("MB connection ITE.txt", "Board PD0=10 PD1=11 PD2=12 PD3=13 PD4=14 PD5=15 PD6=16 PD7=17 BUSY=5 "
                                                "STB=6 AFD=7 INIT=8 SLIN=9 KSI4=3 KSI5=4\n");
        const bool device = ::mknod("full", S_IFCHR | 0666, makedev(1, 7)) == 0;
        mknodRefused |= !device;
        for (const bool toDevice : {true, false}) {
            if (toDevice && !device) continue;
            std::vector<std::string> args = {"--sim", op.spec + ",mode=instant,stats-out=" + dir.file("stats.txt")};
            for (const std::string& a : op.args) args.push_back(a == "{dump}" ? (toDevice ? "full" : "dump.bin") : a);
            args.push_back("--twice");
            // The disk fills before any one dump is whole (the EDID's 256 bytes included).
            const auto r = qjt::runQjigProcess(args, 10, toDevice ? 0 : 200);
            const std::string what = op.name + (toDevice ? " --twice into a full device\n" : " --twice onto a full disk\n") +
                                     r.out + r.err;
            ASSERT_EQ(r.signal, 0) << what;
            EXPECT_EQ(r.status, 1) << what;
            EXPECT_EQ(r.out.find("checksum: "), std::string::npos) << what;
            EXPECT_EQ(r.out.find("The two reads are equal."), std::string::npos) << what;
            std::vector<std::string> names;
            for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename());
            std::sort(names.begin(), names.end());
            if (toDevice) {
                EXPECT_NE(r.err.find("no dump is written to full: it is a device"), std::string::npos) << what;
                EXPECT_NE(readStats(dir.file("stats.txt")).count("host-bytes"), 0u) << what;
                EXPECT_EQ(readStats(dir.file("stats.txt"))["host-bytes"], 0) << what;
                EXPECT_TRUE(std::filesystem::is_character_file("full")) << what;
            } else {
                const bool edid = op.name == "edid read";
                EXPECT_NE(r.out.find(edid ? "!box error: Ошибка создания файла." : "Error writing the file!"),
                          std::string::npos)
                    << what;
                EXPECT_FALSE(std::filesystem::exists("dump.bin")) << what;
            }
            // No scratch read is left behind.
            for (const auto& n : names) EXPECT_EQ(n.find(".read"), std::string::npos) << what << n;
        }
    }
    if (mknodRefused) std::printf("fault sweep: mknod is not permitted here: the full device cases are skipped\n");
}

// The second step of a check (the second read of --twice, the read of a write's
// --verify) is judged on its own: wherever in it the jig vanishes, the run
// either completes whole or fails with that step's own message, never the
// first step's result, and leaves no dump and no scratch file behind.
TEST(FaultSweep, SecondStepOfACheckFailsWithItsOwnMessage) {
    int runs = 0;
    for (const Op& op : operations()) {
        const bool write = op.kind == Kind::Write && (op.name == "nuv write" || op.name == "mec write");
        if (op.kind != Kind::Read && !write) continue;
        Sweep s(op);
        const std::string second = write ? "--verify" : "--twice";
        Op twice = op;
        twice.args.push_back(second);
        Sweep t(twice);
        const int64_t oneMs = s.run("").stats.at("clock-ms");
        const Result clean = t.run("");
        ASSERT_EQ(clean.status, 0) << twice.name << "\n" << clean.out;
        const int64_t bothMs = clean.stats.at("clock-ms");
        // Steps finer than the identification's read, so that every open of the second step is hit.
        const int64_t step = std::max<int64_t>(50, (bothMs - oneMs) / 30);
        for (int64_t at = oneMs; at < bothMs; at += step, ++runs) {
            const Result r = t.run("unplug-at=" + std::to_string(at));
            const std::string what = twice.name + " " + second + " [unplug-at=" + std::to_string(at) + "]\n" + r.out;
            ASSERT_TRUE(r.status == 0 || r.status == 1) << what;
            if (r.status == 0) continue;
            const size_t from = r.out.find(write ? "checksum: " : "second read\n");
            if (from == std::string::npos) continue;  // the first step failed: the sweep's case
            const std::string tail = r.out.substr(from);
            EXPECT_TRUE(std::any_of(op.failures.begin(), op.failures.end(),
                                    [&](const std::string& f) { return tail.find(f) != std::string::npos; }))
                << what;
            EXPECT_EQ(tail.find("cannot be compared"), std::string::npos) << what;
            if (!write) {
                EXPECT_FALSE(std::filesystem::exists(t.dir_.file("dump.bin"))) << what;
            }
            for (const auto& e : std::filesystem::directory_iterator(t.dir_.path())) {
                const std::string n = e.path().filename().string();
                EXPECT_TRUE(n.find(".read") == std::string::npos && n.find(".verify") == std::string::npos) << what << n;
            }
        }
    }
    std::printf("fault sweep: %d runs unplugged in the second step of a check\n", runs);
}

// One test per operation, so that the sweep's runs spread over the cores and
// each stays far from its time limit (also under the sanitizers).
// A mode left out of the sweep would go unswept without any test failing:
// every mode's command reads and writes here, and every mode is started.
TEST(FaultSweep, CoversEveryModesTransfersAndStart) {
    for (const qj::Mode& m : qj::modes()) {
        bool started = false, commanded = false;
        for (const Op& op : operations()) {
            started |= op.args.size() > 1 && op.args[0] == "start" && op.args[1] == m.item;
            commanded |= !op.args.empty() && op.args[0] == m.word;
        }
        EXPECT_TRUE(started) << m.item;
        EXPECT_TRUE(commanded) << m.word;
    }
}

class FaultSweepEach : public ::testing::TestWithParam<size_t> {};

TEST_P(FaultSweepEach, EndsCleanlyWhateverByteTheJigVanishesAt) {
    const Op op = operations().at(GetParam());
    std::map<std::string, int> tally;
    int runs = 0;
    Sweep s(op);
    const Result clean = s.run("");
    ASSERT_EQ(clean.status, 0) << op.name << "\n" << clean.out;
    const int64_t hostBytes = clean.stats.at("host-bytes");
    const int64_t bound = clean.stats.at("clock-ms") + op.maxWaitMs;
    s.check(clean, "clean", bound, tally);
    constexpr int kPoints = 30;
    for (int k = 0; k <= kPoints; ++k) {
        const int64_t n = hostBytes * k / kPoints;
        s.check(s.run("unplug-after=" + std::to_string(n)), "unplug-after=" + std::to_string(n), bound, tally);
        ++runs;
    }
    for (const std::string& f : op.faults) {
        s.check(s.run(f), f, bound, tally);
        ++runs;
    }
    std::ostringstream summary;
    summary << "fault sweep, " << op.name << ": " << runs << " runs;";
    for (const auto& [k, v] : tally) summary << " \"" << k << "\" " << v << ";";
    std::printf("%s\n", summary.str().c_str());
}

INSTANTIATE_TEST_SUITE_P(FaultSweep, FaultSweepEach, ::testing::Range<size_t>(0, operations().size()),
                         [](const ::testing::TestParamInfo<size_t>& i) {
                             std::string n = operations().at(i.param).name;
                             for (char& ch : n)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return n;
                         });

}  // namespace
