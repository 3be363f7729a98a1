#include "view_conformance.h"

#include <functional>
#include <optional>
#include <sstream>

#include "../fake_services.h"
#include "../recording_view.h"
#include "jobfile/vocabulary.h"
#include "settings_core.h"

namespace zubeto::conformance {

namespace {

std::string joined(const std::vector<std::string>& lines) {
  std::string out = "[";
  for (size_t i = 0; i < lines.size(); ++i) out += (i ? " | " : "") + lines[i];
  return out + "]";
}

// The bare core, told the same actions as the view.
class Reference {
 public:
  // The scripted services answer every box OK, which a Yes/No question
  // takes as No, as the driver answers it.
  FakeServices& services() { return services_; }
  SettingsCore& core() { return core_; }
  RecordingView& view() { return view_; }

  Shown shown() const {
    return Shown{view_.sources, view_.destination, view_.type.value_or(-1), view_.shutdown};
  }

 private:
  FakeServices services_;
  RecordingView view_;
  SettingsCore core_{services_, view_};
};

class Scenario {
 public:
  explicit Scenario(ViewDriver& view) : view_(view) {}

  std::vector<std::string> run() {
    const std::string sep(1, jobfile::kPathSeparator);
    const std::string data = view_.make_folder("data");
    const std::string more = view_.make_folder("more");
    const std::string backup = view_.make_folder("backup");
    const std::string gone = view_.missing_path("gone");
    ref_.services().folders = {data, more, backup};

    const std::vector<std::string> job = {std::string(jobfile::kKeyMode) + "2",
                                          std::string(jobfile::kKeyArchive) + "\"" + backup + sep,
                                          jobfile::kBareBaseDirLine,
                                          std::string(jobfile::kKeySource) + "\"" + data + "\"",
                                          std::string(jobfile::kKeyShutdown) + "1"};
    view_.put_job_file(job);
    ref_.services().files[jobfile::kJobFile] = job;
    const bool opened = view_.start();
    const bool ref_opened = ref_.core().load();
    if (opened != ref_opened) return {"start-up: the view opened " + std::to_string(opened) + ", the core " +
                                      std::to_string(ref_opened)};
    compare("start-up");

    const int effect = view_.drag_over_sources({more});
    const int ref_effect = ref_.core().source_drag_over(DragData{true, {more}, true});
    if (effect != ref_effect)
      differ("drag over the source list: effect " + std::to_string(effect) + ", core " + std::to_string(ref_effect));
    compare("drag over the source list");

    step("drop with a repeat on the source list", [&] { view_.drop_on_sources({more, data}); },
         [&] { ref_.core().source_drop(DragData{true, {more, data}, true}); });
    step("drop of a missing path on the destination", [&] { view_.drop_on_destination({gone}); },
         [&] { ref_.core().destination_drop(DragData{true, {gone}, true}); });
    step("drop of two paths on the destination", [&] { view_.drop_on_destination({backup, data}); },
         [&] { ref_.core().destination_drop(DragData{true, {backup, data}, true}); });
    step("drop of a folder on the destination", [&] { view_.drop_on_destination({backup}); },
         [&] { ref_.core().destination_drop(DragData{true, {backup}, true}); });
    for (int type : {3, 2})
      step("type " + std::to_string(type), [&] { view_.click_type(type); },
           [&] {
             ref_.view().type = type;  // the user's click shows at once
             ref_.core().type_click(type);
           });
    step("shutdown box", [&] { view_.click(Button::shutdown_box); },
         [&] {
           ref_.view().shutdown = !ref_.view().shutdown;
           ref_.core().shutdown_click(ref_.view().shutdown);
         });
    step("exit of a changed job, answered No", [&] { view_.click(Button::exit); }, [&] { ref_.core().exit(); });
    step("delete of the first entry",
         [&] {
           view_.select_source(0);
           view_.click(Button::delete_entry);
         },
         [&] { ref_.core().delete_entries({0}); });
    step("save", [&] { view_.click(Button::save); }, [&] { ref_.core().save(); });
    step("clear", [&] { view_.click(Button::clear); }, [&] { ref_.core().clear(); });
    step("save of an empty job", [&] { view_.click(Button::save); }, [&] { ref_.core().save(); });
    step("drop on the source list", [&] { view_.drop_on_sources({data}); },
         [&] { ref_.core().source_drop(DragData{true, {data}, true}); });
    step("drop on the destination", [&] { view_.drop_on_destination({backup}); },
         [&] { ref_.core().destination_drop(DragData{true, {backup}, true}); });
    step("save", [&] { view_.click(Button::save); }, [&] { ref_.core().save(); });
    step("exit of a saved job", [&] { view_.click(Button::exit); }, [&] { ref_.core().exit(); });
    return differences_;
  }

 private:
  void step(const std::string& name, const std::function<void()>& on_view, const std::function<void()>& on_core) {
    if (!view_.is_open() && ref_.view().closed == 0) {
      differ(name + ": the view's window is gone, the core's is open");
      return;
    }
    on_view();
    on_core();
    compare(name);
  }

  void compare(const std::string& name) {
    const Shown v = view_.shown();
    const Shown r = ref_.shown();
    if (v.sources != r.sources) differ(name + ": source list " + joined(v.sources) + ", core " + joined(r.sources));
    if (v.destination != r.destination)
      differ(name + ": destination \"" + v.destination + "\", core \"" + r.destination + "\"");
    if (v.type != r.type) differ(name + ": type " + std::to_string(v.type) + ", core " + std::to_string(r.type));
    if (v.shutdown != r.shutdown)
      differ(name + ": shutdown box " + std::to_string(v.shutdown) + ", core " + std::to_string(r.shutdown));

    const std::vector<ShownMessage> shown = view_.take_messages();
    std::vector<MessageCall> want(ref_.services().messages.begin() + static_cast<std::ptrdiff_t>(messages_seen_),
                                  ref_.services().messages.end());
    messages_seen_ = ref_.services().messages.size();
    if (shown.size() != want.size()) {
      differ(name + ": " + std::to_string(shown.size()) + " message boxes, core " + std::to_string(want.size()));
    } else {
      for (size_t i = 0; i < shown.size(); ++i) {
        const bool same = shown[i].text == want[i].text && shown[i].title == want[i].title &&
                          (shown[i].style < 0 || shown[i].style == want[i].style);
        if (!same)
          differ(name + ": message \"" + shown[i].text + "\" / \"" + shown[i].title + "\" / " +
                 std::to_string(shown[i].style) + ", core \"" + want[i].text + "\" / \"" + want[i].title + "\" / " +
                 std::to_string(want[i].style));
      }
    }

    std::optional<std::vector<std::string>> file = view_.job_file();
    auto it = ref_.services().files.find(jobfile::kJobFile);
    std::optional<std::vector<std::string>> ref_file;
    if (it != ref_.services().files.end()) ref_file = it->second;
    if (file != ref_file)
      differ(name + ": job file " + (file ? joined(*file) : "(none)") + ", core " +
             (ref_file ? joined(*ref_file) : "(none)"));

    const bool open = view_.is_open();
    const bool ref_open = ref_.view().closed == 0;
    if (open != ref_open)
      differ(name + ": window open " + std::to_string(open) + ", core " + std::to_string(ref_open));
  }

  void differ(const std::string& what) { differences_.push_back(what); }

  ViewDriver& view_;
  Reference ref_;
  size_t messages_seen_ = 0;
  std::vector<std::string> differences_;
};

}  // namespace

std::vector<std::string> run_scenario(ViewDriver& view) { return Scenario(view).run(); }

}  // namespace zubeto::conformance
