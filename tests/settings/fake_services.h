// Scripted services for the settings window: files live in memory, message
// boxes answer from a queue, program starts are recorded and succeed or fail
// as told. Everything the window asked for is kept for the test to read.
#pragma once
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "services.h"

namespace zubeto {

struct MessageCall {
  std::string text, title;
  int style;
};

struct StartCall {
  std::string command_line;
  int window_style;
};

class FakeServices : public Services {
 public:
  // Files by bare name, as lines (written files get their lines here too).
  std::map<std::string, std::vector<std::string>> files;
  std::set<std::string> unreadable;  // present but cannot be opened
  std::set<std::string> read_only;   // deletion fails
  std::set<std::string> folders;
  std::set<std::string> unwritable;  // writing fails (read-only folder, full disk)
  std::set<std::string> share_roots; // share_check answers 1
  bool share_library = true;         // false: the share check cannot be loaded
  std::string program_folder_path = "/opt/zubeto";
  std::string editor = "xdg-open";   // the text editor's command
  // Runs while each message box is open, before it answers: a test looks
  // at the window as the user sees it then.
  std::function<void(const MessageCall&)> on_message;
  std::deque<int> answers;           // next message-box answers; OK (1) when empty
  bool start_succeeds = true;
  bool another_copy = false;

  std::vector<std::string> opened;   // every open_text, in order
  std::vector<std::string> deleted;  // every delete_file, in order
  std::vector<MessageCall> messages;
  std::vector<StartCall> starts;
  int instance_questions = 0;
  std::vector<std::string> share_questions;
  std::vector<std::vector<std::string>> write_calls;  // names of each write_text_files

  std::unique_ptr<TextReader> open_text(const std::string& name) override {
    opened.push_back(name);
    auto it = files.find(name);
    if (it == files.end() || unreadable.count(name)) return nullptr;
    struct Reader : TextReader {
      std::vector<std::string> lines;
      size_t next = 0;
      bool at_end() const override { return next >= lines.size(); }
      std::string read_line() override { return lines.at(next++); }
      void close() override {}
    };
    auto r = std::make_unique<Reader>();
    r->lines = it->second;
    return r;
  }

  bool write_text_files(const std::vector<TextFile>& to_write, std::string* failed) override {
    write_calls.push_back({});
    for (const TextFile& f : to_write) write_calls.back().push_back(f.name);
    // All or nothing, as the real service: an unwritable file fails the
    // whole call and no file changes.
    for (const TextFile& f : to_write)
      if (unwritable.count(f.name)) {
        if (failed) *failed = f.name;
        return false;
      }
    for (const TextFile& f : to_write) files[f.name] = f.lines;
    return true;
  }

  bool folder_exists(const std::string& path) override { return folders.count(path) > 0; }

  bool delete_file(const std::string& name) override {
    deleted.push_back(name);
    if (read_only.count(name) || !files.count(name)) return false;
    files.erase(name);
    return true;
  }

  int message_box(const std::string& text, const std::string& title, int style) override {
    messages.push_back({text, title, style});
    if (on_message) on_message(messages.back());
    if (answers.empty()) return kAnswerOk;
    int a = answers.front();
    answers.pop_front();
    return a;
  }

  bool start_program(const std::string& command_line, int window_style) override {
    starts.push_back({command_line, window_style});
    return start_succeeds;
  }

  bool previous_instance() override {
    ++instance_questions;
    return another_copy;
  }

  std::optional<int> share_check(const std::string& path) override {
    share_questions.push_back(path);
    if (!share_library) return std::nullopt;
    return share_roots.count(path) ? 1 : 0;
  }

  std::string program_folder() override { return program_folder_path; }

  std::string text_editor_command(const std::string& file) override { return editor + " " + file; }

  // ---- the controls below the first ones ----
  // Texts: in the system's code page as the real services give them (the
  // Japanese originals), or through this table when it has them.
  std::map<std::string, std::string> translations;
  std::string config_folder;                  // empty: not known
  std::string current = "/home/u/job";
  std::map<std::string, std::string> written;  // write_file: path -> bytes
  std::set<std::string> unwritable_paths;
  std::vector<std::string> removed;             // remove_file, in order
  // run_command: the argument lists in order; the answer for a command is
  // found by its words joined with spaces, else command_status.
  std::vector<std::vector<std::string>> commands;
  std::map<std::string, std::pair<int, std::string>> command_answers;
  int command_status = 0;
  std::vector<std::vector<std::string>> chosen_sources;  // choose_sources answers, in turn
  std::string chosen_archive;
  std::vector<std::string> archive_questions;          // folders choose_archive was asked in
  std::map<std::string, std::vector<std::string>> folder_listing;
  int tails_read = 0;

  std::string localized(std::string_view utf8) override {
    auto it = translations.find(std::string(utf8));
    return it == translations.end() ? Services::localized(utf8) : it->second;
  }
  // Not recorded in `opened`: the window's first reads stay as they were.
  std::optional<std::vector<std::string>> read_tail(const std::string& name, std::size_t) override {
    ++tails_read;
    auto it = files.find(name);
    if (it == files.end() || unreadable.count(name)) return std::nullopt;
    return it->second;
  }
  std::string user_config_folder() override { return config_folder; }
  std::string current_folder() override { return current; }
  bool write_file(const std::string& path, const std::string& bytes) override {
    if (unwritable_paths.count(path)) return false;
    written[path] = bytes;
    // What was written reads back as lines.
    std::vector<std::string> lines;
    std::string line;
    for (char c : bytes) {
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else {
        line += c;
      }
    }
    if (!line.empty()) lines.push_back(line);
    files[path] = lines;
    return true;
  }
  bool remove_file(const std::string& path) override {
    removed.push_back(path);
    written.erase(path);
    files.erase(path);
    return true;
  }
  int run_command(const std::vector<std::string>& argv, std::string* output) override {
    commands.push_back(argv);
    std::string joined;
    for (const std::string& a : argv) joined += (joined.empty() ? "" : " ") + a;
    auto it = command_answers.find(joined);
    if (it == command_answers.end()) return command_status;
    if (output) *output = it->second.second;
    return it->second.first;
  }
  std::vector<std::string> choose_sources() override {
    if (chosen_sources.empty()) return {};
    std::vector<std::string> out = chosen_sources.front();
    chosen_sources.erase(chosen_sources.begin());
    return out;
  }
  std::string choose_archive(const std::string& folder) override {
    archive_questions.push_back(folder);
    return chosen_archive;
  }
  std::vector<std::string> folder_files(const std::string& folder) override {
    auto it = folder_listing.find(folder);
    return it == folder_listing.end() ? std::vector<std::string>{} : it->second;
  }
};

}  // namespace zubeto
