/* ZUBETO: tells whether a path names the top folder of a network share
 * (\\server\share). Returns 1 for a share root, 0 otherwise. */
#ifndef ZUBETO_DIRCHECK_H
#define ZUBETO_DIRCHECK_H

#include <stdint.h>

#if defined(_WIN32)
#define ZUBETO_CALL __stdcall
#define ZUBETO_EXPORT_ATTR __declspec(dllexport)
#else
#define ZUBETO_CALL
#define ZUBETO_EXPORT_ATTR __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* path: zero-terminated text in the system's narrow code page; length: the
 * number of bytes to examine. The function never reads past the terminating
 * zero, whatever length says, and takes a negative length as zero. */
ZUBETO_EXPORT_ATTR int32_t ZUBETO_CALL dircheck_dll(const char* path, int32_t length);

typedef int32_t(ZUBETO_CALL* DircheckFn)(const char* path, int32_t length);

#ifdef __cplusplus
}
#endif

#endif
