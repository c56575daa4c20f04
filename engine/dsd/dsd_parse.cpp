// DSF and DFF headers: every field is checked before it is trusted, every size is bounded by its
// enclosing chunk and by the source, and nothing is allocated. A header that fails any check is
// refused as a whole (41): a player that guesses around a lying header plays noise or stops early.

#include "dsd.h"
#include "dsd_rates.h"
#include "tavo.h"

#include <cstring>

namespace {

constexpr uint32_t DsfBlockSize = 4096; // bytes per channel in each block of a DSF
constexpr uint32_t MaxChannels = 6;

uint32_t Le32(const uint8_t *p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint64_t Le64(const uint8_t *p) {
    return Le32(p) | static_cast<uint64_t>(Le32(p + 4)) << 32;
}
uint16_t Be16(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
uint32_t Be32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}
uint64_t Be64(const uint8_t *p) {
    return static_cast<uint64_t>(Be32(p)) << 32 | Be32(p + 4);
}
bool IsId(const uint8_t *p, const char (&id)[5]) {
    return memcmp(p, id, 4) == 0;
}

// Set while a header is checked when the refusal is that the file ends before its header says it
// does: the one malformation a user can do something about (a copy cut short). Per thread: streams
// are opened on several threads at once.
thread_local bool CutShort = false;

int Short() {
    CutShort = true;
    return TAVO_ERROR_FILEFORM;
}

// Reads exactly n header bytes at off: TAVO_OK; 41 when the source ends first (a truncated file);
// 2 when it cannot be read.
int ReadHeader(const DsdSource *src, uint64_t off, uint8_t *buf, size_t n) {
    int64_t got = DsdSource_Read(src, off, buf, n);
    if (got < 0) return TAVO_ERROR_FILEOPEN;
    return got == static_cast<int64_t>(n) ? TAVO_OK : Short();
}

// ---- DSF: "DSD " (28 bytes), "fmt " (52 bytes), "data" (12-byte header, then the blocks), all
// little-endian, at fixed places.

struct DsfHeader {
    uint8_t dsd_id[4];       // "DSD "
    uint8_t dsd_size[8];     // 28
    uint8_t file_size[8];    // the whole file, data and metadata included
    uint8_t metadata[8];     // offset of the metadata chunk after the data, 0 without one
    uint8_t fmt_id[4];       // "fmt "
    uint8_t fmt_size[8];     // 52
    uint8_t version[4];      // 1
    uint8_t format_id[4];    // 0: raw DSD (no other format exists)
    uint8_t channel_type[4]; // 1 mono, 2 stereo, 3 three channels, 4 quad, 5 four channels, 6 five, 7 5.1
    uint8_t channel_num[4];  // 1..6, as channel_type says
    uint8_t rate[4];         // DSD samples per second and channel
    uint8_t bits[4];         // 1: oldest bit least significant; 8: oldest bit most significant
    uint8_t samples[8];      // samples per channel; the last block is padded past them
    uint8_t block_size[4];   // bytes per channel in a block: 4096
    uint8_t reserved[4];     // not used: writers leave what they like here
    uint8_t data_id[4];      // "data"
    uint8_t data_size[8];    // 12 + the blocks (and whatever a writer leaves after them)
};
static_assert(sizeof(DsfHeader) == 92 && alignof(DsfHeader) == 1, "DSF header is 92 packed bytes");

// Channel count of each DSF channel type (1..7).
constexpr uint32_t DsfTypeChannels[8] = {0, 1, 2, 3, 4, 4, 5, 6};

int ParseDsf(const DsdSource *src, DsdLayout *out) {
    DsfHeader h;
    if (int rc = ReadHeader(src, 0, reinterpret_cast<uint8_t *>(&h), sizeof h)) return rc;
    if (!IsId(h.dsd_id, "DSD ") || Le64(h.dsd_size) != 28) return TAVO_ERROR_FILEFORM;
    if (!IsId(h.fmt_id, "fmt ") || Le64(h.fmt_size) != 52) return TAVO_ERROR_FILEFORM;
    if (!IsId(h.data_id, "data")) return TAVO_ERROR_FILEFORM;
    if (Le32(h.version) != 1 || Le32(h.format_id) != 0) return TAVO_ERROR_FILEFORM;
    uint32_t type = Le32(h.channel_type), channels = Le32(h.channel_num);
    if (type < 1 || type > 7 || channels != DsfTypeChannels[type]) return TAVO_ERROR_FILEFORM;
    uint32_t rate = Le32(h.rate), bits = Le32(h.bits);
    if (!IsDsdRate(rate) || (bits != 1 && bits != 8)) return TAVO_ERROR_FILEFORM;
    if (Le32(h.block_size) != DsfBlockSize) return TAVO_ERROR_FILEFORM;

    // The file may carry junk after what it says is its end, never less than that.
    uint64_t file_size = Le64(h.file_size);
    if (file_size < sizeof h) return TAVO_ERROR_FILEFORM;
    if (file_size > src->size) return Short();
    uint64_t data_size = Le64(h.data_size);
    constexpr uint64_t data_at = offsetof(DsfHeader, data_id);
    if (data_size < 12 || data_size > file_size - data_at) return TAVO_ERROR_FILEFORM;
    uint64_t data_end = data_at + data_size;
    uint64_t metadata = Le64(h.metadata);
    if (metadata != 0 && (metadata < data_end || metadata >= file_size)) return TAVO_ERROR_FILEFORM;

    // The sample count bounds the data: it needs whole padded blocks of every channel, which the
    // data chunk must hold; files may carry junk after the blocks (inside the chunk or after it).
    uint64_t samples = Le64(h.samples);
    uint64_t bytes = samples / 8 + (samples % 8 != 0); // per channel, a partial last byte included
    uint64_t blocks = bytes / DsfBlockSize + (bytes % DsfBlockSize != 0);
    uint64_t group = uint64_t{DsfBlockSize} * channels;
    if (blocks > (data_size - 12) / group) return Short();

    out->container = DSD_CONTAINER_DSF;
    out->channels = channels;
    out->rate = rate;
    out->samples = samples;
    out->frames = samples / 8;
    out->data_offset = sizeof h;
    out->block_size = DsfBlockSize;
    out->lsb_first = bits == 1;
    // Every DSF channel type begins with front left and front right.
    out->left = 0;
    out->right = channels > 1 ? 1 : 0;
    return TAVO_OK;
}

// ---- DFF (DSDIFF 1.5): big-endian chunks of a 4-byte id and a 64-bit size, each padded to an even
// size; a "FRM8" form of type "DSD " holds "FVER" first, then "PROP" (of type "SND ", holding "FS  ",
// "CHNL" and "CMPR"), then the sound data "DSD " (or "DST " when compressed). Other chunks are skipped.

struct DffChunk {
    uint8_t id[4];
    uint64_t size; // bytes of the body, without the pad byte
    uint64_t body; // source offset of the body
    uint64_t next; // source offset of the next chunk
};

// Reads the chunk header at pos of a container ending at end; the body must fit inside it.
int ReadChunk(const DsdSource *src, uint64_t pos, uint64_t end, DffChunk *c) {
    uint8_t b[12];
    if (end - pos < sizeof b) return TAVO_ERROR_FILEFORM;
    if (int rc = ReadHeader(src, pos, b, sizeof b)) return rc;
    memcpy(c->id, b, 4);
    c->size = Be64(b + 4);
    c->body = pos + sizeof b;
    if (c->size > end - c->body) return TAVO_ERROR_FILEFORM;
    // A last chunk may lack its pad byte where the writer ended the container right after it.
    c->next = c->body + c->size;
    if (c->size % 2 != 0 && c->next < end) ++c->next;
    return TAVO_OK;
}

// The "PROP" chunk of type "SND ": rate, channels, compression. The body starts with the type.
int ParseProp(const DsdSource *src, const DffChunk &prop, DsdLayout *out) {
    uint8_t b[2 + 4 * MaxChannels];
    if (prop.size < 4) return TAVO_ERROR_FILEFORM;
    if (int rc = ReadHeader(src, prop.body, b, 4)) return rc;
    if (!IsId(b, "SND ")) return TAVO_ERROR_FILEFORM;
    bool have_fs = false, have_chnl = false, have_cmpr = false, dst = false;
    uint64_t end = prop.body + prop.size;
    for (uint64_t pos = prop.body + 4; pos < end;) {
        DffChunk c;
        if (int rc = ReadChunk(src, pos, end, &c)) return rc;
        pos = c.next;
        if (IsId(c.id, "FS  ")) {
            if (have_fs || c.size != 4) return TAVO_ERROR_FILEFORM;
            if (int rc = ReadHeader(src, c.body, b, 4)) return rc;
            out->rate = Be32(b);
            if (!IsDsdRate(out->rate)) return TAVO_ERROR_FILEFORM;
            have_fs = true;
        } else if (IsId(c.id, "CHNL")) {
            // A count of channels, then one 4-byte id each.
            if (have_chnl || c.size < 2 || c.size > sizeof b) return TAVO_ERROR_FILEFORM;
            if (int rc = ReadHeader(src, c.body, b, static_cast<size_t>(c.size))) return rc;
            uint32_t n = Be16(b);
            if (n < 1 || n > MaxChannels || c.size != 2 + 4 * uint64_t{n}) return TAVO_ERROR_FILEFORM;
            out->channels = n;
            // Front left and right are SLFT/SRGT (stereo) or MLFT/MRGT (multichannel); a file that
            // names neither pair gives its first two channels.
            int left = -1, right = -1;
            for (uint32_t i = 0; i < n; ++i) {
                const uint8_t *id = b + 2 + 4 * i;
                if (left < 0 && (IsId(id, "SLFT") || IsId(id, "MLFT"))) left = static_cast<int>(i);
                if (right < 0 && (IsId(id, "SRGT") || IsId(id, "MRGT"))) right = static_cast<int>(i);
            }
            if (left < 0 || right < 0) left = 0, right = n > 1 ? 1 : 0;
            out->left = static_cast<uint32_t>(left);
            out->right = static_cast<uint32_t>(right);
            have_chnl = true;
        } else if (IsId(c.id, "CMPR")) {
            // The compression id, then a counted name (not used).
            if (have_cmpr || c.size < 5) return TAVO_ERROR_FILEFORM;
            if (int rc = ReadHeader(src, c.body, b, 5)) return rc;
            if (5 + uint64_t{b[4]} > c.size) return TAVO_ERROR_FILEFORM;
            if (IsId(b, "DST "))
                dst = true;
            else if (!IsId(b, "DSD "))
                return TAVO_ERROR_FILEFORM;
            have_cmpr = true;
        }
    }
    if (!have_fs || !have_chnl || !have_cmpr) return TAVO_ERROR_FILEFORM;
    return dst ? TAVO_ERROR_CODEC : TAVO_OK;
}

int ParseDff(const DsdSource *src, DsdLayout *out) {
    uint8_t b[16];
    if (int rc = ReadHeader(src, 0, b, sizeof b)) return rc;
    if (!IsId(b, "FRM8") || !IsId(b + 12, "DSD ")) return TAVO_ERROR_FILEFORM;
    // Junk may follow the form; the form itself must be whole.
    uint64_t form_size = Be64(b + 4);
    if (form_size < 4) return TAVO_ERROR_FILEFORM;
    if (form_size > src->size - 12) return Short();
    uint64_t end = 12 + form_size;

    bool have_fver = false, have_prop = false;
    for (uint64_t pos = 16; pos < end;) {
        DffChunk c;
        if (int rc = ReadChunk(src, pos, end, &c)) return rc;
        pos = c.next;
        if (IsId(c.id, "FVER")) {
            // Version 1.x; it comes first and once.
            if (have_fver || c.size != 4) return TAVO_ERROR_FILEFORM;
            if (int rc = ReadHeader(src, c.body, b, 4)) return rc;
            if (b[0] != 1) return TAVO_ERROR_FILEFORM;
            have_fver = true;
            continue;
        }
        if (!have_fver) return TAVO_ERROR_FILEFORM;
        if (IsId(c.id, "PROP")) {
            if (have_prop) return TAVO_ERROR_FILEFORM;
            if (int rc = ParseProp(src, c, out)) return rc;
            have_prop = true;
        } else if (IsId(c.id, "DSD ") || IsId(c.id, "DST ")) {
            // The sound data; it needs the properties before it. A DST form was already refused with
            // 44 by its CMPR, so "DST " here is a form that contradicts itself.
            if (!have_prop || IsId(c.id, "DST ")) return TAVO_ERROR_FILEFORM;
            if (c.size % out->channels != 0) return TAVO_ERROR_FILEFORM;
            out->container = DSD_CONTAINER_DFF;
            out->frames = c.size / out->channels;
            out->samples = out->frames * 8;
            out->data_offset = c.body;
            out->block_size = 1;
            out->lsb_first = false;
            // What follows the sound data (comments, edit marks, tags) is not needed.
            return TAVO_OK;
        }
    }
    return TAVO_ERROR_FILEFORM; // no sound data
}

} // namespace

bool IsDsdRate(uint32_t rate) {
    for (uint32_t r : kDsdRates)
        if (rate == r) return true;
    return false;
}

int Dsd_ParseHeader(const DsdSource *src, DsdLayout *layout, const char **reason) {
    CutShort = false;
    uint8_t magic[4] = {};
    int rc = ReadHeader(src, 0, magic, sizeof magic);
    const bool known = IsId(magic, "DSD ") || IsId(magic, "FRM8");
    DsdLayout l;
    if (rc == TAVO_OK)
        rc = IsId(magic, "DSD ")   ? ParseDsf(src, &l)
             : IsId(magic, "FRM8") ? ParseDff(src, &l)
                                   : TAVO_ERROR_FILEFORM;
    if (rc == TAVO_OK) *layout = l;
    if (reason)
        *reason = rc == TAVO_OK               ? nullptr
                  : rc == TAVO_ERROR_FILEOPEN ? "the file cannot be read"
                  : rc == TAVO_ERROR_CODEC    ? "DST compression is not supported"
                  : !known                    ? "not a DSD file"
                  : CutShort                  ? "the file is shorter than its header says"
                                              : "its header is damaged or of a kind not supported";
    return rc;
}
