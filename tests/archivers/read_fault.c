/* A read fault for the fault matrix, loaded with LD_PRELOAD into the
 * process that runs a library (arc_call): once ZUBETO_FAULT_AT bytes of
 * the file ZUBETO_FAULT_PATH (its full path as the system resolves it)
 * have been read, every further read of it fails with EIO
 * (ZUBETO_FAULT=eio), as on a failing disk, or finds the end of the file
 * (ZUBETO_FAULT=end), as when another program cut it short while it was
 * read. The point is fixed by the file's read position, not by timing.
 *
 * ZUBETO_FAULT=hold holds the run still at that point instead, once: the
 * read writes the file ZUBETO_HOLD_FILE and waits until ZUBETO_GO_FILE
 * exists, then reads on as usual. A test can so stop or kill a run that
 * is surely part way (its temporary made, its archive not complete),
 * however fast or slow the machine. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

static int is_victim(int fd) {
  const char* want = getenv("ZUBETO_FAULT_PATH");
  if (!want || !*want) return 0;
  char link[64], path[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t n = readlink(link, path, sizeof path - 1);
  if (n <= 0) return 0;
  path[n] = '\0';
  return strcmp(path, want) == 0;
}

/* How many of `count` bytes at `pos` may be read; -1 (errno set) or 0
 * when the fault point is reached. */
static int held;

/* Once, when the hold point is reached: says so and waits for the word. */
static void hold(void) {
  held = 1;
  const char* hold_file = getenv("ZUBETO_HOLD_FILE");
  const char* go_file = getenv("ZUBETO_GO_FILE");
  if (!hold_file || !go_file) return;
  FILE* f = fopen(hold_file, "w");
  if (f) fclose(f);
  /* A signal the test sends meanwhile only cuts one sleep short. */
  while (access(go_file, F_OK) != 0) {
    struct timespec ts = {0, 2 * 1000 * 1000};
    nanosleep(&ts, NULL);
  }
}

static ssize_t allowed(off_t pos, size_t count, int* fault) {
  const char* at_text = getenv("ZUBETO_FAULT_AT");
  const off_t at = at_text ? (off_t)strtoll(at_text, NULL, 10) : 0;
  const char* kind = getenv("ZUBETO_FAULT");
  const int holding = kind && strcmp(kind, "hold") == 0;
  *fault = 0;
  if (holding) {
    if (held) return (ssize_t)count;
    if (pos + (off_t)count <= at) return (ssize_t)count;
    if (pos < at) return (ssize_t)(at - pos);
    hold();
    return (ssize_t)count;
  }
  if (pos >= at) {
    *fault = 1;
    if (kind && strcmp(kind, "end") == 0) return 0;
    errno = EIO;
    return -1;
  }
  if ((off_t)count > at - pos) return (ssize_t)(at - pos);
  return (ssize_t)count;
}

ssize_t read(int fd, void* buf, size_t count) {
  static ssize_t (*real)(int, void*, size_t);
  if (!real) real = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
  if (is_victim(fd)) {
    int fault;
    ssize_t n = allowed(lseek(fd, 0, SEEK_CUR), count, &fault);
    if (fault) return n;
    count = (size_t)n;
  }
  return real(fd, buf, count);
}

ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
  static ssize_t (*real)(int, void*, size_t, off_t);
  if (!real) real = (ssize_t(*)(int, void*, size_t, off_t))dlsym(RTLD_NEXT, "pread");
  if (is_victim(fd)) {
    int fault;
    ssize_t n = allowed(offset, count, &fault);
    if (fault) return n;
    count = (size_t)n;
  }
  return real(fd, buf, count, offset);
}

ssize_t pread64(int fd, void* buf, size_t count, off_t offset) {
  static ssize_t (*real)(int, void*, size_t, off_t);
  if (!real) real = (ssize_t(*)(int, void*, size_t, off_t))dlsym(RTLD_NEXT, "pread64");
  if (is_victim(fd)) {
    int fault;
    ssize_t n = allowed(offset, count, &fault);
    if (fault) return n;
    count = (size_t)n;
  }
  return real(fd, buf, count, offset);
}
