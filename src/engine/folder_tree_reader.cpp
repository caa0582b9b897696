#include "engine/folder_tree_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <unordered_map>
#include <utility>

#include "platform/file_systems.h"

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

// How many listings the readers may hold that the walk has not taken yet, and how many
// new ones wake a waiting walk or waiting readers: waking for each one would cost a
// system call per folder.
constexpr size_t kMaxAhead = 256;
constexpr size_t kWakeBatch = 32;
// Where the walk has to ask for a folder while the window is full, the listings ahead
// lie in a part of the tree it comes to only later; the readers then get more room,
// up to this many listings, and go back to where the walk is.
constexpr size_t kMaxAheadStretched = 4 * kMaxAhead;

// Two readers: the kernel's work for a tree of small folders nearly halves on two
// cores, and a third thread, the walk, takes little of either.
unsigned ReaderCount() {
    return std::clamp(std::thread::hardware_concurrency(), 1U, 2U);
}

void CloseDescriptor(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

}  // namespace

class FolderTreeReader::Folder {
  public:
    Folder(Folder* parent, uint32_t subfolderIndex)
        : parent(parent),
          subfolderIndex(subfolderIndex),
          depth(parent == nullptr ? 0 : parent->depth + 1) {}
    ~Folder() { CloseDescriptor(fd); }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    [[nodiscard]] std::string name() const {
        return std::string(parent->entries.name(parent->subfolderEntries[subfolderIndex]));
    }

    enum class State : uint8_t { Free, Taken, Listed };

    Folder* const parent;
    const uint32_t subfolderIndex;  // among the parent's sub-folders
    const uint32_t depth;

    // Written by the reader that lists the folder before it is published; read-only
    // afterwards.
    platform::FolderEntries entries;
    std::vector<uint32_t> subfolderEntries;  // the entries that Descends()
    bool identified = false;
    dev_t device = 0;
    ino_t inode = 0;

    // Guarded by the tree's mutex.
    State state = State::Free;
    bool skipped = false;          // the walk leaves its contents out
    bool duplicate = false;        // listed before under another name: not read ahead below
    KnownFolder* known = nullptr;  // what is known of the folder behind it, once listed
    bool countedAhead = false;     // listed, and not taken by the walk yet
    int fd = -1;
    unsigned refs = 1;        // the parent's slot, and each reader's path through it
    uint32_t nextToTake = 0;  // sub-folders below it are taken in order
    uint32_t openedSubfolders = 0;
    uint32_t searchFrom = 0;          // sub-folders before it are done
    std::vector<Folder*> subfolders;  // created when taken or waited for; null once done
};

// Where a reader is in the tree: the path from the source down to the folder it lists,
// each folder on it held, and what it knows of file systems.
struct FolderTreeReader::ReaderState {
    std::vector<Folder*> path;
    unsigned returns = 0;  // the returns to the walk's position it has made
    std::unordered_map<dev_t, bool> pseudoDevices;
};

// How a folder is opened: by name in its parent's descriptor, or where the parent keeps
// none, from the nearest ancestor that does, one name at a time down to the parent.
struct FolderTreeReader::OpenPlan {
    int anchorFd = AT_FDCWD;
    std::vector<std::string> namesToParent;
    dev_t parentDevice = 0;
    ino_t parentInode = 0;
    std::string name;
};

FolderTreeReader::FolderTreeReader(std::string sourcePath)
    : sourcePath_(std::move(sourcePath)), windowLimit_(kMaxAhead) {
    source_ = new Folder(nullptr, 0);
    const unsigned count = ReaderCount();
    readers_.reserve(count);
    try {
        for (unsigned i = 0; i < count; ++i) {
            readers_.emplace_back([this] { runReader(); });
        }
    } catch (...) {
        // Without a thread the reading cannot go on; those already running are stopped.
        stopAndFree();
        throw;
    }
}

FolderTreeReader::~FolderTreeReader() {
    stopAndFree();
}

