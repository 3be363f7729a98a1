// The folders where the system looks for a library or a program named
// without a folder, less the current folder (Win32 only, internal).
#pragma once
#include <string>
#include <vector>

namespace platform {

// The running program's folder, the system folder, the Windows folder and
// the absolute folders of PATH, in this order. Never the current folder:
// the job files lie there, often in a folder any user may write to, and a
// library or program planted beside them must never run in place of the
// one asked for.
std::vector<std::string> search_folders();

// The first file of that name in the search folders; "" when none holds it.
std::string find_in_search_folders(const std::string& name);

}  // namespace platform
