#include "drag_source_data.h"

#include <shlobj.h>

#include <cstring>

namespace zubeto::win32 {

namespace {

// A wide path in the ANSI code page, or nothing when a character has no
// exact counterpart there.
std::optional<std::string> to_ansi(const wchar_t* text, std::size_t length) {
  if (length == 0) return std::string();
  BOOL lossy = FALSE;
  const int n = static_cast<int>(length);
  int out = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, n, nullptr, 0, nullptr, &lossy);
  if (out <= 0 || lossy) return std::nullopt;
  std::string s(static_cast<std::size_t>(out), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, n, s.data(), out, nullptr, &lossy);
  if (lossy) return std::nullopt;
  return s;
}

}  // namespace

std::optional<std::vector<std::string>> drop_file_paths(const void* block, std::size_t size) {
  DROPFILES head;
  if (!block || size < sizeof head) return std::nullopt;
  std::memcpy(&head, block, sizeof head);
  const auto* bytes = static_cast<const unsigned char*>(block);
  std::size_t at = head.pFiles;
  if (at < sizeof head || at > size) return std::nullopt;

  std::vector<std::string> paths;
  if (head.fWide) {
    // Wide characters are copied out one by one: the list may sit at an odd
    // offset.
    const std::size_t count = (size - at) / sizeof(wchar_t);
    std::wstring all(count, L'\0');
    if (count) std::memcpy(all.data(), bytes + at, count * sizeof(wchar_t));
    std::size_t i = 0;
    while (i < count && all[i] != L'\0') {
      std::size_t end = all.find(L'\0', i);
      if (end == std::wstring::npos) end = count;
      std::optional<std::string> path = to_ansi(all.data() + i, end - i);
      if (!path) return std::nullopt;
      paths.push_back(std::move(*path));
      i = end + 1;
    }
  } else {
    // Bytes in the ANSI code page already: taken exactly as they are.
    std::size_t i = at;
    while (i < size && bytes[i] != 0) {
      const void* nul = std::memchr(bytes + i, 0, size - i);
      std::size_t end = nul ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - bytes) : size;
      paths.emplace_back(reinterpret_cast<const char*>(bytes + i), end - i);
      i = end + 1;
    }
  }
  return paths;
}

DragData drag_data_of(IDataObject* data, DWORD allowed_effects) {
  DragData d;
  d.copy_allowed = (allowed_effects & DROPEFFECT_COPY) != 0;
  if (!data) return d;
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  if (data->QueryGetData(&format) != S_OK) return d;
  STGMEDIUM medium{};
  if (data->GetData(&format, &medium) != S_OK) return d;
  if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
    if (const void* block = ::GlobalLock(medium.hGlobal)) {
      std::optional<std::vector<std::string>> paths = drop_file_paths(block, ::GlobalSize(medium.hGlobal));
      ::GlobalUnlock(medium.hGlobal);
      if (paths) {
        d.file_list = true;
        d.paths = std::move(*paths);
      }
    }
  }
  ::ReleaseStgMedium(&medium);
  return d;
}

}  // namespace zubeto::win32
