/* The two calls every archiver library offers, and that the worker makes.
 *
 *   version function:  uint16_t NameGetVersion(void)   -> version x 100
 *   command function:  int Name(window, command text, output, output size)
 *
 * The command function performs the whole archiver command given as text,
 * writes its output text into the buffer using at most `size` bytes, and
 * returns 0 on success or a non-zero error code. On Windows both use the
 * WINAPI (stdcall) convention. */
#ifndef ZUBETO_ARCHIVER_API_H
#define ZUBETO_ARCHIVER_API_H

#include <stdint.h>

#if defined(_WIN32)
#define ARC_CALL __stdcall
#define ARC_EXPORT_ATTR __declspec(dllexport)
#else
#define ARC_CALL
#define ARC_EXPORT_ATTR __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define ARC_EXPORT extern "C" ARC_EXPORT_ATTR
#else
#define ARC_EXPORT ARC_EXPORT_ATTR
#endif

typedef uint16_t(ARC_CALL* ArcVersionFn)(void);
typedef int(ARC_CALL* ArcCommandFn)(void* window, const char* command, char* output, uint32_t size);

#endif
