#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/line_list.h"
#include "engine/song_info.h"
#include "tags/song_file.h"

namespace spurfix::tags {

// How far a reading of songs is, and the user's wish to stop it; read and set from any
// thread.
struct SongReadingProgress {
    std::atomic<uint64_t> done{0};
    std::atomic<uint64_t> total{0};
    std::atomic<bool> stop{false};
    // Where given, called from the reading threads: after each file with the counts, and
    // before each file to ask whether to stop.
    std::function<void(uint64_t done, uint64_t total)> onProgress;
    std::function<bool()> stopRequested;
};

// Reads the songs whose full paths are the scan list's lines `songLines` (ascending) on
// as many worker threads as the machine has cores. The stop flag is looked at between
// files; a stopped reading returns `complete` false and the table
// empty.
struct SongReading {
    SongInfoTable table;
    bool complete = false;
};
SongReading ReadSongs(const ScanList& scanList, const std::vector<uint32_t>& songLines,
                      SongParts parts, SongReadingProgress& progress);

}  // namespace spurfix::tags
