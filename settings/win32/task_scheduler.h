// The daily run as a task of the Task Scheduler, through its COM interface
// (ITaskService): registered from its XML definition in the top folder, as
// the user logged on, read back and deleted by name. Texts and paths are
// in the ANSI code page; the scheduler's are wide.
#pragma once
#include <optional>
#include <string>

namespace zubeto::win32::tasks {

bool register_task(const std::string& name, const std::string& xml, std::string* error);
bool delete_task(const std::string& name, std::string* error);
// The definition and the next run time ("YYYY-MM-DD hh:mm", local time;
// empty when the scheduler does not tell); nothing when there is no task.
std::optional<std::string> read_task(const std::string& name, std::string* next_run);

}  // namespace zubeto::win32::tasks
