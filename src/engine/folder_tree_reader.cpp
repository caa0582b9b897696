// The folder reader. One mutex guards the tree; the walk (on the caller's thread) and the
// readers (two threads) each hold it only for bookkeeping, never for a system call that
// may block, except close().
//
// Why the readers share the tree instead of taking requests from a single owner. The
// design where the walk's thread owns folders, descriptors, budget and window and the
// readers only list what a queue asks for was built and passed every test of the walk.
// On a loaded machine it was slower: a reader cannot go on below the folder it just
// listed, because only the owner learns of the sub-folders, so every level of the tree
// costs a hand-over to the walk's thread and back. On a quiet machine the two were level.
// Here a reader goes depth first on its own and the walk is woken once per batch. The
// figures are in bench/RESULTS-reader.md; the other design is in the history ("Folder
// reader with one owner").
//
// A folder's states, and who moves it from one to the next:
//
//            reader takes it            reader publishes            walk enters it
//   Free ------------------> Taken ------------------------> Listed ----------------> entered
//     |  (nextFolder: the walk       (list() runs without         (enterOnce: first   or left
//     |   wants it, or depth         the lock; only the taking    time by device and  out
//     |   first, or first free       reader touches the listing   inode, else left
//     |   in the walk's order)       until it is published)       out with all below)
//     |
//     +-- skipped: below a folder left out; still listed if the walk asks, never read ahead
//
//   A folder is freed once the walk has finished it (or its parent) and no reader's path
//   holds it (`refs`); a reader stuck in a listing keeps the whole tree alive through its
//   shared ownership, so the walk may end without waiting for it.
//
// The descriptor rule. Every descriptor the reading holds is counted against a budget of
// a quarter of the open-file limit, never more than 256, the readers' own open()s
// included; the readers' share is set aside, folders hold the rest:
//
//     none ---- listed, with sub-folders still to open, not skipped ----> held
//      ^        (where the budget is spent, the longest holder gives     |
//      |         its descriptor back first)                              |
//      +---- its last sub-folder is opened; skipped; the budget is spent +
//            and it held longest; the readers ran out of descriptors
//            (EMFILE, ENFILE); freed
//
//   A reader that opens a folder from an ancestor's descriptor pins it first, under the
//   lock; a pinned descriptor is closed only once unpinned. A folder whose parent holds no
//   descriptor is opened from the nearest ancestor that holds one, one name at a time
//   (from the source's path where none does), and the parent must still be the folder
//   that was listed (device and inode); the parent opened so keeps that descriptor where
//   the budget allows. EMFILE or ENFILE make the readers give back every descriptor that
//   is not pinned and try again, waiting a little where that freed none: never "empty".
#include "engine/folder_tree_reader.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <list>
#include <thread>
#include <unordered_map>
#include <utility>

#include "engine/annotated_mutex.h"
#include "engine/folder_id.h"
#include "platform/file_systems.h"

namespace spurfix {

namespace {

constexpr int kOpenFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

// How many listings the readers may hold that the walk has not taken yet, and how many
// new ones wake a waiting walk or waiting readers: waking for each one would cost a
// system call per folder.
constexpr size_t kMaxAhead = 256;
constexpr size_t kWakeBatch = 32;
// Where the walk has to ask for a folder while the window is full, the listings ahead
// lie in a part of the tree it comes to only later; the readers then get more room,
// up to this many listings, and go back to where the walk is.
constexpr size_t kMaxAheadStretched = 4 * kMaxAhead;

// A reader holds at most two descriptors of its own at once: the folder it lists and the
// one it opens it from.
constexpr size_t kDescriptorsPerReader = 2;
constexpr size_t kMaxDescriptors = 256;

// How long the walk waits for a listing before it asks whether to stop.
constexpr std::chrono::milliseconds kStopPoll{50};
// How long a reader waits before it tries again where no descriptor could be had.
constexpr std::chrono::milliseconds kDescriptorRetry{5};

// Two readers: the kernel's work for a tree of small folders nearly halves on two
// cores, and a third thread, the walk, takes little of either.
unsigned ReaderCount() {
    return std::clamp(std::thread::hardware_concurrency(), 1U, 2U);
}

size_t DescriptorBudget() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return kMaxDescriptors;
    }
    return std::min<size_t>(kMaxDescriptors, static_cast<size_t>(limit.rlim_cur / 4));
}

