#include "platform/files.h"

#include <windows.h>
#include <winioctl.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <memory>
#include "text/utf8.h"

namespace platform {

namespace {

// Paths and names in UTF-8 (set_utf8_names) instead of the ANSI code page.
std::atomic<bool> g_utf8_names{false};

bool utf8_mode() { return g_utf8_names.load(std::memory_order_relaxed); }

// The code page of the paths these services take and give.
UINT names_code_page() { return utf8_mode() ? CP_UTF8 : CP_ACP; }

// A path as the system's wide calls take it.
std::wstring wide(std::string_view s, UINT cp) {
  if (s.empty()) return std::wstring();
  const int n = static_cast<int>(s.size());
  int wlen = ::MultiByteToWideChar(cp, 0, s.data(), n, nullptr, 0);
  if (wlen <= 0) return std::wstring();
  std::wstring w(static_cast<size_t>(wlen), L'\0');
  ::MultiByteToWideChar(cp, 0, s.data(), n, w.data(), wlen);
  return w;
}
std::wstring wide(std::string_view s) { return wide(s, names_code_page()); }

// A wide text in the code page `cp`. False when a character cannot be
// spelled there exactly (the ANSI code page lacks it, or a lone surrogate
// has no UTF-8 form): such a name, spelled otherwise, would name nothing
// or something else. `out` then holds it with "?" in those places.
bool narrow(const wchar_t* w, size_t len, UINT cp, std::string& out) {
  out.clear();
  if (len == 0) return true;
  const int n = static_cast<int>(len);
  const bool utf8 = cp == CP_UTF8 || (cp == CP_ACP && ::GetACP() == CP_UTF8);
  if (utf8) cp = CP_UTF8;  // the flag below is taken only under this name
  BOOL lost = FALSE;
  // UTF-8 has every character: only a lone surrogate fails it. Any other
  // code page puts "?" where it lacks one, never a look-alike.
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL* lost_at = utf8 ? nullptr : &lost;
  int got = ::WideCharToMultiByte(cp, flags, w, n, nullptr, 0, nullptr, lost_at);
  if (got <= 0 && utf8) {
    // Lone surrogates: spelled with U+FFFD, and told.
    got = ::WideCharToMultiByte(cp, 0, w, n, nullptr, 0, nullptr, nullptr);
    if (got > 0) {
      out.resize(static_cast<size_t>(got));
      ::WideCharToMultiByte(cp, 0, w, n, out.data(), got, nullptr, nullptr);
    }
    return false;
  }
  if (got <= 0) return false;
  out.resize(static_cast<size_t>(got));
  ::WideCharToMultiByte(cp, flags, w, n, out.data(), got, nullptr, lost_at);
  return !lost;
}
bool narrow(const wchar_t* w, std::string& out) { return narrow(w, std::wcslen(w), names_code_page(), out); }

SysError from_code(DWORD e) {
  SysError err;
  err.code = static_cast<int>(e);
  switch (e) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
    case ERROR_DIRECTORY: err.kind = ErrorKind::Missing; break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: err.kind = ErrorKind::Exists; break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: err.kind = ErrorKind::Sharing; break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: err.kind = ErrorKind::NoSpace; break;
    case ERROR_FILE_TOO_LARGE:
    case 665:  // ERROR_FILE_SYSTEM_LIMITATION, not named by every SDK
      err.kind = ErrorKind::TooLarge;
      break;
    default: err.kind = ErrorKind::Other; break;
  }
  return err;
}

SysError last() { return from_code(::GetLastError()); }

HANDLE handle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// 100-ns ticks from 1601 to 1970.
constexpr int64_t kEpochTicks = 116444736000000000LL;

void take_time(FileFacts& f, const FILETIME& ft) {
  int64_t ticks = (static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  ticks -= kEpochTicks;
  int64_t sec = ticks / 10000000;
  int64_t rest = ticks % 10000000;
  if (rest < 0) {
    rest += 10000000;
    --sec;
  }
  f.mtime = sec;
  f.mtime_nsec = static_cast<long>(rest * 100);
}

// A reparse point that stands for another file or folder (symbolic link,
// junction) is a link; other reparse points (cloud placeholders, dedup)
// are the files they look like.
bool is_link(DWORD attributes, DWORD tag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(tag);
}


void take(FileFacts& f, DWORD attributes, DWORD tag, const FILETIME& mtime, uint64_t size) {
  if (is_link(attributes, tag)) f.kind = FileKind::Link;
  else if (attributes & FILE_ATTRIBUTE_DIRECTORY) f.kind = FileKind::Folder;
  else if (attributes & FILE_ATTRIBUTE_DEVICE) {
    f.kind = FileKind::Other;
    f.special = "a device";
  }
  else f.kind = FileKind::File;
  f.mode = f.kind == FileKind::Folder ? 0755 : 0644;
  if (attributes & FILE_ATTRIBUTE_READONLY) f.mode &= ~0222u;
  take_time(f, mtime);
  f.uid = f.gid = 0;
  f.size = f.kind == FileKind::File ? size : 0;
}

uint64_t join64(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

// The reparse tag of a path (0 when it is no reparse point or cannot be read).
DWORD reparse_tag(const std::string& path) {
  WIN32_FIND_DATAW d;
  HANDLE f = ::FindFirstFileW(wide(path).c_str(), &d);
  if (f == INVALID_HANDLE_VALUE) return 0;
  ::FindClose(f);
  return (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? d.dwReserved0 : 0;
}

// A lead byte of a double-byte character in the paths' code page (UTF-8
// has none: no byte of a multi-byte character is an ASCII one).
bool lead_byte(char c) { return !utf8_mode() && ::IsDBCSLeadByte(static_cast<BYTE>(c)) != 0; }

// Where each character starts: a separator test must never look at the
// second byte of a double-byte character.
template <typename Fn>
void each_char(std::string_view s, Fn fn) {
  for (size_t i = 0; i < s.size();) {
    size_t n = lead_byte(s[i]) && i + 1 < s.size() ? 2 : 1;
    fn(i, n);
    i += n;
  }
}

bool sep_char(char c) { return c == '\\' || c == '/'; }

// The identity of a path: FNV-1a of its full form, ASCII letters in upper
// case (the second byte of a double-byte character stays as it is).
void take_identity(FileFacts& f, const std::string& path) {
  std::string full = absolute_path(path);
  each_char(full, [&](size_t at, size_t n) {
    if (n == 1 && full[at] >= 'a' && full[at] <= 'z') full[at] = static_cast<char>(full[at] - 'a' + 'A');
  });
  uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : full) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  f.dev = 0;
  f.ino = h;
}

// A folder's identity is the system's own (volume and file index), so that
// a folder reached again through links it does not show as links is
// known; the path digest when the folder cannot be opened.
void take_folder_identity(FileFacts& f, const std::string& path) {
  HANDLE h = ::CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION info;
  if (h != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(h, &info)) {
    f.dev = info.dwVolumeSerialNumber | (uint64_t{1} << 32);  // never 0: told apart from digests
    f.ino = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  } else {
    take_identity(f, path);
  }
  if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
}


size_t char_len(std::string_view p, size_t i) { return lead_byte(p[i]) && i + 1 < p.size() ? 2 : 1; }

// From `at`, past the server's name and the share's name of a UNC path.
size_t unc_end(std::string_view p, size_t at) {
  size_t i = at;
  for (int part = 0; part < 2; ++part) {
    if (part > 0 && i < p.size()) ++i;  // the separator between them
    while (i < p.size() && !sep_char(p[i])) i += char_len(p, i);
  }
  return i;
}

// The length of the root of a path: "C:", "\\server\share", "\\?\C:",
// "\\?\UNC\server\share"; 0 for a path without one (a leading separator
// alone is dropped by path_parts as an empty part).
size_t root_length(std::string_view p) {
  auto drive = [&](size_t i) {
    return p.size() >= i + 2 && p[i + 1] == ':' && ((p[i] >= 'A' && p[i] <= 'Z') || (p[i] >= 'a' && p[i] <= 'z'));
  };
  if (p.size() >= 4 && sep_char(p[0]) && sep_char(p[1]) && (p[2] == '?' || p[2] == '.') && sep_char(p[3])) {
    if (p.size() >= 8 && (p.substr(4, 3) == "UNC" || p.substr(4, 3) == "unc") && sep_char(p[7])) return unc_end(p, 8);
    return drive(4) ? 6 : 4;
  }
  if (p.size() >= 2 && sep_char(p[0]) && sep_char(p[1])) return unc_end(p, 2);
  return drive(0) ? 2 : 0;
}

}  // namespace

std::string SysError::text() const {
  switch (code) {
    case 0: return "no progress";
    case ERROR_FILE_NOT_FOUND: return "file not found";
    case ERROR_PATH_NOT_FOUND: return "path not found";
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_SHARING_VIOLATION: return "held open by another program";
    case ERROR_LOCK_VIOLATION: return "locked by another program";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "disk full";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return "already exists";
    case ERROR_WRITE_PROTECT: return "write-protected";
    case ERROR_NO_UNICODE_TRANSLATION:
      return utf8_mode() ? "its name is no valid Unicode (a lone surrogate)"
                         : "its name has characters the ANSI code page lacks";
    default: return "system error " + std::to_string(code);
  }
}

bool path_facts(const std::string& path, bool follow_link, FileFacts& out, SysError& err) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!::GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &d)) {
    err = last();
    return false;
  }
  DWORD tag = 0;
  if (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    tag = reparse_tag(path);
    if (follow_link && is_link(d.dwFileAttributes, tag)) {
      // What the link names: its own facts through an open handle.
      HANDLE h = ::CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      if (h == INVALID_HANDLE_VALUE) {
        err = last();
        return false;
      }
      BY_HANDLE_FILE_INFORMATION info;
      BOOL ok = ::GetFileInformationByHandle(h, &info);
      if (!ok) err = last();
      ::CloseHandle(h);
      if (!ok) return false;
      take(out, info.dwFileAttributes & ~FILE_ATTRIBUTE_REPARSE_POINT, 0, info.ftLastWriteTime,
           join64(info.nFileSizeHigh, info.nFileSizeLow));
      if (out.kind == FileKind::Folder) take_folder_identity(out, path);
      else take_identity(out, path);
      return true;
    }
  }
  take(out, d.dwFileAttributes, tag, d.ftLastWriteTime, join64(d.nFileSizeHigh, d.nFileSizeLow));
  if (out.kind == FileKind::Folder) take_folder_identity(out, path);
  else take_identity(out, path);
  return true;
}

