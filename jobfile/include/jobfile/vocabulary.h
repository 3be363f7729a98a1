// The job files' vocabulary, shared by the worker that reads the job and the
// settings window that writes and restores it: the file names, the keys of
// the job settings file, the job types and their archive extensions, and the
// folder separator that both write. Texts are plain ASCII, the same bytes in
// every code page.
#pragma once
#include <cstddef>

namespace jobfile {

// Files, named without a folder: both programs use the current folder.
inline constexpr char kJobFile[] = "jobconf.ini";
inline constexpr char kResponseFile[] = "resp.tmp";
// The source value that points the archiver at the response file.
inline constexpr char kResponseRef[] = "@resp.tmp";
inline constexpr char kRunLogFile[] = "logdata.txt";

// Keys of the job settings file; each starts its line.
inline constexpr char kKeyMode[] = "[mode]=";
inline constexpr char kKeyArchive[] = "[archive]=";
inline constexpr char kKeyBaseDir[] = "[base_dir]=";
inline constexpr char kKeySource[] = "[dir_file]=";
inline constexpr char kKeyShutdown[] = "[shut_flg]=";
inline constexpr char kKeepKey[] = "[keep]=";
// The base-folder line the window writes for every type but TAR: the key
// without "=" and without a value. The worker reads it as no line at all,
// so no base folder reaches the archiver.
inline constexpr char kBareBaseDirLine[] = "[base_dir]";

// Length of a key, without its terminating zero.
template <std::size_t N>
constexpr std::size_t key_length(const char (&)[N]) {
  return N - 1;
}

// Job types: the digit after "[mode]=". The window offers LZH to TAR; the
// job file admits BGA too.
enum JobType : int { kTypeLzh = 0, kTypeZip = 1, kTypeCab = 2, kTypeTar = 3, kTypeBga = 4 };
inline constexpr int kWindowTypeCount = 4;  // LZH, ZIP, CAB, TAR
inline constexpr int kJobTypeCount = 5;     // ... and BGA

constexpr bool valid_job_type(int type) { return type >= 0 && type < kJobTypeCount; }

// The archive's extension for a job type; "" outside 0-4.
constexpr const char* archive_extension(int type) {
  constexpr const char* kExtensions[kJobTypeCount] = {".lzh", ".zip", ".cab", ".tar", ".bza"};
  return valid_job_type(type) ? kExtensions[type] : "";
}

// Up to this many sources stand in the job settings file itself; more go
// into the response file.
inline constexpr std::size_t kMaxInlineSources = 10;

// The folder separator as the job files write it, and the CAB suffix built
// from it that means "every file of this folder": "\*.*" on Windows, "/*.*"
// on POSIX.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr char kAllFilesSuffix[] = "\\*.*";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr char kAllFilesSuffix[] = "/*.*";
#endif

// The worker, as the settings window starts it from its own folder.
#ifdef _WIN32
inline constexpr char kWorkerProgram[] = "ZUBETOC.exe";
#else
inline constexpr char kWorkerProgram[] = "ZUBETOC";
#endif

}  // namespace jobfile
