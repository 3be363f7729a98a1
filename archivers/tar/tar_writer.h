// Our TAR writer: POSIX ustar headers, with a pax extended header only where
// ustar cannot hold a name, a link target, a size, an owner or a time;
// everything goes to the file in large writes. Target: tar_writer.
#pragma once

#include <memory>

#include "arc/driver.h"

namespace zubeto::tar {

std::unique_ptr<arc::EntryWriter> make_tar_writer();

}  // namespace zubeto::tar