void CloseDescriptor(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

bool OutOfDescriptors(int error) {
    return error == EMFILE || error == ENFILE;
}

}  // namespace

// What the reading knows of one folder by device and inode, whatever names lead to it.
struct KnownFolder {
    FolderTreeReader::Folder* listedAs = nullptr;  // where the readers read ahead below it
    bool entered = false;                          // by the walk
};

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

    // Written by the reader that lists the folder before it is published (outside the
    // lock: no one else looks at them while the folder is Taken); read-only afterwards.
    platform::FolderEntries entries;
    std::vector<uint32_t> subfolderEntries;  // the entries that Descends()
    bool identified = false;
    bool unreadable = false;
    dev_t device = 0;
    ino_t inode = 0;

    // Guarded by the tree's mutex (a nested object cannot name it for the compiler).
    State state = State::Free;
    bool skipped = false;               // the walk leaves its contents out
    bool duplicate = false;             // listed before under another name: not read ahead below
    KnownFolder* known = nullptr;       // what is known of the folder behind it, once listed
    bool countedAhead = false;          // listed, and not taken by the walk yet
    int fd = -1;                        // see the descriptor rule
    std::list<Folder*>::iterator held;  // its place among the holders, while fd >= 0
    unsigned pins = 0;                  // readers opening a folder from this descriptor
    unsigned refs = 1;                  // the parent's slot, and each reader's path through it
    uint32_t nextToTake = 0;            // sub-folders below it are taken in order
    uint32_t openedSubfolders = 0;      // sub-folders listed
    uint32_t searchFrom = 0;            // sub-folders before it are done
    std::vector<Folder*> subfolders;    // created when taken or waited for; null once done
};

class FolderTreeReader::Tree : public std::enable_shared_from_this<Tree> {
  public:
    Tree(std::string sourcePath, StopCheck stopCheck)
        : sourcePath_(std::move(sourcePath)),
          stopCheck_(std::move(stopCheck)),
          budget_(DescriptorBudget()),
          folderDescriptors_(budget_ > ReaderCount() * kDescriptorsPerReader
                                 ? budget_ - ReaderCount() * kDescriptorsPerReader
                                 : 0),
          windowLimit_(kMaxAhead) {
        source_ = new Folder(nullptr, 0);
    }
    ~Tree();
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    static void StartReaders(const std::shared_ptr<Tree>& tree);
    void stop() SPURFIX_EXCLUDES(mutex_);
    Entered enter(Folder* parent, size_t k) SPURFIX_EXCLUDES(mutex_);
    void finished(std::vector<Folder*>& folders) SPURFIX_EXCLUDES(mutex_);
    [[nodiscard]] size_t budget() const { return budget_; }

  private:
    struct ReaderState;
    struct OpenPlan;
    struct Listing;

    void runReader(size_t index) SPURFIX_EXCLUDES(mutex_);
    Folder* nextFolder(ReaderState& reader) SPURFIX_REQUIRES(mutex_);
    Folder* claimSubfolder(Folder* parent, ReaderState& reader) SPURFIX_REQUIRES(mutex_);
    Folder* firstFreeFolder(ReaderState& reader) SPURFIX_REQUIRES(mutex_);
    void releasePath(ReaderState& reader) SPURFIX_REQUIRES(mutex_);
    Folder* createSubfolder(Folder* parent, size_t k) SPURFIX_REQUIRES(mutex_);
    bool awaitListing(Folder* folder, AnnotatedLock& lock) SPURFIX_REQUIRES(mutex_);
    bool enterOnce(Folder* folder) SPURFIX_REQUIRES(mutex_);
    OpenPlan planOpen(Folder* folder) SPURFIX_REQUIRES(mutex_);
    Listing listFolder(Folder* folder, ReaderState& reader, AnnotatedLock& lock)
        SPURFIX_REQUIRES(mutex_);
    Listing list(Folder* folder, const OpenPlan& plan, ReaderState& reader) const;
    void publish(Folder* folder, Listing& listing) SPURFIX_REQUIRES(mutex_);
    [[nodiscard]] bool walkMayGoOn() const SPURFIX_REQUIRES(mutex_);
    static bool ReadsAheadBelow(const Folder* folder);
    void skipBelow(Folder* folder) SPURFIX_REQUIRES(mutex_);
    void wakeReaders() SPURFIX_REQUIRES(mutex_);
    static void retain(Folder* folder);
    void release(Folder* folder) SPURFIX_REQUIRES(mutex_);
    void destroy(Folder* folder) SPURFIX_REQUIRES(mutex_);
    void fail(std::exception_ptr error) SPURFIX_REQUIRES(mutex_);
    // The descriptor rule.
    [[nodiscard]] static bool NeedsDescriptor(const Folder* folder);
    void keep(Folder* folder, int& fd) SPURFIX_REQUIRES(mutex_);
    void giveBack(Folder* folder) SPURFIX_REQUIRES(mutex_);
    void giveBackUnneeded(Folder* folder) SPURFIX_REQUIRES(mutex_);
    void giveBackOldest() SPURFIX_REQUIRES(mutex_);
    size_t giveBackAll() SPURFIX_REQUIRES(mutex_);

