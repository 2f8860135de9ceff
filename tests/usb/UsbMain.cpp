// The USB tests run under umockdev's preload library, which shows this
// process the testbed's /sys and /dev/bus/usb: they have a binary of their
// own, started again under the library when it is not loaded yet.
#include <gtest/gtest.h>

#include <cstdio>

#include "tools/ft232r/EmulatedFt232r.h"

int main(int argc, char** argv) {
    std::string error;
    if (!qj::usb::runUnderPreload(argv, error)) {
        std::fprintf(stderr, "usb_tests: %s\n", error.c_str());
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