bool list_folder(const std::string& path, bool follow_link, std::vector<FolderChild>& out, SysError& err) {
  if (!follow_link) {
    // A folder swapped for a link since it was seen is not entered.
    FileFacts self;
    if (!path_facts(path, false, self, err)) return false;
    if (self.kind != FileKind::Folder) {
      err = from_code(ERROR_DIRECTORY);
      return false;
    }
  }
  std::string pattern = join_path(path, "*");
  WIN32_FIND_DATAW d;
  HANDLE f = ::FindFirstFileW(wide(pattern).c_str(), &d);
  if (f == INVALID_HANDLE_VALUE) {
    DWORD e = ::GetLastError();
    if (e == ERROR_FILE_NOT_FOUND) return true;  // no entries at all (a drive root may have none)
    err = from_code(e);
    return false;
  }
  do {
    if (std::wcscmp(d.cFileName, L".") == 0 || std::wcscmp(d.cFileName, L"..") == 0) continue;
    FolderChild c;
    if (!narrow(d.cFileName, c.name)) {
      // A name the paths' code page cannot spell (the ANSI one lacks a
      // character): opening it by another spelling would reach nothing, or
      // something else.
      c.err = from_code(ERROR_NO_UNICODE_TRANSLATION);
    } else {
      take(c.facts, d.dwFileAttributes, d.dwReserved0, d.ftLastWriteTime, join64(d.nFileSizeHigh, d.nFileSizeLow));
      if (c.facts.kind == FileKind::Folder) take_folder_identity(c.facts, join_path(path, c.name));
      else take_identity(c.facts, join_path(path, c.name));
    }
    out.push_back(std::move(c));
  } while (::FindNextFileW(f, &d));
  DWORD e = ::GetLastError();
  ::FindClose(f);
  if (e != ERROR_NO_MORE_FILES) {
    err = from_code(e);
    return false;
  }
  return true;
}

