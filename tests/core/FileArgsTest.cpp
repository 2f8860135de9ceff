// The files a technician really has at hand, given to every qjig command that
// takes one: each run is a process of its own on the instant virtual jig, so an
// abort, a hang or a run-away read shows as what it is. Whatever the file, the
// run ends with 0, 1 or 2 within its bound, claims no dump that is not on disk,
// and leaves every other file of the user's folder as it was (a device stays a
// device, a link a link, an earlier FILE.read1 or FILE.verify unchanged).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>

#include "sim/EepromModel.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned kBoundSeconds = 2;

// What the user's folder holds: each name's kind, link target and content.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> m;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        std::error_code ec;
        const auto st = fs::symlink_status(e.path(), ec);
        std::string v;
        if (fs::is_symlink(st)) v = "link " + fs::read_symlink(e.path(), ec).string();
        else if (fs::is_regular_file(st) && fs::file_size(e.path(), ec) < (1u << 20)) v = "file " + qjt::readFile(e.path().string());
        else if (fs::is_regular_file(st)) v = "large file " + std::to_string(fs::file_size(e.path(), ec));
        else v = "kind " + std::to_string(static_cast<int>(st.type()));
        m[name] = v;
    }
    return m;
}

enum class Role { Write, Verify, Read, ReadTwice, Decode, Hex, Script };

struct Command {
    std::string name;
    Role role;
    std::string spec;               // the virtual jig; the target's memory is the good image
    std::string memoryKey;          // where the jig finds its target's memory
    std::vector<std::string> args;  // "{F}" is the file under test
    size_t image = 0;               // the target's image size
};

std::vector<Command> commands() {
    const std::vector<std::string> ite = {"--board", "1"};
    std::vector<Command> c = {
        {"ene", Role::Write, "jig=ENE_EDID_KB,kestra=1-2", "flash", {"ene", "write", "{F}", "--kestra"}, 131072},
        {"ene", Role::Verify, "jig=ENE_EDID_KB,kestra=1-2", "flash", {"ene", "verify", "{F}", "--kestra"}, 131072},
        {"edid", Role::Write, "jig=ENE_EDID_KB", "eeprom", {"edid", "write", "{F}", "--force"}, 256},
        {"edid", Role::Verify, "jig=ENE_EDID_KB", "eeprom", {"edid", "verify", "{F}"}, 256},
        {"edid", Role::Decode, "", "", {"edid", "decode", "{F}"}, 256},
        {"npce", Role::Write, "jig=NPCE_Q37", "npce-flash", {"npce", "write", "{F}"}, 131072},
        {"npce", Role::Verify, "jig=NPCE_Q37", "npce-flash", {"npce", "verify", "{F}"}, 131072},
        {"nuv", Role::Write, "jig=M328_EPM240_v19", "nuv-flash", {"nuv", "write", "{F}"}, 131072},
        {"nuv", Role::Verify, "jig=M328_EPM240_v19", "nuv-flash", {"nuv", "verify", "{F}"}, 131072},
        {"nuv", Role::Script, "jig=M328_EPM240_v19", "", {"nuv", "read", "x.bin", "--script", "{F}"}, 0},
        {"mec", Role::Write, "jig=V42_Q37", "mec-flash", {"mec", "write", "{F}", "--erase"}, 196608},
        {"mec", Role::Verify, "jig=V42_Q37", "mec-flash", {"mec", "verify", "{F}"}, 196608},
        {"ite", Role::Write, "jig=ITE2_PROJ_Q37", "ite-flash", {"ite", "write", "{F}", "--board", "1"}, 131072},
        {"ite", Role::Verify, "jig=ITE2_PROJ_Q37", "ite-flash", {"ite", "verify", "{F}", "--board", "1"}, 131072},
        {"hex", Role::Hex, "", "", {"hex", "{F}"}, 0},
    };
    const Command reads[] = {
        {"ene", Role::Read, "jig=ENE_EDID_KB,kestra=1-2", "flash", {"ene", "read", "{F}", "--kestra"}, 131072},
        {"edid", Role::Read, "jig=ENE_EDID_KB", "eeprom", {"edid", "read", "{F}"}, 256},
        {"npce", Role::Read, "jig=NPCE_Q37", "npce-flash", {"npce", "read", "{F}"}, 131072},
        {"nuv", Role::Read, "jig=M328_EPM240_v19", "nuv-flash", {"nuv", "read", "{F}"}, 131072},
        {"mec", Role::Read, "jig=V42_Q37", "mec-flash", {"mec", "read", "{F}"}, 196608},
        {"ite", Role::Read, "jig=ITE2_PROJ_Q37", "ite-flash", {"ite", "read", "{F}", "--board", "1"}, 131072},
    };
    for (Command r : reads) {
        c.push_back(r);
        r.role = Role::ReadTwice;
        r.args.push_back("--twice");
        c.push_back(r);
    }
    return c;
}