    const std::string sourcePath_;
    const StopCheck stopCheck_;
    const size_t budget_;
    const size_t folderDescriptors_;  // of the budget, what folders may hold
    AnnotatedMutex mutex_;
    std::condition_variable readersWake_;
    std::condition_variable walkWake_;
    Folder* source_ SPURFIX_GUARDED_BY(mutex_) = nullptr;
    Folder* wanted_ SPURFIX_GUARDED_BY(mutex_) = nullptr;  // the walk waits, no one took it
    const Folder* walkWaitsFor_ SPURFIX_GUARDED_BY(mutex_) = nullptr;
    // publications after which the waiting walk goes on
    size_t walkWakeAt_ SPURFIX_GUARDED_BY(mutex_) = 0;
    size_t publications_ SPURFIX_GUARDED_BY(mutex_) = 0;
    size_t listedAhead_ SPURFIX_GUARDED_BY(mutex_) = 0;  // listed, not yet taken by the walk
    size_t windowLimit_ SPURFIX_GUARDED_BY(mutex_);      // how many listings may be ahead
    // times the readers were sent back to where the walk is
    unsigned returnsToWalk_ SPURFIX_GUARDED_BY(mutex_) = 0;
    size_t inProgress_ SPURFIX_GUARDED_BY(mutex_) = 0;
    bool readersWaiting_ SPURFIX_GUARDED_BY(mutex_) = false;
    bool cancelled_ SPURFIX_GUARDED_BY(mutex_) = false;
    std::exception_ptr error_ SPURFIX_GUARDED_BY(mutex_);
    std::unordered_map<FolderId, KnownFolder, FolderIdHash> knownFolders_
        SPURFIX_GUARDED_BY(mutex_);
    std::vector<Folder*> doomed_ SPURFIX_GUARDED_BY(mutex_);  // to be freed
    // The folders that hold a descriptor, the longest held first.
    std::list<Folder*> holders_ SPURFIX_GUARDED_BY(mutex_);
    std::vector<std::thread> readers_ SPURFIX_GUARDED_BY(mutex_);
    std::vector<bool> readerEnded_ SPURFIX_GUARDED_BY(mutex_);
    size_t readersOutsideListing_ SPURFIX_GUARDED_BY(mutex_) = 0;  // running, not in list()
};

// Where a reader is in the tree: the path from the source down to the folder it lists,
// each folder on it held, and what it knows of file systems.
struct FolderTreeReader::Tree::ReaderState {
    std::vector<Folder*> path;
    unsigned returns = 0;  // the returns to the walk's position it has made
    std::unordered_map<dev_t, bool> pseudoDevices;
};

// How a folder is opened: by name in its parent's descriptor, or where the parent holds
// none, from the nearest ancestor that does (pinned), one name at a time to the parent.
struct FolderTreeReader::Tree::OpenPlan {
    Folder* anchor = nullptr;  // pinned; null: from the source's path
    int anchorFd = AT_FDCWD;
    std::vector<std::string> namesToParent;
    dev_t parentDevice = 0;
    ino_t parentInode = 0;
    std::string name;
};

