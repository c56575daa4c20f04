// libFuzzer target of the tag reader: the input's first byte picks the kind (DSF, DFF, WavPack), the
// rest is the file, read from memory through the same stream interface the reader uses on a file:
// our walk of the DSF header and the DFF chunks, our DIIN texts, and TagLib's ID3v2 and APEv2
// parsing of what they find.
//
// Besides crashes and leaks, the run stops when a text is not valid UTF-8 or a picture is neither
// PNG nor JPEG.

#include "fuzz_files.h"
#include "library/library.h"
#include "platform/text.h"

#include <taglib/tbytevectorstream.h>

namespace {

bool ValidUtf8(const std::string &text) {
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const size_t n = DecodeUtf8(text, i, cp);
        if (n == 1 && cp >= 0xDC80 && cp <= 0xDCFF) return false;
        i += n;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    static const char *const Kinds[] = {"dsf", "dff", "wv"};
    TagLib::ByteVectorStream stream(
        TagLib::ByteVector(reinterpret_cast<const char *>(data) + 1, unsigned(size - 1)));
    const TrackTags tags = ReadTagsFrom(stream, Kinds[data[0] % 3]);
    for (const std::string *text : {&tags.Title, &tags.Artist, &tags.Album})
        FuzzCheck(ValidUtf8(*text), "a text that is not UTF-8");
    const std::string &p = tags.Picture;
    FuzzCheck(p.empty() || p.rfind("\x89PNG", 0) == 0 || p.rfind("\xFF\xD8\xFF", 0) == 0,
              "a picture that is neither PNG nor JPEG");
    return 0;
}
