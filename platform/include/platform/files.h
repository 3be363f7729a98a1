// File services of the archivers' shared core: the facts of a path, the
// listing of a folder, the text of a link, reading a file, writing a new
// file that gets its name only when complete, and the path rules of the
// system. One POSIX and one Win32 side; no system type crosses this header.
//
// Paths and names are bytes in the system's narrow code page: UTF-8 on
// POSIX, the ANSI code page on Windows (Shift-JIS on a Japanese system,
// where the second byte of a character may be a backslash).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// ------------------------------------------------------------ failures --

enum class ErrorKind {
  None,
  Missing,   // no such file or folder (or a part of the path is missing)
  Exists,    // something of that name is already there
  Sharing,   // held open by another program that allows no reading
  NoSpace,   // disk full or quota exceeded
  TooLarge,  // the file would pass the largest the disk or a limit allows (FAT32: 4 GiB; ulimit -f)
  Other,
};

// A failed system call: the system's own error code (errno, GetLastError)
// and what kind of failure it is.
struct SysError {
  ErrorKind kind = ErrorKind::None;
  int code = 0;
  bool failed() const { return kind != ErrorKind::None; }
  // A short reason in English, such as "disk full" or "access denied".
  std::string text() const;
};

// ------------------------------------------------------- facts and walk --

enum class FileKind { Folder, File, Link, Other };

struct FileFacts {
  FileKind kind = FileKind::Other;
  // Permission bits (07777). Windows has none: folders 0755, files 0644,
  // without the write bits when the read-only attribute is set.
  uint32_t mode = 0;
  int64_t mtime = 0;  // seconds since 1970, UTC
  long mtime_nsec = 0;
  uint32_t uid = 0, gid = 0;  // 0 on Windows
  uint64_t size = 0;          // files only
  // Identity, to tell the same file met twice: device and inode on POSIX;
  // on Windows the volume and file index for a folder, a digest of the
  // full path in upper case for anything else (hard links to one file
  // count as different files there).
  uint64_t dev = 0, ino = 0;
  // For FileKind::Other, what it is: "a named pipe", "a socket", ...
  const char* special = "no file or folder";
};

// The facts of a path. With follow_link a link is followed to what it
// names (a source the user named); without, a link is reported as a Link:
// a symbolic link on POSIX, a name-surrogate reparse point (symbolic link,
// junction) on Windows.
bool path_facts(const std::string& path, bool follow_link, FileFacts& out, SysError& err);

struct FolderChild {
  std::string name;
  FileFacts facts;  // never following a link
  SysError err;     // the facts could not be read (the child may have vanished)
};

// The children of a folder, without "." and "..", in the system's order.
// False with `err` when the folder cannot be listed at all; a listing that
// fails part way keeps the children read so far, returns false and sets
// `err` too. Without follow_link a folder path that is itself a link is
// refused, so a walk never leaves the tree through a link swapped in.
bool list_folder(const std::string& path, bool follow_link, std::vector<FolderChild>& out, SysError& err);

// The text a link points to ("/" as separator on every system).
bool read_link(const std::string& path, std::string& target, SysError& err);

// ------------------------------------------------------ folders by handle --

// An open folder. Its children are listed, opened and read relative to the
// open folder itself, never by a path looked up again: a folder renamed or
// swapped for a link after it was opened changes nothing that is read
// through it. (Windows has no opening relative to a handle: there the open
// folder is held without sharing deletion, so that neither it nor any
// folder above it can be renamed or replaced while it is open, and
// children are opened by path without following a reparse point.)
class OpenFolder {
 public:
  OpenFolder() = default;
  OpenFolder(const OpenFolder&) = delete;
  OpenFolder& operator=(const OpenFolder&) = delete;
  ~OpenFolder() { close(); }

  // A folder the user named: a link is followed to what it names. The
  // facts are those of the open folder.
  bool open(const std::string& path, FileFacts& facts, SysError& err);
  // The child folder `name` of `parent`, never through a link: a child that
  // is a link or no folder now fails with ErrorKind::Missing, as one that
  // is gone. The facts are those of the open folder.
  bool open_child(const OpenFolder& parent, const std::string& name, FileFacts& facts, SysError& err);
  // As list_folder(), of the open folder.
  bool list(std::vector<FolderChild>& out, SysError& err) const;
  // The text of the child link `name`.
  bool read_link(const std::string& name, std::string& target, SysError& err) const;
  bool is_open() const { return h_ != -1; }
  void close();

