// The directory walk runs in two loops over the same tree: the read-ahead, on a thread
// of its own, opens and lists the folders; the walk, on the caller's thread, writes the
// lines, the trace and the counts. Their rule:
// - Both go depth first through the same listings, and one function, Descends(),
//   decides for both which entries lead into a folder, so the read-ahead delivers the
//   listings in exactly the order in which the walk enters the folders.
// - Each listing names its folder's depth and path length; the walk checks them when
//   it takes the listing, so that one folder's entries never land under another.
// - A folder is entered at most once per reading (by device and inode, whatever link or
//   bind mount leads to it again), and a pseudo file system (proc, sysfs, ...) is never
//   entered: such a folder, like one that cannot be listed, gets an empty listing, so
//   that it has its line, its trace line and its count, and no contents.
#include "engine/directory_walk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/folder_listing_queue.h"
#include "platform/file_systems.h"
#include "platform/folder_reader.h"

namespace spurfix {

namespace {

// Descriptors are kept for the upper levels and for every 32nd level below them, so
// that a deep tree never runs out of descriptors; a level in between is reopened from
// the nearest kept ancestor, one name at a time, when it needs to open a sub-folder.
constexpr size_t kLevelsAlwaysHeld = 48;
constexpr size_t kCheckpointSpacing = 32;
constexpr int kOpenFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

bool HoldsDescriptor(size_t depth) {
    return depth < kLevelsAlwaysHeld || depth % kCheckpointSpacing == 0;
}

bool IsSelfOrParent(std::string_view name) {
    return name == "." || name == "..";
}

// Whether entry `i` of a listing leads into a folder that the walk enters.
bool Descends(const platform::FolderEntries& entries, size_t i) {
    return entries.isFolder(i) && !IsSelfOrParent(entries.name(i));
}

struct FolderId {
    dev_t device;
    ino_t inode;
    bool operator==(const FolderId&) const = default;
};

struct FolderIdHash {
    size_t operator()(const FolderId& id) const {
        return std::hash<uint64_t>()(static_cast<uint64_t>(id.inode) * 0x9E3779B97F4A7C15ULL ^
                                     static_cast<uint64_t>(id.device));
    }
};

// Reads the listings of every folder of the tree, depth first, in exactly the order in
// which the walk enters them, on a thread of its own: the kernel's work overlaps with
// the walk's progress updates.
class FolderReadAhead {
  public:
    explicit FolderReadAhead(FolderListingQueue& out) : out_(out) {}
    ~FolderReadAhead() {
        for (Level& level : levels_) {
            closeDescriptor(level);
        }
    }
    FolderReadAhead(const FolderReadAhead&) = delete;
    FolderReadAhead& operator=(const FolderReadAhead&) = delete;

    void run(const std::string& sourcePath);

  private:
    struct Level {
        int fd = -1;
        dev_t device = 0;
        ino_t inode = 0;
        size_t next = 0;
        size_t pathLength = 0;  // length of the path up to this folder's "/"
        platform::FolderEntries entries;
    };

    bool enter(int fd);
    [[nodiscard]] bool mayEnter(int fd, const struct stat& info);
    static void closeDescriptor(Level& level) {
        if (level.fd >= 0) {
            close(level.fd);
            level.fd = -1;
        }
    }
    int openSubfolder(size_t depth, std::string_view name);
    int reopen(size_t depth);

