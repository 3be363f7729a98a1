#include "cab_command.h"

#include "local/atomic_output.h"
#include "local/command_reader.h"
#include "local/file_walker.h"

namespace cab {

namespace {

struct Switches {
  bool add = false;
  bool recurse = false;
};

bool read_switches(const std::vector<std::string>& words, Switches& sw, std::string& error) {
  for (const std::string& w : words) {
    for (size_t i = 1; i < w.size(); ++i) {
      switch (w[i]) {
        case 'a': sw.add = true; break;
        case 'r': sw.recurse = true; break;
        case 'i': break;  // keep folder names relative to the source: always so
        default:
          error = "unknown switch: " + w;
          return false;
      }
    }
    if (w.size() < 2) {
      error = "unknown switch: " + w;
      return false;
    }
  }
  return true;
}

}  // namespace

int run_command(const std::string& command, std::string& text, const Options& options) {
  text.clear();
  auto fail = [&](int code, const std::string& why) {
    text = "ERROR: " + why + "\n" + text;
    return code;
  };

  arc_local::Command cmd;
  std::string error;
  if (!arc_local::read_command(command, cmd, error)) return fail(kErrResponseFile, error);
  Switches sw;
  if (!read_switches(cmd.switches, sw, error)) return fail(kErrCommand, error);
  if (!sw.add) return fail(kErrCommand, "no command: only -a (add to a new cabinet) is supported");
  if (cmd.archive.empty()) return fail(kErrCommand, "no archive named");
  if (cmd.sources.empty()) return fail(kErrCommand, "no source named");

  arc_local::AtomicOutput out;
  switch (out.open(cmd.archive, error)) {
    case arc_local::AtomicOutput::Error::none: break;
    case arc_local::AtomicOutput::Error::exists: return fail(kErrArchiveExists, error);
    default: return fail(kErrDestination, error);
  }

  // Collect the files; a source that cannot be read is reported, the rest
  // is archived.
  std::vector<arc_local::WalkItem> items;
  std::vector<arc_local::WalkNote> notes;
  const size_t limit = options.limits.max_files;
  for (const arc_local::Source& s : cmd.sources) {
    arc_local::walk_source(s.path, s.contents, sw.recurse, limit, items, notes);
    if (items.size() > limit) break;
  }
  std::string problems;
  bool incomplete = false;
  for (const arc_local::WalkNote& n : notes) {
    problems += (n.error ? "ERROR: " : "note: ") + n.what + ": " + n.path + "\n";
    incomplete = incomplete || n.error;
  }
  text = problems;
  if (items.size() > limit)
    return fail(kErrLimit, "too many files for one cabinet: more than " + std::to_string(limit) +
                               " (no archive written)");

  std::vector<Entry> entries;
  entries.reserve(items.size());
  for (arc_local::WalkItem& it : items)
    entries.push_back(Entry{std::move(it.name), std::move(it.path), it.size, it.mtime, it.attributes});
  items.clear();
  items.shrink_to_fit();

  Result r = write_cabinet(entries, out.file(), options);
  for (const Problem& p : r.skipped) {
    text += "ERROR: " + p.what + ": " + p.path + "\n";
    incomplete = true;
  }
  for (const Problem& p : r.changed) {
    text += "ERROR: " + p.what + ": " + p.path + "\n";
    incomplete = true;
  }
  if (!r.ok) {
    out.abort();
    int code = r.failure == Failure::nothing ? kErrNothing : r.failure == Failure::limit ? kErrLimit : kErrWrite;
    return fail(code, r.error + " (no archive written)");
  }
  switch (out.commit(error)) {
    case arc_local::AtomicOutput::Error::none: break;
    case arc_local::AtomicOutput::Error::exists: return fail(kErrArchiveExists, error);
    default: return fail(kErrWrite, error);
  }
  text += cmd.archive + ": " + std::to_string(r.files) + " files in " + std::to_string(r.folders) +
          (r.folders == 1 ? " folder, " : " folders, ") + std::to_string(r.input_bytes) + " bytes read, " +
          std::to_string(r.cabinet_size) + " bytes written\n";
  if (incomplete) {
    text = "ERROR: some sources could not be read; the archive holds the rest\n" + text;
    return kSourcesIncomplete;
  }
  return kOk;
}

}  // namespace cab
