// The one window of the settings program, ZBTB, in Qt: its controls, laid
// out in twips as the system draws them, and the wiring of their events to
// the settings core, which holds the job and every handler's rule. This
// class only makes the controls, turns their events into core calls and
// sets them as the core tells it (SettingsView).
//
// Members are named by role; each control carries the system's name as its
// object name ("Command2", "List1"; "Option1_0" .. "Option1_3" for the
// option group, which also carry the property "index").
#pragma once
#include <QWidget>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "destination_box.h"
#include "narrow_text.h"
#include "frame_box.h"
#include "services.h"
#include "settings_core.h"
#include "settings_view.h"
#include "source_list.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLocale;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimeEdit;
class QTimer;

namespace zubeto {

// Twips to pixels (15 twips a pixel), to the nearest pixel.
constexpr int twips(int t) { return (t + 7) / 15; }

class ZBTB : public QWidget, private SettingsView {
 public:
  // The window uses the services for every file, dialog and program start.
  explicit ZBTB(Services& services, QWidget* parent = nullptr);

  // The start-up sequence. False when another copy of the program runs:
  // then this copy must end without showing the window.
  bool load() { return core_.load(); }

  SettingsCore& core() { return core_; }

  // The core's state, for readers of the window.
  int16_t changed() const { return core_.changed(); }
  void set_changed(int16_t value) { core_.set_changed(value); }
  int selected_type() const;  // index of the selected type button, -1 when none
  const std::vector<std::string>& sources() const { return core_.sources(); }
  const std::string& destination() const { return core_.destination(); }
  int shutdown() const { return core_.shutdown() ? 1 : 0; }

  // Program-made changes, through the core.
  void select_type(int index) { core_.select_type(index); }
  void add_source(const std::string& path) { core_.add_source(path); }
  void set_destination(const std::string& path) { core_.set_destination(path); }

  QPushButton* delete_button;    // Command1
  QPushButton* save_button;      // Command2
  QPushButton* clear_button;     // Command3
  QPushButton* exit_button;      // Command4
  QPushButton* show_log_button;  // Command5
  QPushButton* delete_log_button;  // Command6
  QPushButton* run_now_button;   // Command8
  std::array<QRadioButton*, 4> type_buttons;  // Option1(0..3)
  QCheckBox* shutdown_box;       // Check1
  QLabel* shutdown_label;        // Label1
  SourceList* source_list;       // List1
  DestinationBox* destination_box;  // Text1
  QComboBox* scratch_combo;      // Combo1: laid out and hidden; the core keeps the scratch list
  FrameBox* type_frame;          // Frame1
  FrameBox* source_frame;        // Frame2
  FrameBox* destination_frame;   // Frame3

  // Below the first controls, from the core's table (settings/window_layout.h).
  QLabel* keep_label;            // KeepLabel
  QSpinBox* keep_count;          // KeepCount
  QCheckBox* schedule_box;       // ScheduleCheck
  QTimeEdit* schedule_time;      // ScheduleTime
  QLabel* schedule_next;         // ScheduleNext
  QPushButton* add_button;       // AddButton
  QPushButton* verify_button;    // VerifyButton
  QLabel* status_line;           // StatusLine
  // Follows a started run until its end line is in the run log.
  QTimer* run_poll;

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void build();
  void build_new_controls(const QFont& face);
  void wire();
  void follow_run();

  // SettingsView
  void make_topmost() override;
  void show_type(int type) override;
  void show_shutdown(bool on) override;
  void show_destination(const std::string& path) override;
  void append_source(const std::string& path) override;
  void remove_source(std::size_t index) override;
  void enable_destination_drops(bool on) override;
  void show_frame_captions(const std::string& sources, const std::string& destination) override;
  void close_window() override;
  void show_keep(int count) override;
  void show_status(const std::string& text) override;
  void show_schedule(bool on, int hour, int minute) override;
  void show_next_run(const std::string& text) override;

  SettingsCore core_;
  // True while the core sets a control: its change signal is then no click.
  bool showing_ = false;
};

// Makes the face the window's captions are set in, "ＭＳ ゴシック", resolve
// to the Japanese gothic font that Debian ships. Idempotent.
void install_font_substitutes();

// A caption of the window, given as its Japanese original (UTF-8), in the
// language of the translation installed (context "ZBTB").
QString caption_text(const char* utf8);
// A text of the settings core in the installed language and the system's
// narrow code page (context "zubeto"); what SystemServices::localized gives.
std::string core_text(std::string_view utf8);

// Under any locale but a Japanese one, installs the English translation of
// every caption and message; under a Japanese one the window keeps its
// Japanese texts. True when the translation was installed. Call once the
// application exists, before the window is made.
bool install_translation(const QLocale& locale);

}  // namespace zubeto
