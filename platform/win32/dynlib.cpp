#include "platform/dynlib.h"

#include <windows.h>

#include <vector>

#include "platform/ansi_path.h"
#include "platform/pe_image.h"
#include "search_folders.h"

namespace platform {

// Windows loads a library by its own name; the system compares it without
// regard to case.
std::string library_file_name(const std::string& windows_name) { return windows_name; }

std::string program_dir() {
  std::vector<char> buf(MAX_PATH + 1);
  for (;;) {
    DWORD n = ::GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      // Cut at the last separator that is a character of its own: a folder
      // ending in ソ or 表 ends in the byte of a backslash.
      return ansi::folder_part(std::string_view(buf.data(), n));
    }
    buf.resize(buf.size() * 2);
  }
}

int pe_file_bits(const std::string& path) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  auto read_at = [h](LONG offset, unsigned char* buf, DWORD size) {
    DWORD got = 0;
    return ::SetFilePointer(h, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
           ::ReadFile(h, buf, size, &got, nullptr) && got == size;
  };
  int bits = 0;
  unsigned char dos[64], nt[6];
  if (read_at(0, dos, sizeof dos) && dos[0] == 'M' && dos[1] == 'Z') {
    // The DOS header names where the PE signature and the machine type lie.
    LONG at = static_cast<LONG>(dos[0x3C] | dos[0x3D] << 8 | dos[0x3E] << 16 | static_cast<unsigned>(dos[0x3F]) << 24);
    if (at > 0 && read_at(at, nt, sizeof nt) && nt[0] == 'P' && nt[1] == 'E' && nt[2] == 0 && nt[3] == 0) {
      unsigned machine = nt[4] | nt[5] << 8;
      if (machine == IMAGE_FILE_MACHINE_I386) bits = 32;
      if (machine == IMAGE_FILE_MACHINE_AMD64) bits = 64;
    }
  }
  ::CloseHandle(h);
  return bits;
}

int program_bits() { return sizeof(void*) == 8 ? 64 : 32; }

namespace {

// A name without an extension ("ZUBETO") stands for a ".dll" file, as the
// system's own loader takes it.
std::string library_file(const std::string& windows_name) {
  return windows_name.find('.') == std::string::npos ? windows_name + ".dll" : windows_name;
}

// The first file of that name in the search folders that this program can
// load; a library of the other bitness is passed over, as the system's own
// search passes over it, and the first such one is told in `foreign`.
std::string find_library(const std::string& file, ForeignLibrary* foreign) {
  for (const std::string& dir : search_folders()) {
    if (dir.empty()) continue;
    std::string full = ansi::join(dir, file);
    DWORD attrs = ::GetFileAttributesA(full.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY)) continue;
    int bits = pe_file_bits(full);
    if (bits != 0 && bits != program_bits()) {
      if (foreign && foreign->bits == 0) *foreign = {full, bits};
      continue;
    }
    return full;
  }
  return {};
}

}  // namespace

ForeignLibrary library_of_other_bitness(const std::string& windows_name) {
  ForeignLibrary foreign;
  if (windows_name.empty() || windows_name.find_first_of("\\/:") != std::string::npos) return foreign;
  find_library(library_file(windows_name), &foreign);
  return foreign;
}

// The library of that name from the first of the system's search folders
// that holds one of this program's bitness (the program's folder first),
// loaded by its full path.
LibHandle lib_load(const std::string& windows_name) {
  if (windows_name.empty() || windows_name.find('\0') != std::string::npos) return nullptr;
  if (windows_name.find_first_of("\\/:") != std::string::npos)
    return reinterpret_cast<LibHandle>(::LoadLibraryA(windows_name.c_str()));
  const std::string full = find_library(library_file(windows_name), nullptr);
  if (full.empty()) return nullptr;
  // Whatever that library needs in turn is looked up from its own folder.
  return reinterpret_cast<LibHandle>(::LoadLibraryExA(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

void* lib_symbol(LibHandle lib, const char* name) {
  if (!lib) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(lib), name));
}

void lib_free(LibHandle lib) {
  if (lib) ::FreeLibrary(static_cast<HMODULE>(lib));
}

}  // namespace platform
