// Writes the seed corpora of the DSD fuzz targets: small DSF and DFF files of every kind, and WavPack
// files made of some of them by `wavpack` (when it is installed), without their first four bytes (the
// targets put the magic back).
//   dsd_seeds CORPUS_DIR   -> CORPUS_DIR/fuzz_dsf/*, CORPUS_DIR/fuzz_dff/*, CORPUS_DIR/fuzz_wv/*

#include "dsd_testfiles.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// The file at `from` compressed by `wavpack` into the WavPack target's corpus; false when wavpack
// failed (or is missing).
bool WriteWavPackSeed(const std::filesystem::path &from, const std::filesystem::path &seed) {
    const std::filesystem::path wv = from.string() + ".wv";
    if (std::system(("wavpack -q -y '" + from.string() + "' -o '" + wv.string() + "' 2>/dev/null").c_str()) !=
        0)
        return false;
    std::ifstream in(wv, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::filesystem::remove(wv);
    return bytes.size() > 4 && bool(std::ofstream(seed, std::ios::binary) << bytes.substr(4));
}

} // namespace

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
                // WavPack seeds of the shapes `wavpack` takes: DSF files, and DFF files without ABSS.
                if (samples > 0 && kind != TestDsdKind::DsfMsb) {
                    shape.dff_abss = false;
                    const auto from = root / (name + (kind == TestDsdKind::Dff ? ".dff" : ".dsf"));
                    std::filesystem::create_directories(root / "fuzz_wv");
                    if (TestDsd_WriteFile(shape, from.string()) &&
                        !WriteWavPackSeed(from, root / "fuzz_wv" / name))
                        fprintf(stderr, "dsd_seeds: no WavPack seed %s (is wavpack installed?)\n",
                                name.c_str());
                    std::filesystem::remove(from);
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