bool read_link(const std::string& path, std::string& target, SysError& err) {
  HANDLE h = ::CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    err = last();
    return false;
  }
  std::unique_ptr<char[]> buf(new char[MAXIMUM_REPARSE_DATA_BUFFER_SIZE]);
  DWORD got = 0;
  BOOL ok = ::DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, buf.get(), MAXIMUM_REPARSE_DATA_BUFFER_SIZE, &got,
                              nullptr);
  if (!ok) err = last();
  ::CloseHandle(h);
  if (!ok) return false;
  // The reparse data: tag, lengths, then the names in UTF-16.
  const auto* head = reinterpret_cast<const DWORD*>(buf.get());
  DWORD tag = head[0];
  const auto* lengths = reinterpret_cast<const USHORT*>(buf.get() + 8);
  USHORT print_off = lengths[2], print_len = lengths[3];
  USHORT sub_off = lengths[0], sub_len = lengths[1];
  size_t names_at = tag == IO_REPARSE_TAG_SYMLINK ? 20 : 16;  // symbolic links carry a flags field
  if (tag != IO_REPARSE_TAG_SYMLINK && tag != IO_REPARSE_TAG_MOUNT_POINT) {
    err = from_code(ERROR_NOT_A_REPARSE_POINT);
    return false;
  }
  USHORT off = print_len ? print_off : sub_off, len = print_len ? print_len : sub_len;
  if (names_at + off + len > got) {
    err = from_code(ERROR_INVALID_DATA);
    return false;
  }
  const wchar_t* w = reinterpret_cast<const wchar_t*>(buf.get() + names_at + off);
  // A target the code page cannot spell is kept with "?" in those places:
  // it is text the archive stores, never a path opened.
  std::string t;
  narrow(w, len / 2, names_code_page(), t);
  if (t.rfind("\\??\\", 0) == 0) t.erase(0, 4);
  each_char(t, [&](size_t at, size_t k) {
    if (k == 1 && t[at] == '\\') t[at] = '/';
  });
  target = std::move(t);
  return true;
}

