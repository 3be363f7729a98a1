#include "schedule.h"

#include <cstdio>

namespace zubeto::schedule {

namespace {
constexpr char kCalendarKey[] = "OnCalendar=*-*-* ";
}

std::string clock_text(Time t) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d:%02d", t.hour % 100, t.minute % 100);
  return buf;
}

std::string unit_value(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '%') out += '%';
    out += c;
  }
  return out;
}

std::string unit_command(const std::string& path) {
  // systemd refuses a program path holding a quote, a backslash or a control
  // character; such a path goes to env as its argument instead.
  bool plain = true;
  for (char c : path)
    if (c == '\\' || c == '"' || c == '\'' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) plain = false;
  std::string out = plain ? "\"" : "/usr/bin/env \"";
  for (char c : unit_value(path)) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::optional<std::string> service_text(const std::string& job_folder, const std::string& worker) {
  for (const std::string* p : {&job_folder, &worker})
    if (p->find_first_of("\r\n") != std::string::npos) return std::nullopt;
  return "# Made by the Zubeto settings window (ZUBETOB): the job of this folder, once.\n"
         "[Unit]\n"
         "Description=Zubeto backup of the job set in the window\n"
         "\n"
         "[Service]\n"
         "Type=oneshot\n"
         "WorkingDirectory=" +
         unit_value(job_folder) +
         "\n"
         "ExecStart=" +
         unit_command(worker) +
         "\n"
         "Nice=10\n";
}

std::string timer_text(Time t) {
  return "# Made by the Zubeto settings window (ZUBETOB): every day at " + clock_text(t) +
         ".\n"
         "[Unit]\n"
         "Description=Daily Zubeto backup at " +
         clock_text(t) +
         "\n"
         "\n"
         "[Timer]\n" +
         kCalendarKey + clock_text(t) +
         ":00\n"
         "Persistent=true\n"
         "Unit=" +
         kServiceUnit +
         "\n"
         "\n"
         "[Install]\n"
         "WantedBy=timers.target\n";
}

std::optional<Time> timer_time(const std::string& timer) {
  const std::string key = kCalendarKey;
  std::size_t at = timer.find("\n" + key);
  if (at == std::string::npos) return std::nullopt;
  at += 1 + key.size();
  if (timer.size() < at + 8) return std::nullopt;
  auto digit = [&](std::size_t i) { return timer[at + i] >= '0' && timer[at + i] <= '9'; };
  if (!digit(0) || !digit(1) || timer[at + 2] != ':' || !digit(3) || !digit(4)) return std::nullopt;
  Time t{(timer[at] - '0') * 10 + (timer[at + 1] - '0'), (timer[at + 3] - '0') * 10 + (timer[at + 4] - '0')};
  if (!valid(t)) return std::nullopt;
  return t;
}

namespace {

std::string xml_text(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else
      out += c;
  }
  return out;
}

}  // namespace

std::optional<std::string> task_xml(Time t, const std::string& job_folder, const std::string& worker) {
  for (const std::string* p : {&job_folder, &worker})
    if (p->find_first_of("\r\n") != std::string::npos) return std::nullopt;
  // The start day lies in the past: the first run is the next time of day
  // to come.
  return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
         "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
         "  <RegistrationInfo>\n"
         "    <Description>Made by the Zubeto settings window (ZUBETOB): the job of this folder, every day at " +
         clock_text(t) +
         ".</Description>\n"
         "  </RegistrationInfo>\n"
         "  <Triggers>\n"
         "    <CalendarTrigger>\n"
         "      <StartBoundary>2000-01-01T" +
         clock_text(t) +
         ":00</StartBoundary>\n"
         "      <Enabled>true</Enabled>\n"
         "      <ScheduleByDay>\n"
         "        <DaysInterval>1</DaysInterval>\n"
         "      </ScheduleByDay>\n"
         "    </CalendarTrigger>\n"
         "  </Triggers>\n"
         "  <Principals>\n"
         "    <Principal id=\"Author\">\n"
         "      <LogonType>InteractiveToken</LogonType>\n"
         "    </Principal>\n"
         "  </Principals>\n"
         "  <Settings>\n"
         "    <StartWhenAvailable>true</StartWhenAvailable>\n"
         "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\n"
         "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\n"
         "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\n"
         "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\n"
         "    <Enabled>true</Enabled>\n"
         "  </Settings>\n"
         "  <Actions Context=\"Author\">\n"
         "    <Exec>\n"
         "      <Command>" +
         xml_text(worker) +
         "</Command>\n"
         "      <WorkingDirectory>" +
         xml_text(job_folder) +
         "</WorkingDirectory>\n"
         "    </Exec>\n"
         "  </Actions>\n"
         "</Task>\n";
}

std::optional<Time> task_time(const std::string& xml) {
  const std::string key = "<StartBoundary>";
  std::size_t at = xml.find(key);
  if (at == std::string::npos) return std::nullopt;
  at = xml.find('T', at + key.size());
  if (at == std::string::npos || xml.size() < at + 6) return std::nullopt;
  ++at;
  auto digit = [&](std::size_t i) { return xml[at + i] >= '0' && xml[at + i] <= '9'; };
  if (!digit(0) || !digit(1) || xml[at + 2] != ':' || !digit(3) || !digit(4)) return std::nullopt;
  Time t{(xml[at] - '0') * 10 + (xml[at + 1] - '0'), (xml[at + 3] - '0') * 10 + (xml[at + 4] - '0')};
  if (!valid(t)) return std::nullopt;
  return t;
}

}  // namespace zubeto::schedule