// The inputs. `make` lays the file under test at `f` (the folder's good image
// is beside it as good.bin) and says whether it could.
struct Input {
    std::string name;
    bool (*make)(const std::string& f);
    bool special;  // no regular file: every command refuses it, exit 1
};

bool sparse(const std::string& f, uint64_t size) {
    const int fd = ::open(f.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool ok = fd >= 0 && ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    if (fd >= 0) ::close(fd);
    return ok;
}

std::vector<uint8_t> goodBytes() { return qjt::readBytes("user/good.bin"); }

const Input kInputs[] = {
    {"a folder", [](const std::string& f) { return fs::create_directory(f); }, true},
    {"/dev/zero", [](const std::string& f) { return ::symlink("/dev/zero", f.c_str()) == 0; }, true},
    {"a private full device", [](const std::string& f) { return ::mknod(f.c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0; },
     true},
    {"a FIFO", [](const std::string& f) { return ::mkfifo(f.c_str(), 0666) == 0; }, true},
    {"a link to the good image",
     [](const std::string& f) {
         qjt::writeBytes("user/target.bin", goodBytes());
         return ::symlink("target.bin", f.c_str()) == 0;
     },
     false},
    {"an unreadable file",
     [](const std::string& f) {
         qjt::writeBytes(f, goodBytes());
         return ::chmod(f.c_str(), 0) == 0;
     },
     false},
    {"an empty file", [](const std::string& f) { return sparse(f, 0); }, false},
    {"a one-byte file",
     [](const std::string& f) {
         qjt::writeBytes(f, {goodBytes()[0]});
         return true;
     },
     false},
    {"a sparse 8 GiB file", [](const std::string& f) { return sparse(f, 8ull << 30); }, false},
    {"one byte longer than the image",
     [](const std::string& f) {
         auto b = goodBytes();
         b.push_back(0x5A);
         qjt::writeBytes(f, b);
         return true;
     },
     false},
    {"the good image beside FILE.read1, FILE.read2 and FILE.verify",
     [](const std::string& f) {
         qjt::writeBytes(f, goodBytes());
         for (const char* s : {".read1", ".read2", ".verify"}) qjt::writeFile(f + s, "the user's own file\n");
         return true;
     },
     false},
};

// The exit status each command must give for a regular input. `root`: read
// permission does not stop this process.
int expected(const Command& c, const Input& in, bool root) {
    const std::string& n = in.name;
    if (in.special) return 1;
    const bool output = c.role == Role::Read || c.role == Role::ReadTwice;
    if (n == "an unreadable file" && !root) return 1;  // an output that cannot be written, an input not read
    if (output) return 0;                              // whatever was there, the dump replaces it
    const bool good = n == "a link to the good image" || n == "an unreadable file" || n.rfind("the good image", 0) == 0;
    const bool longer = n == "one byte longer than the image";
    switch (c.role) {
    case Role::Write: return n == "an empty file" ? 1 : 0;  // a write refuses an empty file only
    case Role::Verify: return n == "an empty file" ? 2 : good || longer ? 0 : 1;
    case Role::Decode:
    case Role::Hex:     // what follows the end-of-file record is not read
    case Role::Script:  // bytes after the last line feed are no line
        return good || longer ? 0 : 1;
    default: return -1;
    }
}

TEST(FileArgs, EveryCommandTakesWhateverFileItIsGivenSafely) {
    qjt::ScratchDir dir;
    const bool root = ::geteuid() == 0;
    if (root) std::printf("file args: run as root: read permission stops nothing, an unreadable file is read\n");
    fs::create_directory("logs");
    qjt::writeFile("MB connection ITE.txt",
                   "Board PD0=10 PD1=11 PD2=12 PD3=13 PD4=14 PD5=15 PD6=16 PD7=17 BUSY=5 STB=6 AFD=7 INIT=8 SLIN=9 "
                   "KSI4=3 KSI5=4\n");
    const auto sample = qj::sim::EepromModel::sampleEdid();
    const std::vector<uint8_t> edid(sample.begin(), sample.end());
    int runs = 0;
    bool mknodRefused = false;
    for (const Command& c : commands()) {
        for (const Input& in : kInputs) {
            const bool output = c.role == Role::Read || c.role == Role::ReadTwice;
            // A FILE that is there to be replaced: one regular file stands for every length.
            const bool sameAsOther = in.name == "an empty file" || in.name == "a one-byte file" ||
                                     in.name == "one byte longer than the image";
            if (output && sameAsOther) continue;
            fs::remove_all("user");
            fs::create_directory("user");
            // The good file of each kind of command: the target's own memory, a valid EDID, a jig image, a script.
            std::vector<uint8_t> good;
            if (c.role == Role::Hex) good = qjt::readBytes(qjt::binDir() + "ENE_EDID_KB.hex");
            else if (c.role == Role::Script) good = qjt::readBytes(qjt::binDir() + "NUVOTON.qjf");
            else if (c.name == "edid") good = edid;
            else good = qjt::randomImage(c.image, 7);
            qjt::writeBytes("user/good.bin", good);
            const std::string f = "user/FILE";
            if (!in.make(f)) {
                ASSERT_EQ(in.name, "a private full device") << "cannot lay out " << in.name;
                mknodRefused = true;
                continue;
            }
            if (output && in.name == "an unreadable file") ::chmod(f.c_str(), 0444);  // an output: not writable
            const auto before = snapshot("user");

            std::vector<std::string> args;
            if (!c.spec.empty()) {
                std::string spec = c.spec + ",mode=instant,stats-out=logs/stats.txt";
                if (!c.memoryKey.empty()) spec += "," + c.memoryKey + "=user/good.bin";
                args = {"--sim", spec};
            }
            for (const auto& a : c.args) args.push_back(a == "{F}" ? f : a);
            fs::remove("logs/stats.txt");
            const qjt::ProcessRun r = qjt::runQjigProcess(args, kBoundSeconds);
            ++runs;
            const std::string what = c.name + " " + c.args[1] + (c.role == Role::ReadTwice ? " --twice" : "") + " with " +
                                     in.name + "\n" + r.out + r.err;

            ASSERT_EQ(r.signal, 0) << what << (r.signal == SIGALRM ? ": still running after its bound" : ": killed");
            EXPECT_EQ(r.status, expected(c, in, root)) << what;
            if (in.special) {
                // Refused by name, before the jig: not one byte went out.
                EXPECT_NE(r.err.find("user/FILE"), std::string::npos) << what;
                if (!c.spec.empty()) {
                    EXPECT_EQ(r.out.find("Version FW"), std::string::npos) << what;
                    EXPECT_NE(qjt::readFile("logs/stats.txt").find("host-bytes 0\n"), std::string::npos) << what;
                }
            }
            // A checksum line is for a dump on disk, byte for byte (read through a link).
            const bool claimed = r.out.find("checksum: ") != std::string::npos;
            if (output && claimed) {
                EXPECT_EQ(r.status, 0) << what;
                EXPECT_EQ(qjt::readBytes(f), qjt::readBytes("user/good.bin")) << what;
            }
            if (output && r.status != 0) {
                EXPECT_FALSE(claimed) << what;
            }

            // Nothing else of the user's changed, no scratch file is left; only FILE (or what its link names) took the dump.
            auto after = snapshot("user");
            auto expectedAfter = before;
            if (output && r.status == 0) {
                const std::string written = in.name == "a link to the good image" ? "target.bin" : "FILE";
                if (after.count(written)) expectedAfter[written] = after[written];
            }
            EXPECT_EQ(after, expectedAfter) << what;
            ::chmod(f.c_str(), 0644);
        }
    }
    if (mknodRefused) std::printf("file args: mknod is not permitted here: the private full device rows are skipped\n");
    std::printf("file args: %d runs\n", runs);
}

}  // namespace