// ----------------------------------------------------------- OpenFolder --

namespace {

// A folder held open for the walk: listing allowed, deletion (and so
// renaming it or any folder above it) refused to everyone while open.
HANDLE open_folder_handle(const std::string& path, bool follow_link) {
  return ::CreateFileW(wide(path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | (follow_link ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

// The reparse tag of an open handle (0 when it is no reparse point).
DWORD handle_tag(HANDLE h, DWORD attributes) {
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return 0;
  FILE_ATTRIBUTE_TAG_INFO ti;
  if (::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &ti, sizeof ti)) return ti.ReparseTag;
  return IO_REPARSE_TAG_SYMLINK;  // unknown: taken for a link, never followed
}

// The facts of an open folder handle; false when it is no folder (or a
// link where links are not followed).
bool folder_facts(HANDLE h, bool follow_link, FileFacts& facts, SysError& err) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info)) {
    err = last();
    return false;
  }
  DWORD tag = follow_link ? 0 : handle_tag(h, info.dwFileAttributes);
  take(facts, follow_link ? info.dwFileAttributes & ~FILE_ATTRIBUTE_REPARSE_POINT : info.dwFileAttributes, tag,
       info.ftLastWriteTime, 0);
  if (facts.kind != FileKind::Folder) {
    // A link or a file where the listing showed a folder: that folder is gone.
    err = from_code(ERROR_DIRECTORY);
    return false;
  }
  facts.dev = info.dwVolumeSerialNumber | (uint64_t{1} << 32);
  facts.ino = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

}  // namespace

namespace {

// A folder opened and its facts read from the handle; INVALID_HANDLE_VALUE
// with the reason otherwise.
HANDLE open_folder_with_facts(const std::string& path, bool follow, FileFacts& facts, SysError& err) {
  HANDLE h = open_folder_handle(path, follow);
  if (h == INVALID_HANDLE_VALUE) {
    err = last();
    return h;
  }
  if (!folder_facts(h, follow, facts, err)) {
    ::CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

}  // namespace

bool OpenFolder::open(const std::string& path, FileFacts& facts, SysError& err) {
  close();
  HANDLE h = open_folder_with_facts(path, true, facts, err);
  if (h == INVALID_HANDLE_VALUE) return false;
  h_ = reinterpret_cast<intptr_t>(h);
  path_ = path;
  return true;
}

bool OpenFolder::open_child(const OpenFolder& parent, const std::string& name, FileFacts& facts, SysError& err) {
  close();
  std::string path = join_path(parent.path_, name);
  HANDLE h = open_folder_with_facts(path, false, facts, err);
  if (h == INVALID_HANDLE_VALUE) return false;
  h_ = reinterpret_cast<intptr_t>(h);
  path_ = std::move(path);
  return true;
}

bool OpenFolder::list(std::vector<FolderChild>& out, SysError& err) const {
  // The folder and every folder above it are held open without sharing
  // deletion: its path names this very folder while it is open.
  return list_folder(path_, true, out, err);
}

bool OpenFolder::read_link(const std::string& name, std::string& target, SysError& err) const {
  return platform::read_link(join_path(path_, name), target, err);
}

void OpenFolder::close() {
  if (h_ != -1) ::CloseHandle(handle(h_));
  h_ = -1;
}

// ------------------------------------------------------------ InputFile --

bool InputFile::open(const std::string& path, bool follow_link, FileFacts& facts, SysError& err) {
  close();
  DWORD flags = FILE_FLAG_SEQUENTIAL_SCAN | (follow_link ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE h = ::CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    err = last();
    return false;
  }
  h_ = reinterpret_cast<intptr_t>(h);
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info)) {
    err = last();
    close();
    return false;
  }
  DWORD tag = 0;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    FILE_ATTRIBUTE_TAG_INFO ti;
    if (::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &ti, sizeof ti)) tag = ti.ReparseTag;
    if (follow_link) tag = 0;
  }
  take(facts, info.dwFileAttributes, tag, info.ftLastWriteTime, join64(info.nFileSizeHigh, info.nFileSizeLow));
  take_identity(facts, path);
  if (::GetFileType(h) != FILE_TYPE_DISK) {
    facts.kind = FileKind::Other;
    facts.special = "a device";
  }
  return true;
}