void FolderTreeReader::stopAndFree() {
    {
        const std::lock_guard lock(mutex_);
        cancelled_ = true;
        readersWake_.notify_all();
    }
    for (std::thread& reader : readers_) {
        reader.join();
    }
    takeFinished();
    if (source_ != nullptr) {
        destroy(source_);
    }
    DeleteAll(doomed_);
}

void FolderTreeReader::DeleteAll(std::vector<Folder*>& folders) {
    for (Folder* folder : folders) {
        delete folder;
    }
    folders.clear();
}

void FolderTreeReader::retain(Folder* folder) {
    ++folder->refs;
}

void FolderTreeReader::release(Folder* folder) {
    if (--folder->refs == 0) {
        destroy(folder);
    }
}

// Frees the folder and what is left below it: sub-folders the walk never entered, each
// held only by its slot once no reader is on its path.
void FolderTreeReader::destroy(Folder* folder) {
    std::vector<Folder*> pending{folder};
    while (!pending.empty()) {
        Folder* next = pending.back();
        pending.pop_back();
        for (Folder* below : next->subfolders) {
            if (below != nullptr) {
                pending.push_back(below);
            }
        }
        if (next->countedAhead) {
            --listedAhead_;
        }
        if (next->known != nullptr && next->known->listedAs == next) {
            next->known->listedAs = nullptr;
        }
        doomed_.push_back(next);  // freed outside the lock
    }
}

// With the lock held.
void FolderTreeReader::fail(std::exception_ptr error) {
    if (!error_) {
        error_ = std::move(error);
    }
    cancelled_ = true;
    readersWake_.notify_all();
    walkWake_.notify_all();
}

// The walk's side.

FolderTreeReader::Folder* FolderTreeReader::createSubfolder(Folder* parent, size_t k) {
    Folder*& slot = parent->subfolders[k];
    if (slot == nullptr) {
        slot = new Folder(parent, static_cast<uint32_t>(k));
        slot->skipped = parent->skipped;
    }
    return slot;
}

FolderTreeReader::Entered FolderTreeReader::enter(Folder* parent, size_t k) {
    std::unique_lock lock(mutex_);
    Folder* const folder = parent == nullptr ? source_ : createSubfolder(parent, k);
    awaitListing(folder, lock);
    return {folder, enterOnce(folder) ? &folder->entries : nullptr};
}

void FolderTreeReader::awaitListing(Folder* folder, std::unique_lock<std::mutex>& lock) {
    using namespace std::chrono_literals;
    if (folder->state != Folder::State::Listed && !error_) {
        if (folder->state == Folder::State::Free) {
            wanted_ = folder;
            if (listedAhead_ >= windowLimit_) {
                windowLimit_ = std::min(windowLimit_ + kMaxAhead / 2, kMaxAheadStretched);
                ++returnsToWalk_;
            }
            wakeReaders();
        }
        // First for a batch of listings, unless the readers are slow: then for this one.
        walkWaitsFor_ = folder;
        walkWakeAt_ = publications_ + kWakeBatch;
        walkWake_.wait_for(lock, 2ms, [&] { return error_ || walkWaitsFor_ == nullptr; });
        // The batch is late: then as soon as the folder is listed.
        walkWakeAt_ = 0;
        walkWake_.wait(lock, [&] {
            return error_ || walkWaitsFor_ == nullptr || folder->state == Folder::State::Listed;
        });
        walkWaitsFor_ = nullptr;
    }
    if (error_) {
        std::rethrow_exception(error_);
    }
    if (folder->countedAhead) {
        folder->countedAhead = false;
        --listedAhead_;
        if (listedAhead_ < kMaxAhead) {
            windowLimit_ = kMaxAhead;  // the walk has come to what was read ahead
        }
        if (listedAhead_ + kWakeBatch <= windowLimit_) {
            wakeReaders();
        }
    }
}

