// The dragged data as the window's rules see it: whether it is a file list
// (CF_HDROP) and its paths in the ANSI code page.
#pragma once
#include <windows.h>

#include <ole2.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "drag_data.h"

namespace zubeto::win32 {

// The paths of a DROPFILES block of `size` bytes, in the drag source's
// order, in the ANSI code page. The block comes from another program and is
// read only within its size: a list without its final terminator ends at
// the block's end. Wide paths are converted without any best-fit guess;
// nothing when one of them has a character the code page lacks (saved as
// a guess, it would name another file), or when the block is malformed.
std::optional<std::vector<std::string>> drop_file_paths(const void* block, std::size_t size);

// What the rules look at in a data object: the file list (when it offers
// CF_HDROP in global memory and its paths can be read) and whether the
// source lets the data be copied (from the effects it allows).
DragData drag_data_of(IDataObject* data, DWORD allowed_effects);

}  // namespace zubeto::win32