// What list() hands back to be published.
struct FolderTreeReader::Tree::Listing {
    bool outOfDescriptors = false;  // nothing was listed: try again
    int fd = -1;                    // the folder's own
    int reopenedParentFd = -1;      // the parent, where it was opened again on the way
    Folder* anchor = nullptr;       // to unpin
};

// The walk's handle.

FolderTreeReader::FolderTreeReader(std::string sourcePath, StopCheck stopCheck)
    : tree_(std::make_shared<Tree>(std::move(sourcePath), std::move(stopCheck))) {
    Tree::StartReaders(tree_);
}

FolderTreeReader::~FolderTreeReader() {
    tree_->finished(finishedByWalk_);
    tree_->stop();
}

FolderTreeReader::Entered FolderTreeReader::enter(Folder* parent, size_t k) {
    return tree_->enter(parent, k);
}

// The walk hands back the folders it is done with in batches, and frees them outside the
// lock, so that it holds the readers up as little as possible.
void FolderTreeReader::finished(Folder* folder) {
    finishedByWalk_.push_back(folder);
    if (finishedByWalk_.size() >= kWakeBatch) {
        tree_->finished(finishedByWalk_);
    }
}

size_t FolderTreeReader::descriptorBudget() const {
    return tree_->budget();
}

// Starting and stopping.

void FolderTreeReader::Tree::StartReaders(const std::shared_ptr<Tree>& tree) {
    const unsigned count = ReaderCount();
    try {
        for (unsigned i = 0; i < count; ++i) {
            const AnnotatedLock lock(tree->mutex_);
            tree->readers_.emplace_back([tree, i] { tree->runReader(i); });
            tree->readerEnded_.push_back(false);
            ++tree->readersOutsideListing_;
        }
    } catch (...) {
        // Without a thread the reading cannot go on; those already running are stopped.
        tree->stop();
        throw;
    }
}

// Stops the readers: those that are not in a listing end at once and are waited for;
// one in a listing may be stuck in the kernel (a medium that does not answer) and is
// left to end on its own, holding the tree until then.
void FolderTreeReader::Tree::stop() {
    std::vector<std::thread> ended;
    {
        AnnotatedLock lock(mutex_);
        cancelled_ = true;
        readersWake_.notify_all();
        while (readersOutsideListing_ > 0) {
            lock.wait(walkWake_);
        }
        for (size_t i = 0; i < readers_.size(); ++i) {
            if (readerEnded_[i]) {
                ended.push_back(std::move(readers_[i]));
            } else {
                readers_[i].detach();
            }
        }
        readers_.clear();
    }
    for (std::thread& reader : ended) {
        reader.join();
    }
}

FolderTreeReader::Tree::~Tree() {
    // The last owner: no reader runs any more.
    const AnnotatedLock lock(mutex_);
    if (source_ != nullptr) {
        destroy(source_);
    }
    for (Folder* folder : doomed_) {
        delete folder;
    }
}

void FolderTreeReader::Tree::retain(Folder* folder) {
    ++folder->refs;
}

void FolderTreeReader::Tree::release(Folder* folder) {
    if (--folder->refs == 0) {
        destroy(folder);
    }
}

// Frees the folder and what is left below it: sub-folders the walk never entered, each
// held only by its slot once no reader is on its path.
void FolderTreeReader::Tree::destroy(Folder* folder) {
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
        next->pins = 0;  // no reader is on its path, so none opens from it
        giveBack(next);
        doomed_.push_back(next);  // freed outside the lock
    }
}

void FolderTreeReader::Tree::fail(std::exception_ptr error) {
    if (!error_) {
        error_ = std::move(error);
    }
    cancelled_ = true;
    readersWake_.notify_all();
    walkWake_.notify_all();
}

// The descriptor rule.

bool FolderTreeReader::Tree::NeedsDescriptor(const Folder* folder) {
    return folder->state == Folder::State::Listed && !folder->skipped &&
           folder->openedSubfolders < folder->subfolderEntries.size();
}