bool FolderTreeReader::enterOnce(Folder* folder) {
    if (folder->known == nullptr) {
        return true;  // could not be opened
    }
    KnownFolder& known = *folder->known;
    if (known.entered) {
        skipBelow(folder);
        return false;
    }
    known.entered = true;
    // Where the readers listed the same folder first under another name, they read ahead
    // there and not here; that other place is now certain to be left out.
    if (known.listedAs != folder) {
        if (known.listedAs != nullptr) {
            skipBelow(known.listedAs);
        }
        known.listedAs = folder;
        folder->duplicate = false;
        wakeReaders();
    }
    return true;
}

// With the lock held: nothing more is read below `folder`, and what was read there no
// longer counts against the readers' window.
void FolderTreeReader::skipBelow(Folder* folder) {
    std::vector<Folder*> pending{folder};
    while (!pending.empty()) {
        Folder* next = pending.back();
        pending.pop_back();
        next->skipped = true;
        if (next != folder && next->countedAhead) {
            next->countedAhead = false;
            --listedAhead_;
        }
        if (next->state != Folder::State::Listed) {
            continue;  // its reader is still listing it, and it will come out skipped
        }
        for (Folder* below : next->subfolders) {
            if (below != nullptr) {
                pending.push_back(below);
            }
        }
    }
    wakeReaders();
}

void FolderTreeReader::wakeReaders() {
    if (readersWaiting_) {
        readersWaiting_ = false;
        readersWake_.notify_all();
    }
}

// The walk hands back the folders it is done with in batches, and frees them outside the
// lock, so that it holds the readers up as little as possible.
void FolderTreeReader::finished(Folder* folder) {
    finishedByWalk_.push_back(folder);
    if (finishedByWalk_.size() >= kWakeBatch) {
        std::vector<Folder*> doomed;
        {
            const std::lock_guard lock(mutex_);
            takeFinished();
            doomed.swap(doomed_);
        }
        DeleteAll(doomed);
    }
}

void FolderTreeReader::takeFinished() {
    for (Folder* folder : finishedByWalk_) {
        if (folder->parent != nullptr) {
            folder->parent->subfolders[folder->subfolderIndex] = nullptr;
        } else {
            source_ = nullptr;
        }
        release(folder);
    }
    finishedByWalk_.clear();
}

// The waiting walk goes on after a batch of listings, or sooner where no batch will come:
// the readers wait for the walk, or have nothing left to list.
bool FolderTreeReader::walkMayGoOn() const {
    return walkWaitsFor_ != nullptr && walkWaitsFor_->state == Folder::State::Listed &&
           (publications_ >= walkWakeAt_ || listedAhead_ >= windowLimit_ || inProgress_ == 0);
}

// The readers' side.

void FolderTreeReader::runReader() {
    ReaderState reader;
    std::unique_lock lock(mutex_);
    try {
        while (!cancelled_) {
            Folder* folder = nextFolder(reader);
            if (folder == nullptr) {
                // Even with nothing left to list, the walk may still ask for a folder that
                // the readers passed by (below one listed twice).
                readersWaiting_ = true;
                readersWake_.wait(lock);
                continue;
            }
            folder->state = Folder::State::Taken;
            ++inProgress_;
            const OpenPlan plan = planOpen(folder);
            lock.unlock();
            const int keptFd = list(folder, plan, reader);
            lock.lock();
            publish(folder, keptFd);
        }
    } catch (...) {
        if (!lock.owns_lock()) {
            lock.lock();
        }
        fail(std::current_exception());
    }
    releasePath(reader);
}

