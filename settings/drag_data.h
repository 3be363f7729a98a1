// What a view hands the core about a drag: the platform's data object cut
// down to what the rules look at.
#pragma once
#include <string>
#include <vector>

namespace zubeto {

struct DragData {
  // The data offers the file-list format (CF_HDROP; local file URLs in Qt).
  bool file_list = false;
  // Its collection: full paths, in the drag source's order, exact bytes in
  // the system's narrow code page.
  std::vector<std::string> paths;
  // The source lets the data be copied. A drop is only ever a copy, so a
  // drag that offers only to move is refused: no dropped file is moved or
  // deleted by the drop.
  bool copy_allowed = true;
};

// The drop effect a drag-over answers: none (refused) or copy (accepted).
enum DropEffect : int { kDropNone = 0, kDropCopy = 1 };

}  // namespace zubeto
