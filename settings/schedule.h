// The daily run set from the window, as systemd user units: the text of the
// timer and its service, and reading the time back from a timer's text.
// Plain functions; the core writes the files and starts systemctl through
// Services.
#pragma once
#include <optional>
#include <string>
#include <utility>

namespace zubeto::schedule {

// The units' names, in the user's unit folder (<config>/systemd/user).
inline constexpr char kTimerUnit[] = "zubeto-window.timer";
inline constexpr char kServiceUnit[] = "zubeto-window.service";

struct Time {
  int hour = 0, minute = 0;
  bool operator==(const Time&) const = default;
};

constexpr bool valid(Time t) { return t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60; }

// "HH:MM", two digits each.
std::string clock_text(Time t);

// The service that runs the worker in the job's folder, and the timer that
// starts it every day at that time (a day missed while the machine was off
// runs at the next start). Nothing when a path cannot stand in a unit file
// (a line break in it).
std::optional<std::string> service_text(const std::string& job_folder, const std::string& worker);
std::string timer_text(Time t);

// The time a timer of ours starts at; nothing for any other text.
std::optional<Time> timer_time(const std::string& timer);

// A path as a unit file's value: "%" doubled (systemd's specifiers), and
// for a command line in double quotes with "\" and '"' escaped; a program
// path that systemd would refuse (a quote, a backslash) is started through
// /usr/bin/env.
std::string unit_value(const std::string& path);
std::string unit_command(const std::string& path);

// ---- The same daily run as a Task Scheduler task (Windows) ----

// The task's name, in the scheduler's top folder: one per user, as the
// units are.
inline constexpr char kTaskName[] = "Zubeto daily backup";

// The task's definition: every day at that time (a day missed while the
// machine was off runs as soon as it can), the worker started in the job's
// folder, as the user who set it, only while logged on. The paths are bytes
// in the system's narrow code page, given here as XML text. Nothing when a
// path cannot stand in it (a line break).
std::optional<std::string> task_xml(Time t, const std::string& job_folder, const std::string& worker);

// The time a task starts at, read from its definition's first calendar
// trigger ("<StartBoundary>YYYY-MM-DDThh:mm"); nothing when it has none.
std::optional<Time> task_time(const std::string& xml);

}  // namespace zubeto::schedule