// The folder this reader lists next: the one the walk waits for if no one has taken it;
// else, while the readers are not too far ahead, the next free sub-folder below or beside
// the folder it listed last; else the first free one in the walk's order.
FolderTreeReader::Folder* FolderTreeReader::nextFolder(ReaderState& reader) {
    if (wanted_ != nullptr) {
        Folder* wanted = std::exchange(wanted_, nullptr);
        if (wanted->state == Folder::State::Free) {
            releasePath(reader);
            for (Folder* up = wanted; up != nullptr; up = up->parent) {
                retain(up);
                reader.path.push_back(up);
            }
            std::reverse(reader.path.begin(), reader.path.end());
            if (Folder* parent = wanted->parent;
                parent != nullptr && parent->nextToTake == wanted->subfolderIndex) {
                ++parent->nextToTake;  // so that taking in order never comes to it again
            }
            return wanted;
        }
    }
    if (listedAhead_ >= windowLimit_) {
        return nullptr;
    }
    if (reader.returns != returnsToWalk_) {
        reader.returns = returnsToWalk_;
        releasePath(reader);  // and on from the first free folder in the walk's order
    }
    // Going further back up its own path, a reader would take later parts of the tree
    // while earlier ones still wait, and fill the window with them.
    for (int levelsUp = 0; levelsUp < 2 && !reader.path.empty(); ++levelsUp) {
        if (Folder* next = claimSubfolder(reader.path.back(), reader)) {
            return next;
        }
        release(reader.path.back());
        reader.path.pop_back();
    }
    releasePath(reader);
    return firstFreeFolder(reader);
}

void FolderTreeReader::releasePath(ReaderState& reader) {
    for (Folder* folder : reader.path) {
        release(folder);
    }
    reader.path.clear();
}

// Whether the readers go on below `folder` of their own accord. Below a folder that was
// listed before under another name (a link, a bind mount, a loop) the walk will most
// likely enter nothing, so its sub-folders are listed only when the walk asks for them.
bool FolderTreeReader::ReadsAheadBelow(const Folder* folder) {
    return folder->state == Folder::State::Listed && !folder->skipped && !folder->duplicate;
}

// The next free sub-folder of `parent`, put on the reader's path.
FolderTreeReader::Folder* FolderTreeReader::claimSubfolder(Folder* parent, ReaderState& reader) {
    if (!ReadsAheadBelow(parent)) {
        return nullptr;
    }
    while (parent->nextToTake < parent->subfolderEntries.size()) {
        Folder* next = createSubfolder(parent, parent->nextToTake++);
        if (next->state == Folder::State::Free) {
            retain(next);
            reader.path.push_back(next);
            return next;
        }
    }
    return nullptr;
}

// The first free folder of the tree in the walk's order, searched from the source
// through the folders that are listed: below the sub-folders already taken before the
// next one to take. The reader's path becomes the way to it.
FolderTreeReader::Folder* FolderTreeReader::firstFreeFolder(ReaderState& reader) {
    if (source_ == nullptr) {
        return nullptr;
    }
    if (source_->state == Folder::State::Free) {
        retain(source_);
        reader.path.push_back(source_);
        return source_;
    }
    struct Step {
        Folder* folder;
        size_t next;  // the sub-folder to look below next
    };
    std::vector<Step> way;
    if (ReadsAheadBelow(source_)) {
        way.push_back({source_, source_->searchFrom});
    }
    while (!way.empty()) {
        Step& step = way.back();
        Folder* const folder = step.folder;
        Folder* down = nullptr;
        while (down == nullptr && step.next < folder->nextToTake) {
            Folder* below = folder->subfolders[step.next];
            if (below == nullptr && step.next == folder->searchFrom) {
                ++folder->searchFrom;  // done by the walk: never searched again
            }
            ++step.next;
            if (below != nullptr && ReadsAheadBelow(below)) {
                down = below;
            }
        }
        if (down != nullptr) {
            way.push_back({down, down->searchFrom});
            continue;
        }
        if (folder->nextToTake < folder->subfolderEntries.size()) {
            for (const Step& on : way) {
                retain(on.folder);
                reader.path.push_back(on.folder);
            }
            if (Folder* next = claimSubfolder(folder, reader)) {
                return next;
            }
            for (size_t i = 0; i < way.size(); ++i) {
                release(reader.path.back());
                reader.path.pop_back();
            }
        }
        way.pop_back();
    }
    return nullptr;
}