bool InputFile::open_child(const OpenFolder& folder, const std::string& name, FileFacts& facts, SysError& err) {
  close();
  const std::string path = join_path(folder.path_, name);
  HANDLE h = ::CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    err = last();
    return false;
  }
  h_ = reinterpret_cast<intptr_t>(h);
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info)) {
    err = last();
    close();
    return false;
  }
  DWORD tag = handle_tag(h, info.dwFileAttributes);
  take(facts, info.dwFileAttributes, tag, info.ftLastWriteTime, join64(info.nFileSizeHigh, info.nFileSizeLow));
  if (facts.kind == FileKind::Link) {
    // A link in the place of the file listed: never followed, and the file
    // the listing showed is gone.
    err = from_code(ERROR_FILE_NOT_FOUND);
    close();
    return false;
  }
  take_identity(facts, path);
  if (::GetFileType(h) != FILE_TYPE_DISK) {
    facts.kind = FileKind::Other;
    facts.special = "a device";
  }
  return true;
}

long long InputFile::read(void* buf, size_t cap, SysError& err) {
  DWORD want = cap > (1u << 30) ? (1u << 30) : static_cast<DWORD>(cap);
  DWORD got = 0;
  if (!::ReadFile(handle(h_), buf, want, &got, nullptr)) {
    err = last();
    return -1;
  }
  return got;
}

bool InputFile::seek(uint64_t offset, SysError& err) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  if (!::SetFilePointerEx(handle(h_), to, nullptr, FILE_BEGIN)) {
    err = last();
    return false;
  }
  return true;
}

// Windows keeps holes only in files marked sparse, which backups meet
// rarely: every file is read as one stretch of data.
bool InputFile::data_runs(uint64_t, std::vector<DataRun>& runs) {
  runs.clear();
  return false;
}

// Windows has no extended attributes of this kind.
bool InputFile::attributes(std::vector<ExtAttr>& out, SysError&) {
  out.clear();
  return true;
}

bool folder_attributes(const std::string&, uint64_t, uint64_t, std::vector<ExtAttr>& out, SysError&) {
  out.clear();
  return true;
}

void InputFile::close() {
  if (h_ != -1) ::CloseHandle(handle(h_));
  h_ = -1;
}

// -------------------------------------------------------------- NewFile --

bool NewFile::create(const std::string& path, SysError& err) {
  close();
  // DELETE access: the handle itself gives the file its name at the end
  // (NewFile::move_no_replace). Others are granted no deletion while it
  // is open.
  HANDLE h = ::CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    err = last();
    return false;
  }
  h_ = reinterpret_cast<intptr_t>(h);
  end_ = 0;
  return true;
}

