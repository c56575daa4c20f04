// Tags written into test files from the public descriptions of ID3v2.3 and 2.4, DSDIFF 1.5 and APEv2:
// what a store's DSF, DFF and WavPack files carry, for the tag reader and the program to find.
#pragma once

#include "dsd_testfiles.h"

#include <cstdint>
#include <string>
#include <vector>

struct TestPicture {
    uint8_t Type = 3; // the APIC picture type: 3 front cover, 0 other, ...
    std::string Mime = "image/png";
    std::string Bytes;
};

struct TestTagFields {
    std::string Title, Artist, Album, Track; // "" leaves the frame out; Track as written ("3/12")
    std::vector<TestPicture> Pictures;
};

// An ID3v2 tag (`version` 3 or 4) with the fields' frames: texts in UTF-16 with a byte order mark in
// version 3, in UTF-8 in version 4; frame sizes plain in version 3, synchsafe in version 4.
std::string Id3v2Tag(int version, const TestTagFields &fields);
// A DSDIFF chunk: the id (4 characters), the big-endian 8-byte size, the data and a pad byte when
// its length is odd.
std::string DffChunk(const std::string &id, const std::string &data);
// A DIIN chunk holding a DITI (title) and a DIAR (artist) chunk for each text that is not empty.
std::string DiinChunk(const std::string &title, const std::string &artist);
// A DSF file of the shape with the tag after its sound data, its header pointing to it.
std::string DsfWithTag(const TestDsdShape &shape, const std::string &tag);
// A DFF file of the shape with the chunks appended to its form, after the sound data.
std::string DffWithChunks(const TestDsdShape &shape, const std::vector<std::string> &chunks);
// An APEv2 tag (items, then the footer) for the end of a WavPack file: text items, and the binary
// item "Cover Art (Front)" (or "Cover Art (Back)" for another type) for each picture.
std::string ApeTag(const TestTagFields &fields);