FolderTreeReader::OpenPlan FolderTreeReader::planOpen(const Folder* folder) const {
    OpenPlan plan;
    const Folder* parent = folder->parent;
    if (parent == nullptr) {
        plan.name = sourcePath_;
        return plan;
    }
    plan.name = folder->name();
    plan.parentDevice = parent->device;
    plan.parentInode = parent->inode;
    const Folder* anchor = parent;
    while (anchor != nullptr && anchor->fd < 0) {
        plan.namesToParent.push_back(anchor->parent == nullptr ? sourcePath_ : anchor->name());
        anchor = anchor->parent;
    }
    std::reverse(plan.namesToParent.begin(), plan.namesToParent.end());
    if (anchor != nullptr) {
        plan.anchorFd = anchor->fd;
    }
    return plan;
}

// Opens and lists the folder, without the lock. Only this reader touches the folder's
// listing until it is published.
int FolderTreeReader::list(Folder* folder, const OpenPlan& plan, ReaderState& reader) {
    int fd = -1;
    {
        int directory = plan.anchorFd;
        bool ownDirectory = false;
        for (const std::string& name : plan.namesToParent) {
            const int next = openat(directory, name.c_str(), kOpenFolderFlags);
            if (ownDirectory) {
                close(directory);
            }
            directory = next;
            ownDirectory = true;
            if (directory < 0) {
                break;
            }
        }
        // A parent opened again must still be the folder that was listed.
        struct stat info {};
        const bool sameParent =
            !ownDirectory || (directory >= 0 && fstat(directory, &info) == 0 &&
                              info.st_dev == plan.parentDevice && info.st_ino == plan.parentInode);
        if (sameParent) {
            fd = openat(directory, plan.name.c_str(), kOpenFolderFlags);
        }
        if (ownDirectory && directory >= 0) {
            close(directory);
        }
    }
    struct stat info {};
    if (fd >= 0 && fstat(fd, &info) != 0) {
        CloseDescriptor(fd);
    }
    if (fd >= 0) {
        folder->identified = true;
        folder->device = info.st_dev;
        folder->inode = info.st_ino;
        const auto [known, added] = reader.pseudoDevices.try_emplace(info.st_dev, false);
        if (added) {
            known->second = platform::IsPseudoFileSystem(platform::FileSystemMagic(fd));
        }
        if (!known->second) {
            folder->entries.read(fd);
        }
    }
    for (size_t i = 0; i < folder->entries.size(); ++i) {
        if (Descends(folder->entries, i)) {
            folder->subfolderEntries.push_back(static_cast<uint32_t>(i));
        }
    }
    folder->subfolders.assign(folder->subfolderEntries.size(), nullptr);
    if (!HoldsDescriptor(folder->depth) || folder->subfolderEntries.empty()) {
        CloseDescriptor(fd);
    }
    return fd;
}

void FolderTreeReader::publish(Folder* folder, int keptFd) {
    folder->fd = keptFd;
    folder->state = Folder::State::Listed;
    if (folder->identified) {
        const auto [known, added] =
            knownFolders_.try_emplace({folder->device, folder->inode}, KnownFolder{folder, false});
        folder->known = &known->second;
        folder->duplicate = !added;
    }
    --inProgress_;
    ++publications_;
    if (!folder->skipped) {
        folder->countedAhead = true;
        ++listedAhead_;
    }
    // A parent whose sub-folders are all open needs its descriptor only where a level
    // below it may have to be opened again from it.
    if (Folder* parent = folder->parent;
        parent != nullptr && ++parent->openedSubfolders == parent->subfolderEntries.size() &&
        parent->depth + 1 < kLevelsAlwaysHeld) {
        CloseDescriptor(parent->fd);
    }
    if (walkMayGoOn()) {
        walkWaitsFor_ = nullptr;  // woken once
        walkWake_.notify_one();
    }
    if (!folder->subfolderEntries.empty()) {
        wakeReaders();  // new folders to take
    }
}

}  // namespace spurfix
