// rewrite_loop ROOT [FIRST_STEP]: does the program's rewrites of ROOT/lpli/ in a loop until it is killed
// (see rewrites.h). ROOT must have been made by PrepareRewriteFolders. The crash test starts it,
// waits for the byte "r" on its standard output, which comes once the files have been read back,
// and kills it at a random moment. FIRST_STEP chooses which rewrite comes first.

#include "rewrites.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s ROOT [FIRST_STEP]\n", argv[0]);
        return 2;
    }
    std::string root = argv[1];
    if (root.back() != '/') root += '/';
    LoadRewriteState(root);
    std::fputc('r', stdout);
    std::fflush(stdout);
    for (int step = argc == 3 ? std::atoi(argv[2]) % RewriteStepCount : 0;;
         step = (step + 1) % RewriteStepCount)
        RunRewriteStep(root, step);
}