// Hands `fd` to the folder where it needs one; where the budget is spent, the folder that
// has held one longest gives its back: the newest are those the walk and the readers are
// busy with, an older one is opened again from an ancestor when it is needed again.
void FolderTreeReader::Tree::keep(Folder* folder, int& fd) {
    if (fd >= 0 && folder->fd < 0 && NeedsDescriptor(folder)) {
        if (holders_.size() >= folderDescriptors_) {
            giveBackOldest();
        }
        if (holders_.size() < folderDescriptors_) {
            folder->fd = std::exchange(fd, -1);
            folder->held = holders_.insert(holders_.end(), folder);
        }
    }
    CloseDescriptor(fd);
}

void FolderTreeReader::Tree::giveBack(Folder* folder) {
    if (folder->fd >= 0 && folder->pins == 0) {
        CloseDescriptor(folder->fd);
        holders_.erase(folder->held);
    }
}

void FolderTreeReader::Tree::giveBackOldest() {
    const auto oldest = std::find_if(holders_.begin(), holders_.end(),
                                     [](const Folder* folder) { return folder->pins == 0; });
    if (oldest != holders_.end()) {
        giveBack(*oldest);
    }
}

void FolderTreeReader::Tree::giveBackUnneeded(Folder* folder) {
    if (!NeedsDescriptor(folder)) {
        giveBack(folder);
    }
}

size_t FolderTreeReader::Tree::giveBackAll() {
    std::vector<Folder*> unpinned;
    for (Folder* folder : holders_) {
        if (folder->pins == 0) {
            unpinned.push_back(folder);
        }
    }
    for (Folder* folder : unpinned) {
        giveBack(folder);
    }
    return unpinned.size();
}

// The walk's side.

FolderTreeReader::Folder* FolderTreeReader::Tree::createSubfolder(Folder* parent, size_t k) {
    Folder*& slot = parent->subfolders[k];
    if (slot == nullptr) {
        slot = new Folder(parent, static_cast<uint32_t>(k));
        slot->skipped = parent->skipped;
    }
    return slot;
}

FolderTreeReader::Entered FolderTreeReader::Tree::enter(Folder* parent, size_t k) {
    AnnotatedLock lock(mutex_);
    Folder* const folder = parent == nullptr ? source_ : createSubfolder(parent, k);
    if (!awaitListing(folder, lock)) {
        return {folder, nullptr, false, true};
    }
    const bool once = enterOnce(folder);
    return {folder, once ? &folder->entries : nullptr, once && folder->unreadable, false};
}

// Waits until the folder is listed; false where the stop came first.
bool FolderTreeReader::Tree::awaitListing(Folder* folder, AnnotatedLock& lock) {
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
        if (!error_ && walkWaitsFor_ != nullptr) {
            lock.waitFor(walkWake_, 2ms);
        }
        // The batch is late: then as soon as the folder is listed, asking now and then
        // whether to stop, however long the medium takes.
        walkWakeAt_ = 0;
        while (!error_ && walkWaitsFor_ != nullptr && folder->state != Folder::State::Listed) {
            if (lock.waitFor(walkWake_, kStopPoll) || !stopCheck_) {
                continue;
            }
            mutex_.unlock();  // the lock object's own state stays: it is held again below
            const bool stop = stopCheck_();
            mutex_.lock();
            if (stop) {
                walkWaitsFor_ = nullptr;
                return false;
            }
        }
        walkWaitsFor_ = nullptr;
    }
    if (error_) {
        std::rethrow_exception(error_);
    }
    if (folder->state != Folder::State::Listed) {
        return awaitListing(folder, lock);  // woken for a batch before this one was done
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
    return true;
}

bool FolderTreeReader::Tree::enterOnce(Folder* folder) {
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

// Nothing more is read below `folder`, what was read there no longer counts against the
// readers' window, and its descriptors are given back.
void FolderTreeReader::Tree::skipBelow(Folder* folder) {
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
        giveBack(next);
        for (Folder* below : next->subfolders) {
            if (below != nullptr) {
                pending.push_back(below);
            }
        }
    }
    wakeReaders();
}

void FolderTreeReader::Tree::wakeReaders() {
    if (readersWaiting_) {
        readersWaiting_ = false;
        readersWake_.notify_all();
    }
}

