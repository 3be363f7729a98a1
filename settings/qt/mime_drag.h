// A Qt drag's data as the settings core looks at it.
#pragma once
#include <Qt>

#include "drag_data.h"

class QMimeData;

namespace zubeto {

// The file list of the data (its local file URLs, as exact bytes, in the
// drag source's order) and whether the source lets it be copied. A URL that
// names no local file is not part of the list; data without any local path
// is no file list.
DragData drag_data(const QMimeData& data, Qt::DropActions offered);

}  // namespace zubeto
