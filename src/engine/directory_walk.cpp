// The directory walk: the readers (folder_tree_reader) open and list the folders on
// threads of their own; the walk, on the caller's thread, goes through their listings
// depth first and writes the lines, the trace and the counts. Its rules:
// - Every folder's line comes before its contents, entries in the kernel's order.
// - A folder is entered at most once per reading (by device and inode, whatever link or
//   bind mount leads to it again), and a pseudo file system (proc, sysfs, ...) is never
//   entered: such a folder, like one that cannot be listed, has its line, its trace line
//   and its count, and no contents. The walk decides this in its own order, so the
//   result never depends on which reader came first.
#include "engine/directory_walk.h"

#include <string>
#include <vector>

#include "engine/folder_tree_reader.h"
#include "platform/folder_reader.h"

namespace spurfix {

namespace {

// The walk itself: lines, counts, trace, progress checks and the stop, on the caller's
// thread, over the listings the readers deliver.
class Walk {
  public:
    Walk(ScanList& scanList, WalkObserver& observer, FolderTreeReader& reader)
        : scanList_(scanList), observer_(observer), reader_(reader) {}

    WalkCounts run(const std::string& sourcePath);

  private:
    struct Level {
        FolderTreeReader::Folder* folder = nullptr;
        const platform::FolderEntries* entries = nullptr;
        size_t next = 0;
        size_t nextSubfolder = 0;
        size_t pathLength = 0;
    };

    // Enters the source (`parent` null) or the `k`-th sub-folder of `parent`.
    void enter(FolderTreeReader::Folder* parent, size_t k);
    void progressCheck() {
        if (ProgressDue(counts_.files)) {
            observer_.showCounts(counts_.files, counts_.folders);
        }
    }

    ScanList& scanList_;
    WalkObserver& observer_;
    FolderTreeReader& reader_;
    WalkCounts counts_;
    std::string path_;
    std::vector<Level> levels_;
    size_t active_ = 0;
    const platform::FolderEntries noEntries_;
};

WalkCounts Walk::run(const std::string& sourcePath) {
    scanList_.clear();
    path_ = sourcePath;
    enter(nullptr, 0);
    while (active_ > 0) {
        Level& level = levels_[active_ - 1];
        if (level.next < level.entries->size() && !observer_.stopRequested()) {
            const size_t index = level.next++;
            const std::string_view name = level.entries->name(index);
            if (Descends(*level.entries, index)) {
                path_.append(name).push_back('/');
                scanList_.append(path_);
                ++counts_.folders;
                enter(level.folder, level.nextSubfolder++);
            } else if (level.entries->isFolder(index)) {
                progressCheck();  // "." and ".." count for the cadence
            } else {
                ++counts_.files;
                scanList_.append(path_, name);
                progressCheck();
            }
            continue;
        }
        observer_.showCounts(counts_.files, counts_.folders);
        reader_.finished(level.folder);
        --active_;
        if (active_ > 0) {
            path_.resize(levels_[active_ - 1].pathLength);
            progressCheck();
        }
    }
    scanList_.shrinkToFit();
    return counts_;
}

void Walk::enter(FolderTreeReader::Folder* parent, size_t k) {
    const size_t depth = active_++;
    if (levels_.size() < active_) {
        levels_.emplace_back();
    }
    observer_.folderEntered(path_);
    const FolderTreeReader::Entered entered = reader_.enter(parent, k);
    levels_[depth] = {entered.folder, entered.entries != nullptr ? entered.entries : &noEntries_, 0,
                      0, path_.size()};
    if (entered.unreadable && parent != nullptr) {
        ++counts_.unreadableFolders;
        observer_.folderUnreadable(path_);
    }
}

}  // namespace

WalkCounts ReadSource(const std::string& sourcePath, ScanList& scanList, WalkObserver& observer) {
    // Whatever ends the walk, the reader's destructor stops its threads: those waiting for
    // work end and are joined, one stuck in a listing ends on its own later.
    FolderTreeReader reader(sourcePath, [&observer] {
        observer.waitingForMedium();
        return observer.stopRequested();
    });
    Walk walk(scanList, observer, reader);
    return walk.run(sourcePath);
}

}  // namespace spurfix
