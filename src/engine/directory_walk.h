#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/line_list.h"

namespace spurfix {

// What a reading reports while it runs, and how it learns that it is to stop.
class WalkObserver {
  public:
    virtual ~WalkObserver() = default;
    // A folder is entered: its path, ending in "/", is one line of the trace.
    virtual void folderEntered(std::string_view folderPath) = 0;
    // A progress update with the counts so far.
    virtual void showCounts(int32_t files, int32_t folders) = 0;
    // Polled before every entry, and about every 50 ms while the walk waits for a slow
    // medium; true ends the reading.
    [[nodiscard]] virtual bool stopRequested() = 0;
    // The walk waits for a slow medium: a chance to handle events, about every 50 ms,
    // before stopRequested() is asked.
    virtual void waitingForMedium() {}
    // The folder just entered (its path, ending in "/") exists but could not be read
    // completely: its line stays, its songs are missing from the reading.
    virtual void folderUnreadable(std::string_view /*folderPath*/) {}
};

struct WalkCounts {
    int32_t files = 0;
    int32_t folders = 0;
    int32_t unreadableFolders = 0;  // sub-folders whose songs are missing from the reading
};

// One complete reading of `sourcePath` (ending in "/") into `scanList`: depth first,
// every folder's line (ending in "/") before its contents, entries in the order the
// kernel delivers them, "." and ".." skipped. Links to folders are walked as folders;
// a folder that is one of its own ancestors, or cannot be listed, has no entries; a
// sub-folder that cannot be listed is counted and reported. The result never depends on
// the open-file limit, and a stop ends the reading within about 50 ms however slow the
// medium.
WalkCounts ReadSource(const std::string& sourcePath, ScanList& scanList, WalkObserver& observer);

// Whether the progress check after an entry asks for an update at file count `files`.
[[nodiscard]] constexpr bool ProgressDue(int32_t files) {
    return ((files % 13) & (files % 17) & (files % 21)) == 0;
}

}  // namespace spurfix
