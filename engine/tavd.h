/* tavd.so: the DSD reader. DSF and DSDIFF (DFF) files opened as streams of the engine core.
 *
 * A stream always delivers two channels, byte-interleaved (left byte, right byte), the oldest bit in
 * the most significant bit of each byte. A mono file is doubled; a file of more channels gives its
 * front left and right. With TAVO_DSD_RAW in the flags the stream is for playback and delivers
 * exactly the file's samples; without it the stream only probes: its length is half the playback
 * length and it delivers no data.
 *
 * mem 0: file is a UTF-8 path; offset and length select a part of the file (length 0: to its end).
 * mem 1: file points to length bytes in memory, which must stay valid while the stream lives.
 * Returns 0 on failure with Tavo_ErrorGetCode: 2 (cannot open or read), 41 (not a valid DSF/DFF),
 * 44 (DST-compressed DFF), 1 (memory), 8 (core not initialised).
 *
 * A WavPack file holding DSD (as `wavpack` makes it from a DSF or DFF) opens like the file it was made
 * from and delivers the same bytes; one holding PCM is refused with 41.
 *
 * Tavd_DSD_ErrorGetText: why this thread's last Tavd_DSD_StreamCreateFile failed, for the user, in
 * English and lower case ("not a DSD file", "DST compression is not supported", "the file is shorter
 * than its header says"); "" after a success. The text is constant: it stays valid. */
#ifndef TAVD_H
#define TAVD_H

#include "tavo.h"

#ifdef __cplusplus
extern "C" {
#endif

TavoHandle Tavd_DSD_StreamCreateFile(int mem, const void *file, uint64_t offset, uint64_t length,
                                     uint32_t flags, uint32_t freq);
const char *Tavd_DSD_ErrorGetText(void);

#ifdef __cplusplus
}
#endif

#endif
