// The cabinet format: an entry writer for the archivers' shared command
// run, writing one standard cabinet with MSZIP compression.
//
// Layout written: CFHEADER, the CFFOLDER table, the CFFILE table, then the
// CFDATA blocks of every CAB folder in order. The header and both tables
// are known only at the end, so the writer reserves their room at the
// start of the output (from a first walk that only counts the files, or
// the plan it is given), streams the data blocks behind it, and writes the
// tables last; when the tables come out at another size than reserved
// (files left out, renamed, or grown so that they need another CAB
// folder), the data is moved to meet them. Files are added as the walk
// meets them. Memory is bounded by a few dozen 32 KiB blocks plus the open
// cabinet's file table, kept as it is written (16 bytes and the stored
// name a file; at most 65,535 files a cabinet), and a few numbers a
// cabinet of the set.
//
// Files become cabinet entries named with "\" between folders. Folders
// give no entry of their own: a cabinet holds files only, so an empty
// folder is not in the archive.
//
// Cabinet sets: when the next file would take a cabinet past its file
// count or its size (judged with every block compressed at its worst), the
// cabinet is closed naming the next one, "<archive stem>_2<ext>", and the
// files go on there in a new CAB folder; no file is split across cabinets.
// Each later cabinet is a temporary of its own until finish() names them
// all, the first one last; a failure leaves none of them.
#ifndef ZUBETO_CAB_WRITER_H
#define ZUBETO_CAB_WRITER_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "arc/driver.h"

namespace cab {

constexpr uint16_t kVersion = 100;  // 1.00, as the version function reports it

// DOS attribute bits stored per file.
enum : uint16_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrArchive = 0x20,
  kAttrExec = 0x40,
  kAttrNameIsUtf = 0x80,  // set for names that are UTF-8 and not ASCII
};

// Uncompressed bytes per CFDATA block for MSZIP.
constexpr uint32_t kBlockSize = 32768;

// The format's hard limits. Tests shrink them to reach the limit paths cheaply.
struct Limits {
  uint32_t max_files = 65535;           // cFiles is 16 bits
  uint32_t folder_blocks = 65535;       // cCFData is 16 bits
  uint64_t max_cabinet = 0xFFFFFFFFu;   // cbCabinet and every offset are 32 bits
  size_t max_name = 255;                // readers hold a name in 256 bytes with its zero
};

struct Options {
  Limits limits;
  // Deflate level 1..9 as zlib counts it. libdeflate is given one level
  // more: on 32 KiB blocks its level 7 comes out no larger than zlib's
  // level 6 (its own level 6 came out 0.46 % larger), in less time.
  int level = 6;
  unsigned threads = 0;   // compressing threads; 0 = one per core, at most 2
  // Test seam: each pair of batches of blocks goes to the threads second
  // first, and the first is begun only once the second is done, so that
  // the blocks finish out of the order given (OrderedWorkLimits::
  // reverse_pairs); the cabinet must not change.
  bool reverse_pairs = false;
};

// The writer. Its entry check tells the run which files a cabinet cannot
// hold (a name too long or holding a zero byte, a file larger than one CAB
// folder, or than a whole cabinet under lowered limits): those are left out
// and named, the rest kept. Any number of files is written, as a cabinet
// set where one cabinet cannot hold them.
std::unique_ptr<zubeto::arc::EntryWriter> make_cab_writer(const Options& options = {});

// DOS attributes of a walked file: archive; read-only when nobody may
// write it; hidden when its name starts with a dot; the exec bit when its
// owner may run it.
uint16_t attributes_of(const zubeto::arc::Entry& e);

// The CFDATA checksum of `len` bytes, continuing from `seed`.
uint32_t cfdata_checksum(const uint8_t* data, size_t len, uint32_t seed);

}  // namespace cab

#endif
