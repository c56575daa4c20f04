/* tavo.so: the engine core.
 *
 * Initialisation, configuration, the stream table, data pulls, lengths, attributes and error codes.
 * Streams are created by add-ons (tavd.so registers DSD streams through tavo_stream.h); the core owns
 * the table, hands out handles and answers every call on a handle.
 *
 * Every int result is 1 for success and 0 for failure; Tavo_ErrorGetCode then tells why. The error
 * code is kept per thread, so a failure on the audio thread never masks one on the main thread. */
#ifndef TAVO_H
#define TAVO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t TavoHandle; /* stream handle, 0 = none */

/* Error codes shared by the three libraries. */
enum {
    TAVO_OK = 0,
    TAVO_ERROR_MEM = 1,         /* out of memory */
    TAVO_ERROR_FILEOPEN = 2,    /* the file cannot be opened or read */
    TAVO_ERROR_DRIVER = 3,      /* no free/valid output device (missing, or busy) */
    TAVO_ERROR_FORMAT = 6,      /* unsupported sample format */
    TAVO_ERROR_INIT = 8,        /* not initialised */
    TAVO_ERROR_START = 9,       /* already started / not started */
    TAVO_ERROR_ALREADY = 14,    /* already initialised */
    TAVO_ERROR_NOCHAN = 18,     /* no free channel */
    TAVO_ERROR_ILLPARAM = 20,   /* illegal parameter (also: unknown handle) */
    TAVO_ERROR_DEVICE = 23,     /* illegal device number */
    TAVO_ERROR_SPEAKER = 25,    /* illegal sample rate */
    TAVO_ERROR_NOTFILE = 27,    /* not a file stream */
    TAVO_ERROR_NOTAVAIL = 37,   /* requested data is not available */
    TAVO_ERROR_TIMEOUT = 40,    /* timeout */
    TAVO_ERROR_FILEFORM = 41,   /* unsupported or malformed file format */
    TAVO_ERROR_CODEC = 44,      /* codec not available (e.g. DST-compressed DSDIFF) */
    TAVO_ERROR_UNKNOWN = -1
};

/* Stream flags. */
#define TAVO_STREAM_DECODE 0x00200000u /* a decoding stream: data is pulled with Tavo_ChannelGetData */
#define TAVO_UNICODE 0x80000000u       /* accepted; file names are UTF-8 on this platform */
#define TAVO_DSD_RAW 0x00000200u       /* deliver raw DSD bytes (playback); without it the stream only probes */

/* Channel attributes. */
#define TAVO_ATTRIB_FREQ 1u          /* the stream's frequency: DSD rate / 32 */
#define TAVO_ATTRIB_DSDRATE 0x14001u /* the DSD rate in samples per second and channel */

#define TAVO_POS_BYTE 0u

int Tavo_Init(int device, uint32_t freq, uint32_t flags, void *window, const void *reserved);
int Tavo_Free(void);
int Tavo_SetDevice(uint32_t device);
uint32_t Tavo_SetConfig(uint32_t option, uint32_t value);
int Tavo_ErrorGetCode(void);
int32_t Tavo_ChannelGetData(TavoHandle h, void *buffer, uint32_t length); /* bytes, or -1 */
uint64_t Tavo_ChannelGetLength(TavoHandle h, uint32_t mode);              /* bytes, or (uint64_t)-1 */
double Tavo_ChannelBytes2Seconds(TavoHandle h, uint64_t bytes);            /* negative on failure */
int Tavo_ChannelGetAttribute(TavoHandle h, uint32_t attrib, float *value);
int Tavo_ChannelSetDevice(TavoHandle h, uint32_t device);
int Tavo_ChannelStop(TavoHandle h);
int Tavo_StreamFree(TavoHandle h);
uint64_t Tavo_ChannelGetPosition(TavoHandle h, uint32_t mode);
int Tavo_ChannelSetPosition(TavoHandle h, uint64_t pos, uint32_t mode);
uint64_t Tavo_StreamGetFilePosition(TavoHandle h, uint32_t mode);
int Tavo_ChannelUpdate(TavoHandle h, uint32_t length);
TavoHandle Tavo_StreamCreateFile(int mem, const void *file, uint64_t offset, uint64_t length, uint32_t flags);

#ifdef __cplusplus
}
#endif

#endif
