// Writes the seed corpora of the list, settings and cover fuzz targets: list files in each encoding
// (by the program's own writer, and byte by byte for the others), settings files by the program's
// writer, and small pictures made here with libpng and libjpeg: PNG in 8 and 16 bits, interlaced,
// with a palette and transparency, grey; JPEG baseline, progressive, grey and CMYK.
// The tag seeds are small DSF, DFF and WavPack files with tags, the kind in the first byte.
//   reader_seeds CORPUS_DIR   -> CORPUS_DIR/fuzz_lists/*, fuzz_settings/*, fuzz_cover/*, fuzz_tags/*

#include "library/library.h"
#include "library/settings.h"
#include "tagged.h"

#include <jpeglib.h>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::filesystem::path Root;
bool Failed = false;

void Put(const char *target, const std::string &name, const std::string &bytes) {
    std::filesystem::create_directories(Root / target);
    FILE *f = fopen((Root / target / name).c_str(), "wb");
    if (!f || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || fclose(f) != 0) {
        fprintf(stderr, "reader_seeds: cannot write %s/%s\n", target, name.c_str());
        Failed = true;
    }
}

// A PNG of w x h pixels; every sample is a pattern of x and y so that the rows differ.
void PutPng(const std::string &name, int w, int h, int color_type, int depth, bool interlaced) {
    const std::filesystem::path path = Root / "fuzz_cover" / name;
    FILE *f = fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!f || !info || setjmp(png_jmpbuf(png))) {
        fprintf(stderr, "reader_seeds: cannot write %s\n", name.c_str());
        Failed = true;
        if (png) png_destroy_write_struct(&png, &info);
        if (f) fclose(f);
        return;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), depth, color_type,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (color_type == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[4] = {{200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {240, 240, 240}};
        png_byte alpha[4] = {255, 128, 0, 255};
        png_set_PLTE(png, info, palette, 4);
        png_set_tRNS(png, info, alpha, 4, nullptr);
    }
    png_write_info(png, info);
    const int channels = color_type == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                         : color_type == PNG_COLOR_TYPE_RGB     ? 3
                                                                : 1;
    const size_t row_bytes = (size_t(w) * channels * depth + 7) / 8;
    std::vector<std::vector<png_byte>> rows(static_cast<size_t>(h), std::vector<png_byte>(row_bytes));
    std::vector<png_bytep> pointers;
    for (int y = 0; y < h; ++y) {
        for (size_t i = 0; i < row_bytes; ++i)
            rows[size_t(y)][i] = png_byte((i * 37 + size_t(y) * 91) & 0xFF);
        pointers.push_back(rows[size_t(y)].data());
    }
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    if (fclose(f) != 0) Failed = true;
}

