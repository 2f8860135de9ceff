#pragma once
// Where the jig's firmware images and the Nuvoton JTAG script are found. An
// installed program's own folder needs root to write, so a technician can put
// the images that came with the jig in the data folder of their account, and a
// bench administrator in the installation's data folder.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qj {

// The folders looked in, in order, each with its trailing separator:
//   1. the program's folder (`programDir`, as given);
//   2. $XDG_DATA_HOME/quillmore-jig/firmware/ (default ~/.local/share/...);
//   3. <prefix>/share/quillmore-jig/firmware/ when the program is installed
//      as <prefix>/libexec/quillmore-jig/ (/usr/share/... for the package).
// A folder that cannot be named (no home, a program outside an installed
// layout) is left out.
std::vector<std::string> jigFileFolders(const std::string& programDir);

struct JigFileLookup {
    bool found = false;
    // The file found; when none is, the name in the program's folder (the
    // place the messages have always named).
    std::string path;
    size_t place = 0;                  // index of the folder it was found in
    std::vector<std::string> folders;  // every folder looked in, in order
    // "(looked in A, B, C)": added to a message that says the file is missing.
    std::string lookedIn() const;
};

// The first regular file called `name` in jigFileFolders(programDir). An empty
// name (a mode without an image) is found nowhere.
JigFileLookup findJigFile(const std::string& name, const std::string& programDir);

// The identification an image carries: the run of identification characters
// (letters, digits, "." and "_") around the first `firmware` in its bytes
// ("V42_Q37" for "V42"); "" when `firmware` is not in it.
std::string carriedIdent(const uint8_t* p, size_t n, const std::string& firmware);

}  // namespace qj