void FolderTreeReader::Tree::finished(std::vector<Folder*>& folders) {
    std::vector<Folder*> doomed;
    {
        const AnnotatedLock lock(mutex_);
        for (Folder* folder : folders) {
            if (folder->parent != nullptr) {
                folder->parent->subfolders[folder->subfolderIndex] = nullptr;
            } else {
                source_ = nullptr;
            }
            release(folder);
        }
        doomed.swap(doomed_);
    }
    folders.clear();
    for (Folder* folder : doomed) {
        delete folder;
    }
}

// The waiting walk goes on after a batch of listings, or sooner where no batch will come:
// the readers wait for the walk, or have nothing left to list.
bool FolderTreeReader::Tree::walkMayGoOn() const {
    return walkWaitsFor_ != nullptr && walkWaitsFor_->state == Folder::State::Listed &&
           (publications_ >= walkWakeAt_ || listedAhead_ >= windowLimit_ || inProgress_ == 0);
}

// The readers' side.

void FolderTreeReader::Tree::runReader(size_t index) {
    ReaderState reader;
    AnnotatedLock lock(mutex_);
    try {
        while (!cancelled_) {
            Folder* folder = nextFolder(reader);
            if (folder == nullptr) {
                // Even with nothing left to list, the walk may still ask for a folder that
                // the readers passed by (below one listed twice).
                readersWaiting_ = true;
                lock.wait(readersWake_);
                continue;
            }
            folder->state = Folder::State::Taken;
            ++inProgress_;
            Listing listing = listFolder(folder, reader, lock);
            publish(folder, listing);
        }
    } catch (...) {
        fail(std::current_exception());
    }
    releasePath(reader);
    readerEnded_[index] = true;
    --readersOutsideListing_;
    walkWake_.notify_all();
}

// Lists the folder without the lock, trying again where descriptors ran out.
FolderTreeReader::Tree::Listing FolderTreeReader::Tree::listFolder(Folder* folder,
                                                                   ReaderState& reader,
                                                                   AnnotatedLock& lock) {
    for (;;) {
        const OpenPlan plan = planOpen(folder);
        --readersOutsideListing_;
        mutex_.unlock();  // the lock object's own state stays: it is held again below
        Listing listing;
        std::exception_ptr error;
        try {
            listing = list(folder, plan, reader);
        } catch (...) {
            error = std::current_exception();
        }
        mutex_.lock();
        ++readersOutsideListing_;
        if (plan.anchor != nullptr) {
            --plan.anchor->pins;
        }
        if (error) {
            if (plan.anchor != nullptr) {
                giveBackUnneeded(plan.anchor);
            }
            std::rethrow_exception(error);
        }
        if (!listing.outOfDescriptors || cancelled_) {
            listing.anchor = plan.anchor;
            return listing;
        }
        // Out of descriptors: give back all that are not in use, and where that freed
        // none, wait a little for others in the process to close theirs.
        if (giveBackAll() == 0) {
            lock.waitFor(readersWake_, kDescriptorRetry);
        }
    }
}

