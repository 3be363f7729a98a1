// Names and texts that the settings window shares with the worker: the job
// files, the run log, the keys of the job settings file, and the suffix that
// marks "every file of this folder" in a CAB source.
#pragma once

namespace zubeto {

inline constexpr const char* kJobFile = "jobconf.ini";
inline constexpr const char* kResponseFile = "resp.tmp";
inline constexpr const char* kResponseRef = "@resp.tmp";
inline constexpr const char* kRunLog = "logdata.txt";

inline constexpr const char* kKeyMode = "[mode]=";
inline constexpr const char* kKeyArchive = "[archive]=";
inline constexpr const char* kKeyBaseDir = "[base_dir]";
inline constexpr const char* kKeySource = "[dir_file]=";
inline constexpr const char* kKeyShutdown = "[shut_flg]=";

// The worker, started from the settings program's own folder.
#ifdef _WIN32
inline constexpr const char* kWorkerProgram = "ZUBETOC.exe";
#else
inline constexpr const char* kWorkerProgram = "ZUBETOC";
#endif

// The folder separator as the job files write it, and the CAB folder suffix
// built from it: "\*.*" on Windows, "/*.*" on POSIX.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr const char* kAllFilesSuffix = "\\*.*";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr const char* kAllFilesSuffix = "/*.*";
#endif

}  // namespace zubeto
