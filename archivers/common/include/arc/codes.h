/* Return codes of our archiver libraries, one per kind of failure.
 *
 * They start at 0x8000 so that they never meet the worker's own result
 * codes (0x0100 to 0x0701). Every non-zero return comes with an output
 * text whose first line says what went wrong.
 *
 * Two groups:
 *   0x80xx  no archive was written: nothing new is left in the destination,
 *           neither an archive nor a temporary file;
 *   0x801x  the archive WAS written and kept, but some source could not be
 *           stored (or not completely); the output text names each one.
 *           When several such problems occur, the code is that of the
 *           first one met (sources in command order).
 *
 * Plain C so that any writer, in C or C++, can use it. */
#ifndef ZUBETO_ARC_CODES_H
#define ZUBETO_ARC_CODES_H

#define ARC_OK 0

/* -- no archive written -------------------------------------------------- */
/* The command text is malformed: no archive path, unknown mode switch,
 * unknown extra switch, unclosed quote, no base directory, no sources. */
#define ARC_E_COMMAND 0x8001
/* A response file ("@file") cannot be opened or read. */
#define ARC_E_RESPONSE 0x8002
/* The destination folder does not exist, or is not a folder. */
#define ARC_E_DESTINATION 0x8003
/* A file or folder of the archive's name already exists; it is left as it
 * was (two runs within one second meet here). */
#define ARC_E_EXISTS 0x8004
/* The temporary file cannot be created in the destination folder
 * (no permission, read-only file system, ...). */
#define ARC_E_CREATE 0x8005
/* Writing or flushing the archive failed (disk full, file too large,
 * input/output error). */
#define ARC_E_WRITE 0x8006
/* The complete archive could not be moved to its name. */
#define ARC_E_COMMIT 0x8007
/* The archive format cannot hold the archive as a whole (more entries
 * than it counts, a table beyond its largest size) or failed internally.
 * A single entry it cannot hold (a file too large, a name too long) is no
 * such failure: it is left out and named (ARC_E_SOURCE_UNREADABLE). */
#define ARC_E_FORMAT 0x8008
/* Every source was missing, unreadable or left out: nothing to put in an
 * archive. */
#define ARC_E_NOTHING 0x8009
/* The run was stopped by a signal (SIGTERM, SIGINT, SIGHUP) before the
 * archive was complete; its temporary file is removed. */
#define ARC_E_STOPPED 0x800E
/* Out of memory or another unexpected internal failure. */
#define ARC_E_INTERNAL 0x800F

/* -- archive written and kept, some source not (completely) stored ------- */
/* A source named in the command (or its response file) does not exist. */
#define ARC_E_SOURCE_MISSING 0x8010
/* A file or folder could not be opened or read, or a file is one the
 * format cannot hold (too large, a name too long); it is not in the
 * archive (a folder that cannot be listed is stored empty). A file whose
 * read fails part way, or that ends early (it shrank while read), is left
 * out the same way: what was written of its entry is cut back, never
 * stored filled up with zero bytes. */
#define ARC_E_SOURCE_UNREADABLE 0x8011
/* A file grew while it was read: its entry holds exactly the bytes read,
 * as many as it had when it was opened, under a header that says so. */
#define ARC_E_SOURCE_CHANGED 0x8012

#endif