// Every write names its offset; the handle's own position is never used.
bool NewFile::write_at(uint64_t offset, const void* data, size_t size, SysError& err) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    if (!::WriteFile(handle(h_), p, want, &done, &o)) {
      err = last();
      return false;
    }
    if (done == 0) {
      err = from_code(0);
      return false;
    }
    p += done;
    offset += done;
    size -= done;
  }
  return true;
}

bool NewFile::append(const void* data, size_t size, SysError& err) {
  if (!write_at(end_, data, size, err)) return false;
  end_ += size;
  return true;
}

bool NewFile::read_at(uint64_t offset, void* data, size_t size, SysError& err) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    if (!::ReadFile(handle(h_), p, want, &done, &o)) {
      err = last();
      return false;
    }
    if (done == 0) {
      err = from_code(ERROR_HANDLE_EOF);
      return false;
    }
    p += done;
    offset += done;
    size -= done;
  }
  return true;
}

bool NewFile::truncate(uint64_t length, SysError& err) {
  FILE_END_OF_FILE_INFO info;
  info.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  if (!::SetFileInformationByHandle(handle(h_), FileEndOfFileInfo, &info, sizeof info)) {
    err = last();
    return false;
  }
  end_ = length;
  return true;
}

void NewFile::start_writeback(uint64_t, uint64_t) {}

bool NewFile::flush_to_disk(SysError& err) {
  if (!::FlushFileBuffers(handle(h_))) {
    err = last();
    return false;
  }
  return true;
}

bool NewFile::move_no_replace(const std::string& from, const std::string& to, SysError& err) {
  // Renamed through the open handle, which shares no deletion, so no other
  // run's clean-up can delete the file between its last byte and its name.
  if (h_ == -1) return platform::move_no_replace(from, to, err);  // closed already: by name
  wchar_t full[MAX_PATH * 4];
  const DWORD n = ::GetFullPathNameW(wide(to).c_str(), MAX_PATH * 4, full, nullptr);
  if (n > 0 && n < MAX_PATH * 4) {
    const size_t bytes = sizeof(FILE_RENAME_INFO) + (static_cast<size_t>(n) + 1) * sizeof(WCHAR);
    std::unique_ptr<char[]> buf(new char[bytes]());
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buf.get());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    std::memcpy(info->FileName, full, (static_cast<size_t>(n) + 1) * sizeof(WCHAR));
    info->FileNameLength = static_cast<DWORD>(n * sizeof(WCHAR));
    if (::SetFileInformationByHandle(handle(h_), FileRenameInfo, info, static_cast<DWORD>(bytes))) return true;
    DWORD e = ::GetLastError();
    if (e != ERROR_INVALID_PARAMETER && e != ERROR_NOT_SUPPORTED && e != ERROR_INVALID_FUNCTION &&
        e != ERROR_CALL_NOT_IMPLEMENTED) {
      err = from_code(e);
      return false;
    }
  }
  // A file system that cannot rename by handle: closed, then moved by name.
  close();
  return platform::move_no_replace(from, to, err);
}

bool NewFile::make_read_only(SysError& err) {
  FILE_BASIC_INFO info{};
  if (!::GetFileInformationByHandleEx(handle(h_), FileBasicInfo, &info, sizeof info)) {
    err = last();
    return false;
  }
  info.FileAttributes |= FILE_ATTRIBUTE_READONLY;
  if (!::SetFileInformationByHandle(handle(h_), FileBasicInfo, &info, sizeof info)) {
    err = last();
    return false;
  }
  return true;
}

bool NewFile::close(SysError& err) {
  if (h_ == -1) return true;
  BOOL ok = ::CloseHandle(handle(h_));
  h_ = -1;
  if (!ok) {
    err = last();
    return false;
  }
  return true;
}

void NewFile::close() {
  if (h_ != -1) ::CloseHandle(handle(h_));
  h_ = -1;
}

bool move_no_replace(const std::string& from, const std::string& to, SysError& err) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
  if (::MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_WRITE_THROUGH)) return true;
  err = last();
  return false;
}

// A writer's handle shares no deletion: the delete fails while it writes.
bool remove_if_unheld(const std::string& path) { return ::DeleteFileW(wide(path).c_str()) != 0; }

