// Scripted services for the settings window: files live in memory, message
// boxes answer from a queue, program starts are recorded and succeed or fail
// as told. Everything the window asked for is kept for the test to read.
#pragma once
#include <deque>
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
  std::deque<int> answers;           // next message-box answers; OK (1) when empty
  bool start_succeeds = true;
  bool another_copy = false;

  std::vector<std::string> opened;   // every open_text, in order
  std::vector<std::string> deleted;  // every delete_file, in order
  std::vector<MessageCall> messages;
  std::vector<StartCall> starts;
  int instance_questions = 0;
  std::vector<std::string> share_questions;

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

  std::unique_ptr<TextWriter> create_text(const std::string& name) override {
    struct Writer : TextWriter {
      std::vector<std::string>* target;
      bool write_line(const std::string& text) override {
        target->push_back(text);
        return true;
      }
      bool close() override { return true; }
    };
    auto w = std::make_unique<Writer>();
    files[name].clear();
    w->target = &files[name];
    return w;
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
    return 0;
  }
};

}  // namespace zubeto
