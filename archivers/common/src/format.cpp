#include "arc/format.h"

namespace zubeto::arc {

namespace {

// One row per format. The command texts that the worker builds:
//   LZH  a "<archive>.lzh" -x1r2a2 -n1 "<source>" ...
//   ZIP  -rq "<archive>.zip" "<source>" ...
//   CAB  -a -ri "<archive>.cab" "<folder>/*.*" "<file>" ...
//   TAR  -cvf "<archive>.tar" --display-dialog=0 "<base>" "<source>" ...
//   BGA  a "<archive>.bza" "<source>" ...
const FormatRow kRows[] = {
    // id             name   mode            extra switches            base   folder/*.* names                 links  list
    {FormatId::Lzh, "LZH", {"a"}, {"-x1r2a2", "-n1"}, false, false, NameRule::StripRoot, false, false},
    {FormatId::Zip, "ZIP", {"-rq"}, {}, false, false, NameRule::StripRoot, true, false},
    {FormatId::Cab, "CAB", {"-a", "-ri"}, {}, false, true, NameRule::StripRoot, false, false},
    {FormatId::Tar, "TAR", {"-cvf"}, {"--display-dialog=0"}, true, false, NameRule::RelativeToBase, true, true},
    {FormatId::Bga, "BGA", {"a"}, {}, false, false, NameRule::StripRoot, false, false},
};

}  // namespace

const FormatRow& format_row(FormatId id) {
  for (const FormatRow& row : kRows)
    if (row.id == id) return row;
  return kRows[0];
}

}  // namespace zubeto::arc
