// Writes the seed corpora of the DSD fuzz targets: small DSF and DFF files of every kind, without
// their first four bytes (the targets put the magic back).
//   dsd_seeds CORPUS_DIR   -> CORPUS_DIR/fuzz_dsf/*, CORPUS_DIR/fuzz_dff/*

#include "dsd_testfiles.h"

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: dsd_seeds CORPUS_DIR\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    int n = 0;
    for (TestDsdKind kind : {TestDsdKind::DsfLsb, TestDsdKind::DsfMsb, TestDsdKind::Dff}) {
        const char *target = kind == TestDsdKind::Dff ? "fuzz_dff" : "fuzz_dsf";
        std::filesystem::create_directories(root / target);
        for (uint32_t channels : {1u, 2u, 6u}) {
            for (uint64_t samples : {uint64_t{0}, uint64_t{8 * 100 + 3}, uint64_t{8 * 4200}}) {
                TestDsdShape shape;
                shape.kind = kind;
                shape.channels = channels;
                shape.samples = samples;
                shape.rate = n % 2 ? 5'644'800 : 3'072'000;
                shape.junk = n % 3 == 0 ? 16 : 0;
                shape.seed = static_cast<uint32_t>(++n);
                // Keep the seeds small: a 6-channel DSF of 4200 bytes per channel is 49 KB.
                if (channels == 6 && samples > 8 * 1000 && kind != TestDsdKind::Dff) continue;
                auto bytes = TestDsd_Bytes(shape);
                std::string name = "seed" + std::to_string(n);
                FILE *f = fopen((root / target / name).c_str(), "wb");
                if (!f || fwrite(bytes.data() + 4, 1, bytes.size() - 4, f) != bytes.size() - 4 ||
                    fclose(f) != 0) {
                    fprintf(stderr, "dsd_seeds: cannot write %s\n", name.c_str());
                    return 1;
                }
            }
        }
    }
    TestDsdShape dst;
    dst.kind = TestDsdKind::Dff;
    dst.dst = true;
    auto bytes = TestDsd_Bytes(dst);
    FILE *f = fopen((root / "fuzz_dff" / "seed_dst").c_str(), "wb");
    if (!f || fwrite(bytes.data() + 4, 1, bytes.size() - 4, f) != bytes.size() - 4 || fclose(f) != 0)
        return 1;
    return 0;
}