bool remove_file(const std::string& path) { return ::DeleteFileW(wide(path).c_str()) != 0; }

void sync_folder(const std::string&) {}

// ----------------------------------------------------------- path rules --

bool is_separator_at(std::string_view path, size_t i) {
  bool found = false;
  each_char(path.substr(0, i + 1), [&](size_t at, size_t n) {
    if (at == i && n == 1 && sep_char(path[i])) found = true;
  });
  return found;
}

bool ends_with_separator(std::string_view path) { return !path.empty() && is_separator_at(path, path.size() - 1); }

char separator() { return '\\'; }

std::vector<std::string_view> path_parts(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t start = root_length(path);
  size_t from = start;
  std::string_view rest = path.substr(start);
  each_char(rest, [&](size_t at, size_t n) {
    size_t k = at + start;
    if (n == 1 && sep_char(path[k])) {
      if (k > from) parts.push_back(path.substr(from, k - from));
      from = k + 1;
    }
  });
  if (path.size() > from) parts.push_back(path.substr(from));
  return parts;
}

std::string folder_of(const std::string& path) {
  size_t root = root_length(path);
  size_t last = std::string::npos;
  each_char(std::string_view(path).substr(root), [&](size_t at, size_t n) {
    if (n == 1 && sep_char(path[at + root])) last = at + root;
  });
  if (last == std::string::npos) return root ? path.substr(0, root) : ".";
  if (last == root) return path.substr(0, root + 1);  // "C:\x" -> "C:\", "\x" -> "\"
  return path.substr(0, last);
}

std::string join_path(const std::string& folder, const std::string& child) {
  if (ends_with_separator(folder) || (folder.size() == 2 && folder[1] == ':')) return folder + child;
  return folder + "\\" + child;
}

std::string absolute_path(const std::string& path) {
  const std::wstring w = wide(path);
  DWORD n = ::GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  DWORD got = ::GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  if (got == 0 || got >= n) return path;
  std::string out;
  if (!narrow(full.data(), got, names_code_page(), out)) return path;
  return out;
}

size_t char_start(std::string_view text, size_t pos) {
  if (pos >= text.size()) return text.size();
  if (names_are_utf8()) {
    return zubeto::text::utf8_char_start(text, pos);
  }
  size_t start = 0;
  each_char(text.substr(0, pos + 1), [&](size_t at, size_t) { start = at; });
  return start;
}

bool names_are_utf8() { return utf8_mode() || ::GetACP() == CP_UTF8; }

std::string name_to_utf8(std::string_view name) {
  if (name.empty() || names_are_utf8()) return std::string(name);
  int n = static_cast<int>(name.size());
  int wlen = ::MultiByteToWideChar(CP_ACP, 0, name.data(), n, nullptr, 0);
  if (wlen <= 0) return std::string(name);
  std::wstring w(static_cast<size_t>(wlen), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, name.data(), n, w.data(), wlen);
  int out = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), wlen, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(out > 0 ? out : 0), '\0');
  if (out > 0) ::WideCharToMultiByte(CP_UTF8, 0, w.data(), wlen, s.data(), out, nullptr, nullptr);
  return s;
}

bool set_utf8_names(bool on) { return g_utf8_names.exchange(on); }

std::string from_ansi(std::string_view text) {
  if (!utf8_mode() || ::GetACP() == CP_UTF8) return std::string(text);
  const std::wstring w = wide(text, CP_ACP);
  std::string out;
  narrow(w.data(), w.size(), CP_UTF8, out);
  return out;
}

std::string to_ansi(std::string_view text) {
  if (!utf8_mode() || ::GetACP() == CP_UTF8) return std::string(text);
  const std::wstring w = wide(text, CP_UTF8);
  std::string out;
  narrow(w.data(), w.size(), CP_ACP, out);
  // A character the code page lacks is one "?" (a pair of surrogates too);
  // the ANSI form of any other is at most as long as its UTF-8 form.
  if (out.size() > text.size()) {
    size_t keep = 0;
    while (keep < out.size()) {
      const size_t n = ::IsDBCSLeadByte(static_cast<BYTE>(out[keep])) && keep + 1 < out.size() ? 2 : 1;
      if (keep + n > text.size()) break;
      keep += n;
    }
    out.resize(keep);
  }
  return out;
}

}  // namespace platform