 private:
  friend class InputFile;
  intptr_t h_ = -1;
  std::string path_;
};

// -------------------------------------------------------------- reading --

// A stretch of a file that holds data, in a file with holes (stretches
// the system keeps no data for, read as zero bytes).
struct DataRun {
  uint64_t offset = 0;
  uint64_t length = 0;
};

// One extended attribute: its full name ("user.comment",
// "system.posix_acl_access") and its value bytes.
struct ExtAttr {
  std::string name;
  std::string value;
};

// A file open for reading; other programs may still read, write or delete
// it. A file another program holds open without sharing cannot be opened
// (ErrorKind::Sharing on Windows).
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() { close(); }

  // Opens a plain file. Without follow_link a link is refused. The facts
  // are those of the open file.
  bool open(const std::string& path, bool follow_link, FileFacts& facts, SysError& err);
  // Opens the child `name` of an open folder, never through a link: a
  // child that is a link now fails with ErrorKind::Missing, as one that is
  // gone. The facts are those of the open file (it may be no plain file).
  bool open_child(const OpenFolder& folder, const std::string& name, FileFacts& facts, SysError& err);
  // Bytes read into buf (at most cap); 0 at the end; -1 with `err` on failure.
  long long read(void* buf, size_t cap, SysError& err);
  // Moves the read position to `offset` from the file's start.
  bool seek(uint64_t offset, SysError& err);
  // True when the first `size` bytes of the open file have holes; `runs`
  // then gets the stretches that hold data, in order (none for a file
  // that is one hole). False when it has none or the system cannot tell
  // (always on Windows), and for a file that takes up on disk at least
  // its size (POSIX: its blocks), whose holes, if any, are too few to
  // count. The read position stays where it was.
  bool data_runs(uint64_t size, std::vector<DataRun>& runs);
  // The extended attributes of the open file (none on Windows). False
  // with `err` when they cannot be listed.
  bool attributes(std::vector<ExtAttr>& out, SysError& err);
  void close();

 private:
  intptr_t h_ = -1;
  // Bytes the file's blocks held when it was opened (POSIX), so that
  // data_runs() need not ask again for a file without holes (0: ask).
  uint64_t allocated_ = 0;
};

// The extended attributes of the folder at `path`, only when what the path
// opens is still the folder of identity `dev`/`ino` (as FileFacts give
// them); anything else gives none. None on Windows. False with `err` when
// it cannot be opened or listed.
bool folder_attributes(const std::string& path, uint64_t dev, uint64_t ino, std::vector<ExtAttr>& out,
                       SysError& err);

// -------------------------------------------------------------- writing --

// A file made new by create(): it never replaces anything. Written at
// explicit offsets or appended at the end of what was written so far.
class NewFile {
 public:
  NewFile() = default;
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;
  ~NewFile() { close(); }

  // Creates `path`, failing with ErrorKind::Exists when anything of that
  // name exists (or, on POSIX, when another run's clean-up took the name
  // away before it was locked); opened for reading and writing, shared
  // with nobody else for writing. While open it is marked as in use, so
  // that remove_if_unheld() leaves it alone (POSIX: an flock; Windows: the
  // handle shares no deletion).
  bool create(const std::string& path, SysError& err);
  bool is_open() const { return h_ != -1; }

