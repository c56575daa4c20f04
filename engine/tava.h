/* tava.so: the output host on ALSA.
 *
 * Lists the ALSA output devices (the sound server's "default" among them), opens one, checks and sets DSD
 * rates, and runs an output thread that calls the program's procedure once per period for the joined stereo
 * pair and writes what it returns to the device. A rate goes bit-perfect in one of ALSA's DSD formats where
 * the device takes it, else as DSD over PCM on USB audio cards, else converted to PCM in the output thread
 * (always so on a device that converts or mixes). Whatever the procedure does not deliver, and every paused
 * period, is DSD silence.
 *
 * Every int result is 1 for success and 0 for failure; Tava_ASIO_ErrorGetCode then tells why, with the
 * codes of tavo.h. Texts are UTF-8; Tava_ASIO_SetUnicode is accepted and changes nothing. */
#ifndef TAVA_H
#define TAVA_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Called on the output thread with length bytes to fill; returns the bytes written. */
typedef uint32_t (*TavaProc)(int input, uint32_t channel, void *buffer, uint32_t length, void *user);

typedef struct {
    const char *name;   /* shown to the user, e.g. "USB DAC: USB Audio (hw:2,0)" */
    const char *driver; /* the ALSA PCM name, e.g. "hw:2,0" */
} TavaDeviceInfo;

#define TAVA_FORMAT_DSD_MSB 33u /* byte-interleaved DSD, oldest bit in the most significant bit */

#define TAVA_RESET_ENABLE 1u /* Tava_ASIO_ChannelReset flags */
#define TAVA_RESET_JOIN 2u
#define TAVA_RESET_PAUSE 4u

/* Tava_ASIO_Future selectors. */
#define TAVA_FUTURE_RATE_INFO 1u /* param: TavaRateInfo *; how the open device takes a DSD rate */
/* param: const double *, a gain in [0, 1]; fails (0) unless the output is on the PCM path */
#define TAVA_FUTURE_VOLUME 2u

#define TAVA_PATH_NONE 0u   /* the device cannot take the rate at all */
#define TAVA_PATH_NATIVE 1u /* one of ALSA's DSD formats, bit-perfect */
#define TAVA_PATH_DOP 2u    /* DSD over PCM, bit-perfect (USB audio cards only) */
#define TAVA_PATH_PCM 3u    /* converted to PCM in the output */

typedef struct {
    double rate;      /* in: a DSD rate */
    uint32_t path;    /* out: TAVA_PATH_* */
    uint32_t pcmRate; /* out, PCM path: the device's frame rate, e.g. 176400 */
    uint32_t pcmBits; /* out, PCM path: the significant bits of a sample, e.g. 24 */
} TavaRateInfo;

int Tava_ASIO_GetDeviceInfo(uint32_t device, TavaDeviceInfo *info);
int Tava_ASIO_Init(int device, uint32_t flags);
int Tava_ASIO_Free(void);
int Tava_ASIO_SetUnicode(int unicode);
int Tava_ASIO_SetDSD(int dsd);
int Tava_ASIO_CheckRate(double rate);
int Tava_ASIO_SetRate(double rate);
double Tava_ASIO_GetRate(void);
int Tava_ASIO_ChannelEnable(int input, uint32_t channel, TavaProc proc, void *user);
int Tava_ASIO_ChannelJoin(int input, uint32_t channel, int channel2);
int Tava_ASIO_ChannelSetFormat(int input, uint32_t channel, uint32_t format);
int Tava_ASIO_Start(uint32_t buflen, uint32_t threads);
int Tava_ASIO_Stop(void);
int Tava_ASIO_IsStarted(void);
int Tava_ASIO_ChannelPause(int input, uint32_t channel);
int Tava_ASIO_ChannelReset(int input, int channel, uint32_t flags);
int Tava_ASIO_ErrorGetCode(void);
uint32_t Tava_ASIO_GetVersion(void);
int Tava_ASIO_Future(uint32_t selector, void *param);

#ifdef __cplusplus
}
#endif

#endif
