#include "platform/save_file.h"

#include <windows.h>

#include <algorithm>

namespace platform {

namespace {
HANDLE handle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

bool SaveFile::create(const std::string& path) {
  close();
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  h_ = reinterpret_cast<intptr_t>(h);
  return true;
}

bool SaveFile::write(const std::string& bytes) {
  if (h_ == -1) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD put = 0;
    if (!::WriteFile(handle(h_), bytes.data() + done, chunk, &put, nullptr) || put == 0) return false;
    done += put;
  }
  return true;
}

bool SaveFile::flush() { return h_ != -1 && ::FlushFileBuffers(handle(h_)); }

bool SaveFile::close() {
  if (h_ == -1) return true;
  BOOL ok = ::CloseHandle(handle(h_));
  h_ = -1;
  return ok != 0;
}

SaveTarget save_target(const std::string& name) {
  DWORD a = ::GetFileAttributesA(name.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) {
    DWORD e = ::GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? SaveTarget::Absent : SaveTarget::File;
  }
  // A folder of that name, or a read-only file, is not replaced: the
  // system's own text files refuse to overwrite either.
  if (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return SaveTarget::Refused;
  return SaveTarget::File;
}

bool replace_file(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool keep_copy(const std::string& from, const std::string& to) {
  if (::CreateHardLinkA(to.c_str(), from.c_str(), nullptr)) return true;
  return ::CopyFileA(from.c_str(), to.c_str(), TRUE) != 0;
}

void flush_folder_of(const std::string&) {}

bool remove_saved(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

}  // namespace platform