    FolderListingQueue& out_;
    std::string path_;
    std::vector<Level> levels_;  // kept across folders so that their buffers are reused
    size_t active_ = 0;
    std::unordered_set<FolderId, FolderIdHash> entered_;
    std::unordered_map<dev_t, bool> pseudoDevices_;
};

void FolderReadAhead::run(const std::string& sourcePath) {
    path_ = sourcePath;
    bool going = enter(open(path_.c_str(), kOpenFolderFlags));
    while (going && active_ > 0) {
        const size_t depth = active_ - 1;
        Level& level = levels_[depth];
        while (level.next < level.entries.size() && !Descends(level.entries, level.next)) {
            ++level.next;
        }
        if (level.next < level.entries.size()) {
            const std::string_view name = level.entries.name(level.next++);
            path_.append(name).push_back('/');
            going = enter(openSubfolder(depth, name));
            continue;
        }
        closeDescriptor(level);
        --active_;
        if (active_ > 0) {
            path_.resize(levels_[active_ - 1].pathLength);
        }
    }
    out_.finish();
}

// Whether the walk may list the open folder: not entered before in this reading, and
// not on a pseudo file system. Looked up only where the device changes.
bool FolderReadAhead::mayEnter(int fd, const struct stat& info) {
    if (!entered_.insert({info.st_dev, info.st_ino}).second) {
        return false;
    }
    const auto [known, added] = pseudoDevices_.try_emplace(info.st_dev, false);
    if (added) {
        known->second = platform::IsPseudoFileSystem(platform::FileSystemMagic(fd));
    }
    return !known->second;
}

// Makes the folder at `path_` the current level and hands its listing on; `fd` is its
// open descriptor, or -1 when it could not be opened. False once the walk has stopped.
bool FolderReadAhead::enter(int fd) {
    const size_t depth = active_++;
    if (levels_.size() < active_) {
        levels_.emplace_back();
    }
    Level& level = levels_[depth];
    level.next = 0;
    level.pathLength = path_.size();
    level.entries.clear();
    level.device = 0;
    level.inode = 0;
    level.fd = fd;
    struct stat info {};
    if (fd >= 0 && (fstat(fd, &info) != 0 || !mayEnter(fd, info))) {
        closeDescriptor(level);
    }
    if (level.fd >= 0) {
        level.device = info.st_dev;
        level.inode = info.st_ino;
        level.entries.read(fd);
        if (!HoldsDescriptor(depth) || !level.entries.hasSubfolder()) {
            closeDescriptor(level);
        }
    }
    return out_.push({depth, level.pathLength, level.entries});
}

int FolderReadAhead::openSubfolder(size_t depth, std::string_view name) {
    Level& parent = levels_[depth];
    if (parent.fd < 0) {
        parent.fd = reopen(depth);
        if (parent.fd < 0) {
            return -1;
        }
    }
    const std::string nameText(name);
    const int fd = openat(parent.fd, nameText.c_str(), kOpenFolderFlags);
    if (!HoldsDescriptor(depth)) {
        closeDescriptor(parent);
    }
    return fd;
}

// Opens the folder of level `depth` again, name by name from the nearest ancestor that
// holds a descriptor, and makes sure it is still the same folder.
int FolderReadAhead::reopen(size_t depth) {
    size_t anchor = depth;
    while (anchor > 0 && levels_[anchor].fd < 0) {
        --anchor;
    }
    if (levels_[anchor].fd < 0) {
        return -1;
    }
    int fd = levels_[anchor].fd;
    for (size_t k = anchor + 1; k <= depth && fd >= 0; ++k) {
        const size_t begin = levels_[k - 1].pathLength;
        const std::string name = path_.substr(begin, levels_[k].pathLength - begin - 1);
        const int child = openat(fd, name.c_str(), kOpenFolderFlags);
        if (k - 1 > anchor) {
            close(fd);
        }
        fd = child;
    }
    struct stat info {};
    if (fd >= 0 && (fstat(fd, &info) != 0 || info.st_dev != levels_[depth].device ||
                    info.st_ino != levels_[depth].inode)) {
        close(fd);
        fd = -1;
    }
    return fd;
}

// The walk itself: lines, counts, trace, progress checks and the stop, on the caller's
// thread, over the listings the read-ahead delivers.
class Walk {
  public:
    Walk(ScanList& scanList, WalkObserver& observer, FolderListingQueue& listings)
        : scanList_(scanList), observer_(observer), listings_(listings) {}

    WalkCounts run(const std::string& sourcePath);

  private:
    struct Level {
        size_t next = 0;
        size_t pathLength = 0;
        platform::FolderEntries entries;
    };

    void enter();
    void progressCheck() {
        if (ProgressDue(counts_.files)) {
            observer_.showCounts(counts_.files, counts_.folders);
        }
    }

    ScanList& scanList_;
    WalkObserver& observer_;
    FolderListingQueue& listings_;
    WalkCounts counts_;
    std::string path_;
    std::vector<Level> levels_;
    size_t active_ = 0;
};

WalkCounts Walk::run(const std::string& sourcePath) {
    scanList_.clear();
    path_ = sourcePath;
    enter();
    while (active_ > 0) {
        const size_t depth = active_ - 1;
        Level& level = levels_[depth];
        if (level.next < level.entries.size() && !observer_.stopRequested()) {
            const size_t index = level.next++;
            const std::string_view name = level.entries.name(index);
            if (Descends(level.entries, index)) {
                path_.append(name).push_back('/');
                scanList_.append(path_);
                ++counts_.folders;
                enter();
            } else if (level.entries.isFolder(index)) {
                progressCheck();  // "." and ".." count for the cadence
            } else {
                ++counts_.files;
                scanList_.append(path_, name);
                progressCheck();
            }
            continue;
        }
        observer_.showCounts(counts_.files, counts_.folders);
        --active_;
        if (active_ > 0) {
            path_.resize(levels_[active_ - 1].pathLength);
            progressCheck();
        }
    }
    scanList_.shrinkToFit();
    return counts_;
}

void Walk::enter() {
    const size_t depth = active_++;
    if (levels_.size() < active_) {
        levels_.emplace_back();
    }
    Level& level = levels_[depth];
    level.next = 0;
    level.pathLength = path_.size();
    observer_.folderEntered(path_);
    FolderListing listing;
    if (!listings_.pop(listing) || listing.depth != depth ||
        listing.pathLength != level.pathLength) {
        throw std::logic_error("the read-ahead and the walk disagree about the folder " + path_);
    }
    level.entries = std::move(listing.entries);
}

}  // namespace

WalkCounts ReadSource(const std::string& sourcePath, ScanList& scanList, WalkObserver& observer) {
    FolderListingQueue listings;
    std::thread reader([&] {
        try {
            FolderReadAhead readAhead(listings);
            readAhead.run(sourcePath);
        } catch (...) {
            listings.fail(std::current_exception());
        }
    });
    // Whatever ends the walk, the reader is told to stop and is waited for.
    struct StopReader {
        FolderListingQueue& listings;
        std::thread& reader;
        ~StopReader() {
            listings.cancel();
            reader.join();
        }
    } stopReader{listings, reader};
    Walk walk(scanList, observer, listings);
    return walk.run(sourcePath);
}

}  // namespace spurfix
