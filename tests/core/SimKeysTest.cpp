// The virtual jig's spec is checked before any byte moves: a misspelt fault key
// would otherwise make a test pass without injecting its fault.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <stdexcept>

#include "cli/Cli.h"
#include "sim/SimConfig.h"
#include "sim/SimKeys.h"
#include "support/TestSupport.h"

using namespace qj;

TEST(SimKeys, BadSpecsAreMisuseNamingTheKeyBeforeAnyByteIsSent) {
    qjt::ScratchDir dir;
    struct Case {
        std::string spec, inMessage;
    } cases[] = {
        {"jig=ENE_EDID_KB,ene-lost=3", "unknown virtual-jig key \"ene-lost\"; the keys are: "},
        {"ene-lost-at=abc", "ene-lost-at: \"abc\" is not a number"},
        {"v3-short=abc", "v3-short: \"abc\" is not a number"},
        {"keyboard-delay=1.5", "keyboard-delay: \"1.5\" is not a number"},
        {"devices=17", "devices: 17 is out of range (0 to 16)"},
        {"unplug-at=99999999999999999", "unplug-at: 99999999999999999 is out of range"},
        {"reset-after=99999999999999999999999", "reset-after: \"99999999999999999999999\" is not a number"},
        {"eeprom-silent=maybe", "eeprom-silent: \"maybe\" is not a flag"},
        {"mode=fast", "mode: \"fast\" is not one of instant, paced"},
        {"flash=no/such/file.bin", "flash: cannot read the file"},
        {"keys=1-99@0", "keys: contacts are 1 to 32"},
        {"npce-id=EF40", "npce-id: \"EF40\" is not 6 hexadecimal digits"},
    };
    for (const auto& c : cases) {
        const std::string trace = dir.file("trace.txt");
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        const int st = cli::run({"--sim", c.spec, "--trace", trace, "identify"});
        testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(st, cli::kMisuse) << c.spec;
        EXPECT_NE(err.find(c.inMessage), std::string::npos) << c.spec << "\n" << err;
        EXPECT_EQ(qjt::readFile(trace), "") << c.spec;
    }
}

TEST(SimKeys, FlagsTakeOnlyTheFlagWords) {
    EXPECT_TRUE(sim::SimConfig("eeprom-silent=on").flag("eeprom-silent"));
    EXPECT_TRUE(sim::SimConfig("eeprom-silent=yes").flag("eeprom-silent"));
    EXPECT_FALSE(sim::SimConfig("eeprom-silent=off").flag("eeprom-silent"));
    EXPECT_FALSE(sim::SimConfig("eeprom-silent=false").flag("eeprom-silent"));
    EXPECT_EQ(sim::SimConfig("driver=0x10").num("driver", 0), 16);
}

TEST(SimKeys, TheReadmeTableListsExactlyTheDeclaredKeys) {
    std::ifstream f(qjt::sourceDir() + "README.md");
    ASSERT_TRUE(f) << "README.md";
    std::set<std::string> documented;
    std::string line;
    bool inSection = false;
    const std::regex key("`([a-z0-9-]+)=");
    while (std::getline(f, line)) {
        if (line.rfind("## ", 0) == 0) inSection = line == "## The virtual jig";
        if (!inSection || line.rfind("| `", 0) != 0) continue;
        const std::string first = line.substr(0, line.find(" |", 2));
        for (std::sregex_iterator it(first.begin(), first.end(), key), end; it != end; ++it)
            documented.insert((*it)[1]);
    }
    std::set<std::string> declared;
    for (const auto& [name, spec] : sim::allKeys()) declared.insert(name);
    for (const auto& k : declared) EXPECT_TRUE(documented.count(k)) << "not in the README's table: " << k;
    for (const auto& k : documented) EXPECT_TRUE(declared.count(k)) << "documented but not declared: " << k;
}

// Every model's fault keys come from one declaration that takes the model's flash
// size: a wrong size would refuse a real address or let one past the end through.
TEST(SimKeys, EachModelsFaultKeysTakeTheirRangeToTheEdge) {
    struct Case {
        std::string kv;
        bool ok;
    } cases[] = {
        {"ene-stuck=131071", true},      {"ene-stuck=131072", false},    {"npce-stuck=131071", true},
        {"npce-stuck=131072", false},    {"nuv-stuck=131071", true},     {"nuv-stuck=131072", false},
        {"mec-stuck=196607", true},      {"mec-stuck=196608", false},    {"ite-stuck=196607", true},
        {"ite-stuck=196608", false},     {"ite-stuck-len=196608", true}, {"ite-stuck-len=0", false},
        {"mec-silent-after=0", true},    {"nuv-silent-after=0", true},   {"ite-overlong-at=0", false},
        {"mec-lost-at=0", false},        {"ene-block-us=10000000", true}, {"npce-block-us=10000001", false},
    };
    for (const auto& c : cases) {
        const auto eq = c.kv.find('=');
        const std::map<std::string, std::string> kv = {{c.kv.substr(0, eq), c.kv.substr(eq + 1)}};
        bool accepted = true;
        try {
            sim::validateKeys(kv);
        } catch (const std::invalid_argument&) {
            accepted = false;
        }
        EXPECT_EQ(accepted, c.ok) << c.kv;
    }
}
