// Stand-in command reader for cab32 until the archivers' shared reader is in.
// Kept apart from the cabinet code so that it can be swapped out whole.
#ifndef ZUBETO_CAB_LOCAL_COMMAND_READER_H
#define ZUBETO_CAB_LOCAL_COMMAND_READER_H

#include <string>
#include <vector>

namespace arc_local {

struct Source {
  std::string path;       // without quotes and without the "/*.*" suffix
  bool contents = false;  // written as folder + "/*.*": the folder's contents
};

struct Command {
  std::vector<std::string> switches;  // "-a", "-ri", ... in order
  std::string archive;                // first word that is not a switch
  std::vector<Source> sources;        // the rest, response files expanded
};

// Words are separated by spaces; double quotes group a word and are dropped.
// A word that begins with "-" outside quotes is a switch.
std::vector<std::string> split_words(const std::string& text, std::vector<bool>* quoted = nullptr);

// Turns one source text into a Source ("/data/*.*" -> contents of /data).
Source make_source(const std::string& text);

// Reads a response file: one source a line, CR LF or LF, quotes dropped,
// blank lines skipped. False with an error text when it cannot be read.
bool read_response_file(const std::string& path, std::vector<Source>& out, std::string& error);

// Reads the whole command text; "@file" sources are replaced by the
// response file's lines. False with an error text when it cannot.
bool read_command(const std::string& text, Command& cmd, std::string& error);

}  // namespace arc_local

#endif