// The folder this reader lists next: the one the walk waits for if no one has taken it;
// else, while the readers are not too far ahead, the next free sub-folder below or beside
// the folder it listed last; else the first free one in the walk's order.
FolderTreeReader::Folder* FolderTreeReader::Tree::nextFolder(ReaderState& reader) {
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

void FolderTreeReader::Tree::releasePath(ReaderState& reader) {
    for (Folder* folder : reader.path) {
        release(folder);
    }
    reader.path.clear();
}

// Whether the readers go on below `folder` of their own accord. Below a folder that was
// listed before under another name (a link, a bind mount, a loop) the walk will most
// likely enter nothing, so its sub-folders are listed only when the walk asks for them.
bool FolderTreeReader::Tree::ReadsAheadBelow(const Folder* folder) {
    return folder->state == Folder::State::Listed && !folder->skipped && !folder->duplicate;
}

// The next free sub-folder of `parent`, put on the reader's path.
FolderTreeReader::Folder* FolderTreeReader::Tree::claimSubfolder(Folder* parent,
                                                                 ReaderState& reader) {
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
FolderTreeReader::Folder* FolderTreeReader::Tree::firstFreeFolder(ReaderState& reader) {
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

// The way to open the folder, its anchor pinned until the listing is published.
FolderTreeReader::Tree::OpenPlan FolderTreeReader::Tree::planOpen(Folder* folder) {
    OpenPlan plan;
    const Folder* parent = folder->parent;
    if (parent == nullptr) {
        plan.name = sourcePath_;
        return plan;
    }
    plan.name = folder->name();
    plan.parentDevice = parent->device;
    plan.parentInode = parent->inode;
    Folder* anchor = folder->parent;
    while (anchor != nullptr && anchor->fd < 0) {
        plan.namesToParent.push_back(anchor->parent == nullptr ? sourcePath_ : anchor->name());
        anchor = anchor->parent;
    }
    std::reverse(plan.namesToParent.begin(), plan.namesToParent.end());
    if (anchor != nullptr) {
        ++anchor->pins;
        plan.anchor = anchor;
        plan.anchorFd = anchor->fd;
    }
    return plan;
}

// Opens and lists the folder, without the lock: only this reader touches the folder's
// listing until it is published, and the descriptor it opens from is pinned.
FolderTreeReader::Tree::Listing FolderTreeReader::Tree::list(Folder* folder, const OpenPlan& plan,
                                                             ReaderState& reader) const {
    Listing listing;
    int openError = 0;
    {
        int directory = plan.anchorFd;
        bool ownDirectory = false;
        for (const std::string& name : plan.namesToParent) {
            const int next = openat(directory, name.c_str(), kOpenFolderFlags);
            openError = next < 0 ? errno : 0;
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
            listing.fd = openat(directory, plan.name.c_str(), kOpenFolderFlags);
            openError = listing.fd < 0 ? errno : 0;
        } else if (openError == 0) {
            openError = ENOENT;  // the parent was moved away: gone, not unreadable
        }
        if (ownDirectory && directory >= 0) {
            if (sameParent) {
                listing.reopenedParentFd = directory;
            } else {
                close(directory);
            }
        }
    }
    if (listing.fd < 0 && OutOfDescriptors(openError)) {
        CloseDescriptor(listing.reopenedParentFd);
        listing.outOfDescriptors = true;
        return listing;
    }
    // A folder that exists and cannot be opened is a gap in the reading; one that is gone
    // (removed or moved during the walk) is not.
    folder->unreadable = listing.fd < 0 && openError != ENOENT && openError != ENOTDIR &&
                         openError != 0 && folder->parent != nullptr;
    struct stat info {};
    if (listing.fd >= 0 && fstat(listing.fd, &info) != 0) {
        folder->unreadable = true;
        CloseDescriptor(listing.fd);
    }
    if (listing.fd >= 0) {
        folder->identified = true;
        folder->device = info.st_dev;
        folder->inode = info.st_ino;
        const auto [known, added] = reader.pseudoDevices.try_emplace(info.st_dev, false);
        if (added) {
            known->second = platform::IsPseudoFileSystem(platform::FileSystemMagic(listing.fd));
        }
        if (!known->second) {
            folder->entries.read(listing.fd);
            folder->unreadable = !folder->entries.complete();
        }
    }
    for (size_t i = 0; i < folder->entries.size(); ++i) {
        if (Descends(folder->entries, i)) {
            folder->subfolderEntries.push_back(static_cast<uint32_t>(i));
        }
    }
    if (folder->subfolderEntries.empty()) {
        CloseDescriptor(listing.fd);
    }
    return listing;
}

void FolderTreeReader::Tree::publish(Folder* folder, Listing& listing) {
    folder->subfolders.assign(folder->subfolderEntries.size(), nullptr);
    folder->state = Folder::State::Listed;
    if (folder->identified) {
        const auto [known, added] =
            knownFolders_.try_emplace({folder->device, folder->inode}, KnownFolder{folder, false});
        folder->known = &known->second;
        folder->duplicate = !added;
    }
    keep(folder, listing.fd);
    --inProgress_;
    ++publications_;
    if (!folder->skipped) {
        folder->countedAhead = true;
        ++listedAhead_;
    }
    if (Folder* parent = folder->parent; parent != nullptr) {
        ++parent->openedSubfolders;
        keep(parent, listing.reopenedParentFd);
        giveBackUnneeded(parent);
    }
    if (listing.anchor != nullptr) {
        giveBackUnneeded(listing.anchor);
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
