// The main of the engine-backed playback tests: their ALSA configuration and the engine binding
// come first.

#include "helpers.h"

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!SetUpAudioTestProgram()) {
        std::fprintf(stderr, "cannot set up: engine libraries in %s, temporary folder, memory\n", ENGINE_DIR);
        return 2;
    }
    const int result = RUN_ALL_TESTS();
    TearDownAudioTestProgram();
    return result;
}
