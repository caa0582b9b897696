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
    // Polled before every entry; true ends the reading.
    [[nodiscard]] virtual bool stopRequested() = 0;
};

struct WalkCounts {
    int32_t files = 0;
    int32_t folders = 0;
};

// One complete reading of `sourcePath` (ending in "/") into `scanList`: depth first,
// every folder's line (ending in "/") before its contents, entries in the order the
// kernel delivers them, "." and ".." skipped. Links to folders are walked as folders;
// a folder that is one of its own ancestors, or cannot be listed, has no entries.
WalkCounts ReadSource(const std::string& sourcePath, ScanList& scanList, WalkObserver& observer);

// Whether the progress check after an entry asks for an update at file count `files`.
[[nodiscard]] constexpr bool ProgressDue(int32_t files) {
    return ((files % 13) & (files % 17) & (files % 21)) == 0;
}

}  // namespace spurfix