void PutJpeg(const std::string &name, int w, int h, J_COLOR_SPACE space, int components, bool progressive) {
    const std::filesystem::path path = Root / "fuzz_cover" / name;
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) {
        Failed = true;
        return;
    }
    jpeg_compress_struct ci;
    jpeg_error_mgr err;
    ci.err = jpeg_std_error(&err); // errors here are ours to fix: the default handler exits
    jpeg_create_compress(&ci);
    jpeg_stdio_dest(&ci, f);
    ci.image_width = JDIMENSION(w);
    ci.image_height = JDIMENSION(h);
    ci.input_components = components;
    ci.in_color_space = space;
    jpeg_set_defaults(&ci);
    jpeg_set_quality(&ci, 75, TRUE);
    if (progressive) jpeg_simple_progression(&ci);
    jpeg_start_compress(&ci, TRUE);
    std::vector<JSAMPLE> row(size_t(w) * components);
    while (ci.next_scanline < ci.image_height) {
        for (size_t i = 0; i < row.size(); ++i) row[i] = JSAMPLE((i * 29 + ci.next_scanline * 53) & 0xFF);
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&ci, &p, 1);
    }
    jpeg_finish_compress(&ci);
    jpeg_destroy_compress(&ci);
    if (fclose(f) != 0) Failed = true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: reader_seeds CORPUS_DIR\n");
        return 2;
    }
    Root = argv[1];

    // List files: track files with two sections of one name, an index, each encoding and line end.
    Put("fuzz_lists", "tracks_utf16",
        EncodeTextLines({"!Rock", "  /m/a.dsf", "  /m/Caf\xC3\xA9/b.dff", "!Jazz", "  /m/j.dsf", "!Rock",
                         "  /m/\xF0\x9F\x98\x80.dsf", "  /m/name\xE9.dsf"}));
    Put("fuzz_lists", "index_utf16", EncodeTextLines({"Alpha", " b ", "\xC3\x89t\xC3\xA9", "zulu"}));
    Put("fuzz_lists", "tracks_utf8", "\xEF\xBB\xBF!Rock\r\n  /m/a.dsf\n\r\n!Jazz\r  /m/j.dff\n!Rock");
    Put("fuzz_lists", "tracks_cp1252", "!Caf\xE9\r\n  /m/\x80\x9F.dsf\r\n\r\n!x\n  y.dff");
    Put("fuzz_lists", "odd_utf16", std::string("\xFF\xFE!\0R\0\r\0\n\0 \0 \0\x3D\xD8/\0\0\0a", 22));

    // Settings: as the program writes them, with a name in several scripts, and cut short.
    const std::string full = EncodeSettings("USB DAC: USB Audio (hw:2,0)", {0, 1, 1, 0, 2, 0, 1});
    Put("fuzz_settings", "device", full);
    Put("fuzz_settings", "names", EncodeSettings("Caf\xC3\xA9 \xF0\x9F\x98\x80", {4, 1, 1, 1, 1, 1, 0}));
    Put("fuzz_settings", "short", full.substr(0, 12));

    // Pictures.
    std::filesystem::create_directories(Root / "fuzz_cover");
    PutPng("rgba8.png", 4, 3, PNG_COLOR_TYPE_RGB_ALPHA, 8, false);
    PutPng("rgb16_interlaced.png", 9, 7, PNG_COLOR_TYPE_RGB, 16, true);
    PutPng("palette_trns.png", 5, 4, PNG_COLOR_TYPE_PALETTE, 2, false);
    PutPng("grey1.png", 10, 2, PNG_COLOR_TYPE_GRAY, 1, false);
    PutJpeg("baseline.jpg", 16, 8, JCS_RGB, 3, false);
    PutJpeg("progressive.jpg", 17, 11, JCS_RGB, 3, true);
    PutJpeg("grey.jpg", 8, 9, JCS_GRAYSCALE, 1, false);
    PutJpeg("cmyk.jpg", 8, 8, JCS_CMYK, 4, false);
    // Tags: the kind's byte (0 DSF, 1 DFF, 2 WavPack), then the file.
    TestDsdShape dsf, dff;
    dsf.samples = dff.samples = 4096;
    dff.kind = TestDsdKind::Dff;
    const TestTagFields fields = {
        "Kyrie",
        "Ch\xC5\x93ur",
        "Missa",
        "3/12",
        {{0, "image/jpeg", "\xFF\xD8\xFF\xE0 back"}, {3, "image/png", "\x89PNG front"}}};
    Put("fuzz_tags", "dsf_v3", '\0' + DsfWithTag(dsf, Id3v2Tag(3, fields)));
    Put("fuzz_tags", "dsf_v4", '\0' + DsfWithTag(dsf, Id3v2Tag(4, fields)));
    Put("fuzz_tags", "dff_id3_diin",
        '\1' + DffWithChunks(dff, {DiinChunk("Title", "Artist"), DffChunk("ID3 ", Id3v2Tag(4, fields))}));
    Put("fuzz_tags", "wv_ape", '\2' + std::string("wvpk", 4) + ApeTag(fields));
    return Failed ? 1 : 0;
}