  // Writes all bytes after the last byte appended so far.
  bool append(const void* data, size_t size, SysError& err);
  // Writes all bytes at `offset`; the append position does not move.
  bool write_at(uint64_t offset, const void* data, size_t size, SysError& err);
  // Reads exactly `size` bytes at `offset`.
  bool read_at(uint64_t offset, void* data, size_t size, SysError& err);
  // Cuts or extends the file to `length` bytes; appending goes on there.
  bool truncate(uint64_t length, SysError& err);
  // Starts the disk writes of a range without waiting (where the system can).
  void start_writeback(uint64_t offset, uint64_t length);
  // Waits until every byte is on the disk (fsync, FlushFileBuffers).
  bool flush_to_disk(SysError& err);
  // Gives the open file, now named `from`, the name `to` in the same folder,
  // never replacing anything (ErrorKind::Exists), while it stays open and
  // marked as in use: no other run's clean-up can take it between its last
  // byte and its name.
  bool move_no_replace(const std::string& from, const std::string& to, SysError& err);
  // Takes the write permission away (POSIX: mode 0400; Windows: the
  // read-only attribute), for a finished archive that has to stay under a
  // temporary's name: no clean-up removes a temporary that is read-only.
  bool make_read_only(SysError& err);
  // Closes; false when the system reports a late write failure.
  bool close(SysError& err);
  void close();

 private:
  intptr_t h_ = -1;
  uint64_t end_ = 0;
};

// Gives the complete file `from` the name `to`, never replacing anything:
// ErrorKind::Exists when something of that name exists. Both lie in one
// folder.
bool move_no_replace(const std::string& from, const std::string& to, SysError& err);

// Removes a file that no NewFile holds open, as left by a run that was
// killed; true when it was removed. The caller leaves read-only files alone
// (see NewFile::make_read_only).
bool remove_if_unheld(const std::string& path);

// Removes a file; false when it cannot be removed.
bool remove_file(const std::string& path);

// Makes a folder's list of names durable (a no-op where the system keeps
// it with the file).
void sync_folder(const std::string& folder);

// ----------------------------------------------------------- path rules --

// A separator at byte `i` of `path`: "/" on POSIX; "/" or "\" on Windows,
// where a byte that is the second half of a double-byte character is no
// separator.
bool is_separator_at(std::string_view path, size_t i);
// The path ends with a separator.
bool ends_with_separator(std::string_view path);
// The separator the system writes between a folder and a child.
char separator();

// Splits a path at its separators after its root: POSIX drops the leading
// "/", Windows a drive ("C:"), a UNC root ("\\server\share") and the
// "\\?\" prefix. Empty parts are dropped, "." and ".." kept.
std::vector<std::string_view> path_parts(std::string_view path);

// The folder part of a path: "/b/x.zip" -> "/b", "x.zip" -> ".", "/x" ->
// "/"; on Windows also "C:\x.zip" -> "C:\", "C:x.zip" -> "C:".
std::string folder_of(const std::string& path);

// The path with the system's separator and the child's name after it.
std::string join_path(const std::string& folder, const std::string& child);

// The path made absolute against the current folder (lexically; it may
// name nothing).
std::string absolute_path(const std::string& path);

// The start of the character at or before byte `pos` of a text in the
// system's narrow code page (UTF-8 on POSIX, the ANSI code page on
// Windows): cutting there never splits a character. `pos` may be the
// text's size.
size_t char_start(std::string_view text, size_t pos);

// Names in the system's narrow code page are UTF-8 (always on POSIX; on
// Windows when the ANSI code page is 65001, or while set_utf8_names(true)
// holds).
bool names_are_utf8();

// A name in the narrow code page as UTF-8 (unchanged where names_are_utf8()).
std::string name_to_utf8(std::string_view name);

// ------------------------------------------------ names beyond the code page --

// Windows: while on, every path and name these services take and give is
// UTF-8, and reaches the system through its wide calls, so that a walk
// meets, opens and names every file the system holds, also one whose name
// the ANSI code page cannot spell ("é.txt" under code page 932). Off (the
// start): the ANSI code page, as everywhere else in the system. POSIX:
// names are UTF-8 already; nothing changes. Returns the setting before.
// Set it before any thread of the run starts, and back when it ends.
bool set_utf8_names(bool on);

// Text in the ANSI code page (a command text, a line of a list of sources)
// as these services take it now: UTF-8 while set_utf8_names(true) holds on
// Windows, unchanged otherwise.
std::string from_ansi(std::string_view text);

// Text as these services give it now, in the ANSI code page, for a caller
// that reads that code page: a character it cannot spell becomes "?" (no
// look-alike is put in its place). Never longer than `text`. Unchanged
// where nothing was converted.
std::string to_ansi(std::string_view text);

}  // namespace platform
