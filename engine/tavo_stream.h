/* How an add-on (tavd.so) hands its streams to the engine core (tavo.so).
 *
 * The add-on opens and checks a file itself, then registers the open stream with TavoStream_Register:
 * the core takes ownership of `state`, gives the stream a handle and from then on answers every
 * Tavo_Channel* call on that handle through these procedures. The core serialises calls per stream
 * (one at a time), calls `close` exactly once when the stream is freed (Tavo_StreamFree, Tavo_Free,
 * or a failed registration), and never calls into a stream after that.
 *
 * Not part of the program's interface: only the libraries of the engine include this header. */
#ifndef TAVO_STREAM_H
#define TAVO_STREAM_H

#include "tavo.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TavoStreamProcs {
    /* Delivers up to length bytes into buffer, advancing the position: the count delivered, 0 at the
     * end, -1 on a read error (after setting the error code with TavoStream_SetError). */
    int32_t (*read)(void *state, void *buffer, uint32_t length);
    /* Moves the read position to pos bytes of the stream's data (pos <= length, a whole frame);
     * 1 or 0 with an error code set. */
    int (*seek)(void *state, uint64_t pos);
    /* The position in the file of the next byte to be read. */
    uint64_t (*file_position)(void *state);
    void (*close)(void *state);
} TavoStreamProcs;

typedef struct TavoStreamInfo {
    uint64_t length;          /* bytes that read delivers in all */
    double bytes_per_second;  /* length / bytes_per_second = the playing time */
    float frequency;          /* attribute 1 */
    float dsd_rate;           /* attribute 0x14001 */
    uint64_t file_size;       /* size of the source in bytes */
    int is_file;              /* 1 for a file, 0 for memory */
} TavoStreamInfo;

/* Registers an open stream; returns its handle, or 0 (state already closed) with the error code set:
 * 8 when the core is not initialised, 1 when the table is full. */
TavoHandle TavoStream_Register(const TavoStreamProcs *procs, void *state, const TavoStreamInfo *info);

/* Sets the calling thread's error code, as Tavo_ErrorGetCode reports it. */
void TavoStream_SetError(int code);

#ifdef __cplusplus
}
#endif

#endif
