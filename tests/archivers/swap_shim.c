/* A seam for the fault matrix: loaded into arc_call (LD_PRELOAD), it swaps
 * a path for a link (or for another file, or removes it) at one fixed
 * point of the run:
 * the first time the library opens anything whose last name part is
 * $ZUBETO_SWAP_WHEN -- after the folder holding it was listed, before the
 * library gets a handle to it. No timing is involved.
 *
 *   ZUBETO_SWAP_WHEN  the name part whose first opening starts the swap
 *   ZUBETO_SWAP_PATH  what is swapped: renamed to PATH + ".moved"
 *   ZUBETO_SWAP_TO    link: a symbolic link to this is put at PATH;
 *                     file: this file is renamed to PATH
 *   ZUBETO_SWAP_AS    "link", "file", or "remove" (PATH is only removed)
 *   ZUBETO_SWAP_NTH   the swap starts at this opening of the name, not the
 *                     first (a run that walks twice opens a folder twice)
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

static int done;
static int seen;

static void maybe_swap(const char* path) {
  const char* when = getenv("ZUBETO_SWAP_WHEN");
  if (done || !when || !path) return;
  const char* leaf = strrchr(path, '/');
  leaf = leaf ? leaf + 1 : path;
  if (strcmp(leaf, when) != 0) return;
  const char* nth = getenv("ZUBETO_SWAP_NTH");
  if (++seen < (nth ? atoi(nth) : 1)) return;
  done = 1;
  const char* from = getenv("ZUBETO_SWAP_PATH");
  const char* to = getenv("ZUBETO_SWAP_TO");
  const char* as = getenv("ZUBETO_SWAP_AS");
  if (!from || !to || !as) return;
  char moved[4096];
  snprintf(moved, sizeof moved, "%s.moved", from);
  if (rename(from, moved) != 0) {
    perror("swap_shim: rename");
    return;
  }
  if (strcmp(as, "remove") == 0) {
    if (unlink(moved) != 0) perror("swap_shim: unlink");
  } else if (strcmp(as, "link") == 0) {
    if (symlink(to, from) != 0) perror("swap_shim: symlink");
  } else if (rename(to, from) != 0) {
    perror("swap_shim: rename to");
  }
}

static mode_t mode_of(int flags, va_list ap) { return (flags & (O_CREAT | O_TMPFILE)) ? va_arg(ap, mode_t) : 0; }

#define NEXT(name, type) static type real = 0; if (!real) real = (type)dlsym(RTLD_NEXT, name)

typedef int (*open_fn)(const char*, int, ...);
typedef int (*openat_fn)(int, const char*, int, ...);
typedef int (*open2_fn)(const char*, int);
typedef int (*openat2_fn)(int, const char*, int);

int open(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t m = mode_of(flags, ap);
  va_end(ap);
  maybe_swap(path);
  NEXT("open", open_fn);
  return real(path, flags, m);
}

int open64(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t m = mode_of(flags, ap);
  va_end(ap);
  maybe_swap(path);
  NEXT("open64", open_fn);
  return real(path, flags, m);
}

int openat(int dir, const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t m = mode_of(flags, ap);
  va_end(ap);
  maybe_swap(path);
  NEXT("openat", openat_fn);
  return real(dir, path, flags, m);
}

int openat64(int dir, const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t m = mode_of(flags, ap);
  va_end(ap);
  maybe_swap(path);
  NEXT("openat64", openat_fn);
  return real(dir, path, flags, m);
}

int __open_2(const char* path, int flags) {
  maybe_swap(path);
  NEXT("__open_2", open2_fn);
  return real(path, flags);
}

int __open64_2(const char* path, int flags) {
  maybe_swap(path);
  NEXT("__open64_2", open2_fn);
  return real(path, flags);
}

int __openat_2(int dir, const char* path, int flags) {
  maybe_swap(path);
  NEXT("__openat_2", openat2_fn);
  return real(dir, path, flags);
}

int __openat64_2(int dir, const char* path, int flags) {
  maybe_swap(path);
  NEXT("__openat64_2", openat2_fn);
  return real(dir, path, flags);
}
