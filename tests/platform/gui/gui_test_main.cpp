// The main of every test executable that needs the windowing layer: opens the display first.

#include "platform/gui.h"

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!InitGui()) {
        std::fprintf(stderr, "no display\n");
        return 1;
    }
    int rc = RUN_ALL_TESTS();
    FreeGui();
    return rc;
}
