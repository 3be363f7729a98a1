// A view without a toolkit for the settings core's tests: it keeps what the
// core told it, as a window's controls would show it.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "settings_view.h"

namespace zubeto {

class RecordingView : public SettingsView {
 public:
  std::optional<int> type;  // the selected type button; none as laid out
  bool shutdown = false;
  std::string destination;
  std::vector<std::string> sources;
  bool destination_drops = false;
  std::string source_caption, destination_caption;
  bool topmost = false;
  int closed = 0;  // how often the window was closed

  void make_topmost() override { topmost = true; }
  void show_type(int t) override { type = t; }
  void show_shutdown(bool on) override { shutdown = on; }
  void show_destination(const std::string& path) override { destination = path; }
  void append_source(const std::string& path) override { sources.push_back(path); }
  void remove_source(std::size_t index) override {
    if (index < sources.size()) sources.erase(sources.begin() + static_cast<std::ptrdiff_t>(index));
  }
  void enable_destination_drops(bool on) override { destination_drops = on; }
  void show_frame_captions(const std::string& s, const std::string& d) override {
    source_caption = s;
    destination_caption = d;
  }
  void close_window() override { ++closed; }
};

}  // namespace zubeto
