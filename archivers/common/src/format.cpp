#include "arc/format.h"

namespace zubeto::arc {

namespace {

constexpr uint64_t kNoLimit = ~uint64_t{0};
// LZH headers hold a file's size in 32 bits.
constexpr uint64_t kLzhMost = 0xFFFFFFFFu;
// A cabinet file never spans CAB folders, and a CAB folder holds at most
// 65,535 blocks of 32 KiB.
constexpr uint64_t kCabMost = uint64_t{65535} * 32768;

// One row per format. The command texts that the worker builds:
//   LZH  a "<archive>.lzh" -x1r2a2 -n1 "<source>" ...
//   ZIP  -rq "<archive>.zip" "<source>" ...
//   CAB  -a -ri "<archive>.cab" "<folder>/*.*" "<file>" ...
//   TAR  -cvf "<archive>.tar" --display-dialog=0 "<base>" "<source>" ...
//   BGA  a "<archive>.bza" "<source>" ...
const FormatRow kRows[] = {
    // id             name   mode            extra switches            base   folder/*.* names                 links  list   folders largest file
    {FormatId::Lzh, "LZH", {"a"}, {"-x1r2a2", "-n1"}, false, false, NameRule::StripRoot, false, false, true, kLzhMost},
    {FormatId::Zip, "ZIP", {"-rq"}, {}, false, false, NameRule::StripRoot, true, false, true, kNoLimit},
    {FormatId::Cab, "CAB", {"-a", "-ri"}, {}, false, true, NameRule::OwnName, false, false, false, kCabMost},
    {FormatId::Tar, "TAR", {"-cvf"}, {"--display-dialog=0"}, true, false, NameRule::RelativeToBase, true, true, true, kNoLimit},
    {FormatId::Bga, "BGA", {"a"}, {}, false, false, NameRule::StripRoot, false, false, true, kNoLimit},
};

}  // namespace

const FormatRow& format_row(FormatId id) {
  for (const FormatRow& row : kRows)
    if (row.id == id) return row;
  return kRows[0];
}

}  // namespace zubeto::arc
