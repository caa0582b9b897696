// The folder reader: one owner, two queues.
//
// The walk's thread owns the tree. Every Folder, every descriptor the reading keeps, the
// budget for them, the look-ahead window and the order of the work live in the Owner and
// are touched by that thread alone, without a lock. The readers (two threads) share
// nothing with it but a Channel: a queue of requests "list this folder, opened by these
// names from this descriptor" and a queue of results (the listing, the folder's identity,
// and the descriptors the request allowed it to hand back). The Channel's fields are the
// only ones under a mutex, and the compiler checks that (-Wthread-safety, the `tsa`
// preset).
//
// Why one owner, although the readers could share the tree. A design where the readers
// walk the tree themselves under one mutex goes on below a folder it has just listed
// without a hand-over, and is faster on a deep chain of folders (about 55 ms less on
// 2,000 levels); on libraries of 100,000 and 1,000,000 entries the two are level on a
// quiet machine (bench/RESULTS-reader.md). That one needed reference counts across
// threads and a rule for descriptors used after unlocking that nobody could check; here
// whoever reads the code sees one thread change the tree, and the compiler checks the
// rest. The other design is in the history ("Folder reader: keep the shared tree").
//
// A folder's states, all moved by the owner:
//
//            read ahead (readAhead)      result absorbed            walk enters it
//   Free ------------------------> Requested -------------> Listed ---------------> entered
//     |   or the walk waits for it  (a reader lists it;      (enterOnce: first time   or left
//     |   (urgent, at the queue's   EMFILE/ENFILE: Free      by device and inode,     out
//     |   front)                    and requested again)     else left out with all
//     |                                                      below it)
//     +-- skipped: below a folder left out; never read ahead, its descriptor given back
//
//   The walk finishing a folder abandons it and all below it. An abandoned folder is
//   freed at once unless something still names it: a request in flight or a request
//   anchored on its descriptor (`pins`); then it lingers until the last of these is gone. A reader
//   never dereferences a Folder: the pointer in a request is only a name for the result.
//
// The descriptor rule. Every descriptor the reading holds counts against a budget of a
// quarter of the open-file limit, never more than 256 and never less than the readers' own
// (which only a limit below 16 would make it). Each reader may hold two of its own
// (the folder it lists and the parent it opened it from); the rest is the owner's:
//
//   held     folders listed, with sub-folders not yet requested, not skipped: their
//            descriptor is kept (`fd`, `holders_`), the longest held given back first
//            where the budget is spent (a second name of a folder keeps its own too: the
//            walk may come to it first and then goes on below it from there);
//   reserved descriptors a request may hand back with its result (`allowance`): the
//            folder's own, and a parent it had to open again. Granted when the request is
//            made; what is not used is closed by the reader.
//
// held + reserved never exceed the owner's share. A request names its anchor, the
// nearest ancestor that holds a descriptor, and shares that descriptor (SharedFd): while
// requests are in flight on it (`pins`) the owner does not give it back, and should the
// owner go away first (a stop while a reader is stuck in the kernel), the reader's share
// keeps it open until the reader lets go. A folder whose parent and ancestors hold none
// is opened from the source's path, one name at a time, and the parent opened so must
// still be the folder that was listed (device and inode). EMFILE or ENFILE in a reader
// make the owner give back every descriptor that is not pinned and request the folder
// again, the reader waiting a little first where that freed none: never "empty".
//
// The stop. The owner closes the Channel: readers waiting for work end at once and are
// joined; a reader in a listing is detached, finishes on its own, finds the Channel
// closed and drops its result (closing its descriptors) and the anchor it shared. Until
// then those three descriptors are open beyond the reading's end, outside any budget.
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
#include <deque>
#include <exception>
#include <list>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "engine/annotated_mutex.h"
#include "engine/folder_id.h"
#include "platform/file_systems.h"

namespace spurfix {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kOpenFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

// How many folders may be requested or listed that the walk has not entered yet, and how
// many requests may be out at once: enough to keep the readers busy while the walk
// catches up, few enough that their reserved descriptors leave room for the held ones.
constexpr size_t kMaxAhead = 256;
constexpr size_t kMaxInFlight = 128;
// How many results wake a waiting walk (once the one it waits for is among them): waking
// for each one would cost a system call per folder. It is woken sooner where fewer
// requests than this are left, so that it hands out more before the readers run dry.
constexpr size_t kWakeBatch = 32;
constexpr size_t kLowWater = 16;
// Where the walk need not wait, it meets the readers only every this many folders, or
// once it has this many requests to hand out: each meeting takes the queues' lock.
constexpr size_t kMeetEvery = 16;

// A reader holds at most two descriptors of its own at once: the folder it lists and the
// one it opens it from.
constexpr size_t kDescriptorsPerReader = 2;
constexpr size_t kMaxDescriptors = 256;

// How often the walk asks whether to stop while it waits for a listing.
constexpr std::chrono::milliseconds kStopPoll{50};
// How long a reader waits before it tries again where no descriptor could be had.
constexpr std::chrono::milliseconds kDescriptorRetry{5};

// Two readers: the kernel's work for a tree of small folders nearly halves on two
// cores, and a third thread, the walk, takes little of either.
size_t ReaderCount() {
    return std::clamp(std::thread::hardware_concurrency(), 1U, 2U);
}

size_t DescriptorBudget() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return kMaxDescriptors;
    }
    return std::min<size_t>(kMaxDescriptors, static_cast<size_t>(limit.rlim_cur / 4));
}

bool OutOfDescriptors(int error) {
    return error == EMFILE || error == ENFILE;
}

// A descriptor closed with its owner.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.fd_, -1));
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool valid() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

// A folder's descriptor as the owner keeps it and requests borrow it: closed when the
// last of them lets go.
using SharedFd = std::shared_ptr<const UniqueFd>;

// What a reader is asked to do.
struct ReadRequest {
    FolderTreeReader::Folder* folder = nullptr;  // names the result; never dereferenced
    SharedFd anchor;                             // null: from the current directory
    std::vector<std::string> namesToParent;      // from the anchor, where the parent holds none
    std::string name;                            // the folder's, from its parent
    dev_t parentDevice = 0;
    ino_t parentInode = 0;
    bool hasParent = false;   // not the source
    unsigned allowance = 0;   // descriptors the result may hand back
    bool retryLater = false;  // descriptors ran out last time: wait a little first
};

// What a reader hands back.
struct ReadResult {
    FolderTreeReader::Folder* folder = nullptr;
    unsigned allowance = 0;
    platform::FolderEntries entries;
    std::vector<uint32_t> subfolderEntries;  // the entries that Descends()
    bool identified = false;
    bool unreadable = false;
    bool outOfDescriptors = false;  // nothing was listed: request it again
    dev_t device = 0;
    ino_t inode = 0;
    UniqueFd fd;                // the folder's own, where it has sub-folders and was allowed
    UniqueFd reopenedParentFd;  // the parent, where it was opened again and allowed
    std::exception_ptr error;
};

// The two queues between the owner and the readers, and what they need to wake each other.
class Channel {
  public:
    // Each reader is counted before its thread starts, and forgotten where it could not.
    size_t addReader() SPURFIX_EXCLUDES(mutex_) {
        const AnnotatedLock lock(mutex_);
        ended_.push_back(false);
        return ended_.size() - 1;
    }
    void forgetLastReader() SPURFIX_EXCLUDES(mutex_) {
        const AnnotatedLock lock(mutex_);
        ended_.pop_back();
    }

    // A reader hands back what it listed (if anything) and takes its next request; false
    // once the channel is closed.
    bool take(size_t reader, std::optional<ReadResult>& done, ReadRequest& next)
        SPURFIX_EXCLUDES(mutex_) {
        std::optional<ReadResult> dropped;  // after the lock: closes its descriptors
        AnnotatedLock lock(mutex_);
        if (done) {
            --inListing_;
            if (closed_) {
                dropped = std::move(done);
            } else {
                handBack(std::move(*done));
            }
            done.reset();
        }
        for (;;) {
            if (closed_) {
                ended_[reader] = true;
                closeWake_.notify_all();
                return false;
            }
            if (!requests_.empty()) {
                next = std::move(requests_.front());
                requests_.pop_front();
                ++inListing_;
                return true;
            }
            ++idle_;
            lock.wait(readersWake_);
            --idle_;
        }
    }

    // A reader waits a little before it tries again; the close ends the wait. False where
    // the reading has ended: then there is nothing to try again. The wait has a condition
    // of its own, so that a request wakes an idle reader, never a pausing one.
    bool pause(std::chrono::milliseconds duration) SPURFIX_EXCLUDES(mutex_) {
        AnnotatedLock lock(mutex_);
        if (!closed_) {
            lock.waitFor(pauseEnd_, duration);
        }
        return !closed_;
    }

    // The owner posts its requests (the urgent ones at the front) and takes the results.
    // Where `awaited` is not among them, it first waits until it is, with a batch of
    // others, or until `until`.
    void exchange(std::vector<ReadRequest>& posts, std::vector<ReadRequest>& urgent,
                  std::vector<ReadResult>& results, const FolderTreeReader::Folder* awaited,
                  Clock::time_point until) SPURFIX_EXCLUDES(mutex_) {
        AnnotatedLock lock(mutex_);
        const size_t posted = posts.size() + urgent.size();
        for (auto request = urgent.rbegin(); request != urgent.rend(); ++request) {
            requests_.push_front(std::move(*request));
        }
        for (ReadRequest& request : posts) {
            requests_.push_back(std::move(request));
        }
        posts.clear();
        urgent.clear();
        if (posted > 0 && idle_ > 0) {
            if (posted > 1) {
                readersWake_.notify_all();
            } else {
                readersWake_.notify_one();
            }
        }
        if (awaited != nullptr &&
            std::none_of(results_.begin(), results_.end(),
                         [awaited](const ReadResult& r) { return r.folder == awaited; })) {
            awaited_ = awaited;
            awaitedArrived_ = false;
            walkWaiting_ = true;
            while (walkWaiting_) {
                const auto now = Clock::now();
                if (now >= until) {
                    break;
                }
                lock.waitFor(walkWake_, until - now);
            }
            walkWaiting_ = false;
            awaited_ = nullptr;
        }
        results.swap(results_);
    }

    // No more requests: readers waiting for one end; waits until every reader has ended
    // or is in a listing, and says which ended. What is left in the queues goes back to
    // the owner to be dropped.
    std::vector<bool> close(std::vector<ReadResult>& results, std::deque<ReadRequest>& requests)
        SPURFIX_EXCLUDES(mutex_) {
        AnnotatedLock lock(mutex_);
        closed_ = true;
        readersWake_.notify_all();
        pauseEnd_.notify_all();
        while (static_cast<size_t>(std::count(ended_.begin(), ended_.end(), true)) + inListing_ <
               ended_.size()) {
            lock.wait(closeWake_);
        }
        results.swap(results_);
        requests.swap(requests_);
        return ended_;
    }

  private:
    void handBack(ReadResult result) SPURFIX_REQUIRES(mutex_) {
        const bool awaitedOne = result.folder == awaited_;
        results_.push_back(std::move(result));
        if (walkWaiting_) {
            awaitedArrived_ = awaitedArrived_ || awaitedOne;
            if (awaitedArrived_ &&
                (results_.size() >= kWakeBatch || requests_.size() < kLowWater)) {
                walkWaiting_ = false;
                walkWake_.notify_one();
            }
        }
    }

    AnnotatedMutex mutex_;
    std::condition_variable readersWake_;
    std::condition_variable pauseEnd_;
    std::condition_variable walkWake_;
    std::condition_variable closeWake_;
    std::deque<ReadRequest> requests_ SPURFIX_GUARDED_BY(mutex_);
    std::vector<ReadResult> results_ SPURFIX_GUARDED_BY(mutex_);
    const FolderTreeReader::Folder* awaited_ SPURFIX_GUARDED_BY(mutex_) = nullptr;
    bool awaitedArrived_ SPURFIX_GUARDED_BY(mutex_) = false;
    bool walkWaiting_ SPURFIX_GUARDED_BY(mutex_) = false;
    bool closed_ SPURFIX_GUARDED_BY(mutex_) = false;
    size_t idle_ SPURFIX_GUARDED_BY(mutex_) = 0;
    size_t inListing_ SPURFIX_GUARDED_BY(mutex_) = 0;
    std::vector<bool> ended_ SPURFIX_GUARDED_BY(mutex_);
};

// What every answer to `request` carries, whatever came of it: which folder it names and
// the descriptors it had reserved.
ReadResult AnswerTo(const ReadRequest& request) {
    ReadResult result;
    result.folder = request.folder;
    result.allowance = request.allowance;
    return result;
}

// The readers' side: opens and lists one folder as asked. `pseudoDevices` is the
// reader's own memory of which file systems are pseudo ones.
ReadResult List(const ReadRequest& request, std::unordered_map<dev_t, bool>& pseudoDevices) {
    ReadResult result = AnswerTo(request);
    int openError = 0;
    UniqueFd own;
    UniqueFd parent;
    {
        int directory = request.anchor != nullptr ? request.anchor->get() : AT_FDCWD;
        const bool reopens = !request.namesToParent.empty();
        UniqueFd opened;
        for (const std::string& name : request.namesToParent) {
            UniqueFd next(openat(directory, name.c_str(), kOpenFolderFlags));
            openError = next.valid() ? 0 : errno;
            opened = std::move(next);
            if (!opened.valid()) {
                break;
            }
            directory = opened.get();
        }
        // A parent opened again must still be the folder that was listed.
        struct stat info {};
        const bool sameParent =
            !reopens || (opened.valid() && fstat(opened.get(), &info) == 0 &&
                         info.st_dev == request.parentDevice && info.st_ino == request.parentInode);
        if (sameParent) {
            own.reset(openat(directory, request.name.c_str(), kOpenFolderFlags));
            openError = own.valid() ? 0 : errno;
            if (reopens) {
                parent = std::move(opened);
            }
        } else if (openError == 0) {
            openError = ENOENT;  // the parent was moved away: gone, not unreadable
        }
    }
    if (!own.valid() && OutOfDescriptors(openError)) {
        result.outOfDescriptors = true;
        return result;
    }
    // A folder that exists and cannot be opened is a gap in the reading; one that is gone
    // (removed or moved during the walk) is not.
    result.unreadable = !own.valid() && openError != ENOENT && openError != ENOTDIR &&
                        openError != 0 && request.hasParent;
    struct stat info {};
    if (own.valid() && fstat(own.get(), &info) != 0) {
        result.unreadable = true;
        own.reset();
    }
    if (own.valid()) {
        result.identified = true;
        result.device = info.st_dev;
        result.inode = info.st_ino;
        const auto [known, added] = pseudoDevices.try_emplace(info.st_dev, false);
        if (added) {
            known->second = platform::IsPseudoFileSystem(platform::FileSystemMagic(own.get()));
        }
        if (!known->second) {
            result.entries.read(own.get());
            result.unreadable = !result.entries.complete();
        }
    }
    for (size_t i = 0; i < result.entries.size(); ++i) {
        if (Descends(result.entries, i)) {
            result.subfolderEntries.push_back(static_cast<uint32_t>(i));
        }
    }
    // As many descriptors go back as the request allows, the folder's own first; the
    // rest close here.
    unsigned allowance = request.allowance;
    if (allowance > 0 && own.valid() && !result.subfolderEntries.empty()) {
        result.fd = std::move(own);
        --allowance;
    }
    if (allowance > 0 && parent.valid()) {
        result.reopenedParentFd = std::move(parent);
    }
    return result;
}

void RunReader(const std::shared_ptr<Channel>& channel, size_t index) {
    std::unordered_map<dev_t, bool> pseudoDevices;
    std::optional<ReadResult> done;
    ReadRequest request;
    while (channel->take(index, done, request)) {
        if (request.retryLater && !channel->pause(kDescriptorRetry)) {
            // The reading ended during the pause: an empty result, only to be dropped.
            done = AnswerTo(request);
        } else {
            try {
                done = List(request, pseudoDevices);
            } catch (...) {
                done = AnswerTo(request);
                done->error = std::current_exception();
            }
        }
        request = ReadRequest{};  // lets go of the anchor before the owner learns of it
    }
}

}  // namespace

// What the reading knows of one folder by device and inode, whatever names lead to it.
struct KnownFolder {
    FolderTreeReader::Folder* listedAs = nullptr;  // where it is read ahead below
    bool entered = false;                          // by the walk
};

// One folder of the tree: the owner's alone.
class FolderTreeReader::Folder {
  public:
    Folder(Folder* parent, uint32_t subfolderIndex)
        : parent(parent),
          subfolderIndex(subfolderIndex),
          skipped(parent != nullptr && parent->skipped) {}

    [[nodiscard]] std::string name() const {
        return std::string(parent->entries.name(parent->subfolderEntries[subfolderIndex]));
    }

    enum class State : uint8_t { Free, Requested, Listed };

    Folder* const parent;           // dangling once abandoned: not used then
    const uint32_t subfolderIndex;  // among the parent's sub-folders

    State state = State::Free;
    bool abandoned = false;     // the walk finished it or a folder above it
    bool skipped;               // the walk leaves its contents out
    bool duplicate = false;     // listed before under another name: not read ahead below
    bool countedAhead = false;  // requested or listed, not entered yet
    bool requestedOnce = false;

    platform::FolderEntries entries;
    std::vector<uint32_t> subfolderEntries;
    bool identified = false;
    bool unreadable = false;
    dev_t device = 0;
    ino_t inode = 0;
    KnownFolder* known = nullptr;  // once listed and identified

    SharedFd fd;                        // see the descriptor rule
    std::list<Folder*>::iterator held;  // its place among the holders, while fd is set
    unsigned pins = 0;                  // requests in flight anchored on fd
    Folder* anchor = nullptr;           // while requested: the folder its request is pinned on
    uint32_t requestedSubfolders = 0;   // sub-folders requested at least once
    uint32_t searchFrom = 0;            // sub-folders before it are finished by the walk
    std::vector<Folder*> subfolders;    // created when listed; null once finished
};

class FolderTreeReader::Owner {
  public:
    Owner(std::string sourcePath, StopCheck stopCheck);
    ~Owner();
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    Entered enter(Folder* parent, size_t k);
    void finished(Folder* folder);
    [[nodiscard]] size_t budget() const { return budget_; }

  private:
    struct ReadAheadStep {
        Folder* folder;
        size_t next;  // the sub-folder to look at next
    };

    void shutDown();
    Folder* subfolder(Folder* parent, size_t k);
    bool awaitListing(Folder* folder);
    void request(Folder* folder, bool urgent, bool retryLater = false);
    void readAhead();
    [[nodiscard]] static bool ReadsAheadBelow(const Folder* folder);
    void absorb(std::vector<ReadResult>& results);
    void absorbOne(ReadResult& result);
    void anchorDone(Folder* anchor);
    bool enterOnce(Folder* folder);
    void skipBelow(Folder* folder);
    void release(Folder* folder);
    void freeIfUnnamed(Folder* folder);
    // The descriptor rule.
    [[nodiscard]] static bool NeedsDescriptor(const Folder* folder);
    unsigned grant(unsigned wanted);
    void keep(Folder* folder, UniqueFd& fd);
    void giveBack(Folder* folder);
    void giveBackUnneeded(Folder* folder);
    bool giveBackOldest();
    size_t giveBackAll();

    const std::string sourcePath_;
    const StopCheck stopCheck_;
    const size_t budget_;
    const size_t ownerDescriptors_;  // of the budget, what is not the readers' own
    std::shared_ptr<Channel> channel_;
    std::vector<std::thread> readers_;

    Folder* source_ = nullptr;
    Folder* current_ = nullptr;  // the folder the walk is in
    std::vector<ReadRequest> posts_;
    std::vector<ReadAheadStep> way_;  // readAhead()'s, kept for its memory
    std::vector<ReadRequest> urgent_;
    std::vector<ReadResult> results_;
    size_t ahead_ = 0;            // folders requested or listed, not entered yet
    size_t inFlight_ = 0;         // requests not yet answered
    size_t reserved_ = 0;         // descriptors the requests in flight may hand back
    size_t sinceMeeting_ = 0;     // folders entered since the walk last met the readers
    std::list<Folder*> holders_;  // the folders that hold a descriptor, the longest held first
    std::unordered_map<FolderId, KnownFolder, FolderIdHash> knownFolders_;
    std::unordered_set<Folder*> lingering_;  // abandoned, still named somewhere
    std::exception_ptr error_;
};

// The walk's handle.

FolderTreeReader::FolderTreeReader(std::string sourcePath, StopCheck stopCheck)
    : owner_(std::make_unique<Owner>(std::move(sourcePath), std::move(stopCheck))) {}

FolderTreeReader::~FolderTreeReader() = default;

FolderTreeReader::Entered FolderTreeReader::enter(Folder* parent, size_t k) {
    return owner_->enter(parent, k);
}

void FolderTreeReader::finished(Folder* folder) {
    owner_->finished(folder);
}

size_t FolderTreeReader::descriptorBudget() const {
    return owner_->budget();
}

// Starting and stopping.

FolderTreeReader::Owner::Owner(std::string sourcePath, StopCheck stopCheck)
    : sourcePath_(std::move(sourcePath)),
      stopCheck_(std::move(stopCheck)),
      budget_(std::max(DescriptorBudget(), ReaderCount() * kDescriptorsPerReader)),
      ownerDescriptors_(budget_ > ReaderCount() * kDescriptorsPerReader
                            ? budget_ - ReaderCount() * kDescriptorsPerReader
                            : 0),
      channel_(std::make_shared<Channel>()) {
    source_ = new Folder(nullptr, 0);
    try {
        for (size_t i = 0; i < ReaderCount(); ++i) {
            const size_t index = channel_->addReader();
            try {
                readers_.emplace_back([channel = channel_, index] { RunReader(channel, index); });
            } catch (...) {
                channel_->forgetLastReader();
                throw;
            }
        }
    } catch (...) {
        // Without a thread the reading cannot go on; those already running are stopped.
        shutDown();
        throw;
    }
}

FolderTreeReader::Owner::~Owner() {
    shutDown();
}

// Closes the channel, joins the readers that ended and leaves those in a listing to end
// on their own, and frees the whole tree.
void FolderTreeReader::Owner::shutDown() {
    std::vector<ReadResult> results;
    std::deque<ReadRequest> requests;
    const std::vector<bool> ended = channel_->close(results, requests);
    for (size_t i = 0; i < readers_.size(); ++i) {
        if (ended[i]) {
            readers_[i].join();
        } else {
            readers_[i].detach();
        }
    }
    readers_.clear();
    if (source_ != nullptr) {
        release(std::exchange(source_, nullptr));
    }
    for (Folder* folder : lingering_) {
        folder->fd.reset();  // a reader still in a listing keeps its share open
        delete folder;
    }
    lingering_.clear();
}

// The walk's side.

FolderTreeReader::Folder* FolderTreeReader::Owner::subfolder(Folder* parent, size_t k) {
    Folder*& slot = parent->subfolders[k];
    if (slot == nullptr) {
        slot = new Folder(parent, static_cast<uint32_t>(k));
    }
    return slot;
}

FolderTreeReader::Entered FolderTreeReader::Owner::enter(Folder* parent, size_t k) {
    Folder* const folder = parent == nullptr ? source_ : subfolder(parent, k);
    if (!awaitListing(folder)) {
        return {folder, nullptr, false, true};
    }
    if (folder->countedAhead) {
        folder->countedAhead = false;
        --ahead_;
    }
    current_ = folder;
    const bool once = enterOnce(folder);
    return {folder, once ? &folder->entries : nullptr, once && folder->unreadable, false};
}

// Hands the readers what there is to read ahead and takes their results, until `folder`
// is listed; false where the stop came first. The stop is asked about every 50 ms of
// waiting, however often the walk is woken in between.
bool FolderTreeReader::Owner::awaitListing(Folder* folder) {
    auto lastCheck = Clock::now();
    for (;;) {
        const bool listed = folder->state == Folder::State::Listed;
        if (folder->state == Folder::State::Free) {
            request(folder, true);
        }
        // Searching for what to read ahead costs a walk through the folders ahead: it is
        // done where the walk waits, or where there is room for a batch.
        if (!listed ||
            (ahead_ + kMeetEvery <= kMaxAhead && inFlight_ + kMeetEvery <= kMaxInFlight)) {
            readAhead();
        }
        if (listed && ++sinceMeeting_ < kMeetEvery && posts_.size() + urgent_.size() < kMeetEvery) {
            return true;
        }
        sinceMeeting_ = 0;
        channel_->exchange(posts_, urgent_, results_, listed ? nullptr : folder,
                           lastCheck + kStopPoll);
        absorb(results_);
        if (error_) {
            std::rethrow_exception(error_);
        }
        if (folder->state == Folder::State::Listed) {
            return true;
        }
        if (Clock::now() - lastCheck >= kStopPoll) {
            lastCheck = Clock::now();
            if (stopCheck_ && stopCheck_()) {
                return false;
            }
        }
    }
}

bool FolderTreeReader::Owner::enterOnce(Folder* folder) {
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
    }
    return true;
}

// Nothing more is read below `folder`, what was read there no longer counts against the
// window, and its descriptors are given back.
void FolderTreeReader::Owner::skipBelow(Folder* folder) {
    std::vector<Folder*> pending{folder};
    while (!pending.empty()) {
        Folder* next = pending.back();
        pending.pop_back();
        next->skipped = true;
        if (next != folder && next->countedAhead) {
            next->countedAhead = false;
            --ahead_;
        }
        if (next->state != Folder::State::Listed) {
            continue;  // requested: it comes back skipped; free: never requested
        }
        giveBack(next);
        for (Folder* below : next->subfolders) {
            if (below != nullptr) {
                pending.push_back(below);
            }
        }
    }
}

// The walk is done with `folder` and all below it: all of it is abandoned.
void FolderTreeReader::Owner::finished(Folder* folder) {
    current_ = folder->parent;  // the walk goes on there
    if (folder->parent != nullptr) {
        folder->parent->subfolders[folder->subfolderIndex] = nullptr;
    } else {
        source_ = nullptr;
    }
    release(folder);
}

void FolderTreeReader::Owner::release(Folder* folder) {
    std::vector<Folder*> pending{folder};
    while (!pending.empty()) {
        Folder* next = pending.back();
        pending.pop_back();
        for (Folder* below : next->subfolders) {
            if (below != nullptr) {
                pending.push_back(below);
            }
        }
        next->subfolders.clear();
        next->abandoned = true;
        if (next->countedAhead) {
            next->countedAhead = false;
            --ahead_;
        }
        if (next->known != nullptr && next->known->listedAs == next) {
            next->known->listedAs = nullptr;
        }
        next->known = nullptr;
        freeIfUnnamed(next);
    }
}

// Frees an abandoned folder that nothing names any more; else it lingers until then.
void FolderTreeReader::Owner::freeIfUnnamed(Folder* folder) {
    if (folder->state == Folder::State::Requested || folder->pins > 0) {
        lingering_.insert(folder);
        return;
    }
    giveBack(folder);
    lingering_.erase(folder);
    delete folder;
}

// Requests.

// Asks the readers for the folder: opened from its parent's descriptor, or from the
// nearest ancestor's that holds one, or from the source's path.
void FolderTreeReader::Owner::request(Folder* folder, bool urgent, bool retryLater) {
    ReadRequest request;
    request.folder = folder;
    request.retryLater = retryLater;
    unsigned wanted = 1;
    if (Folder* const parent = folder->parent; parent == nullptr) {
        request.name = sourcePath_;
    } else {
        request.hasParent = true;
        request.name = folder->name();
        request.parentDevice = parent->device;
        request.parentInode = parent->inode;
        Folder* anchor = parent;
        while (anchor != nullptr && anchor->fd == nullptr) {
            request.namesToParent.push_back(anchor->parent == nullptr ? sourcePath_
                                                                      : anchor->name());
            anchor = anchor->parent;
        }
        std::reverse(request.namesToParent.begin(), request.namesToParent.end());
        if (anchor != nullptr) {
            ++anchor->pins;
            folder->anchor = anchor;
            request.anchor = anchor->fd;
        }
        wanted += request.namesToParent.empty() ? 0 : 1;
        if (!folder->requestedOnce) {
            folder->requestedOnce = true;
            ++parent->requestedSubfolders;
        }
    }
    request.allowance = grant(wanted);
    reserved_ += request.allowance;
    folder->state = Folder::State::Requested;
    ++inFlight_;
    if (!folder->countedAhead && !folder->skipped) {
        folder->countedAhead = true;
        ++ahead_;
    }
    (urgent ? urgent_ : posts_).push_back(std::move(request));
}

// Requests the first folders in the walk's order that no one has requested, within the
// window: from the folder the walk is in, depth first through the folders that are
// listed, first below it, then after it below each folder above it; never below the
// sub-folders the walk has finished (`searchFrom`), a folder left out or one listed
// before under another name. Starting where the walk is keeps the search short however
// deep the tree.
void FolderTreeReader::Owner::readAhead() {
    std::vector<ReadAheadStep>& way = way_;
    size_t from = 0;
    for (Folder* up = current_; up != nullptr && ahead_ < kMaxAhead && inFlight_ < kMaxInFlight;
         from = up->subfolderIndex + 1, up = up->parent) {
        if (!ReadsAheadBelow(up)) {
            continue;
        }
        way.assign(1, {up, std::max<size_t>(from, up->searchFrom)});
        while (!way.empty() && ahead_ < kMaxAhead && inFlight_ < kMaxInFlight) {
            ReadAheadStep& step = way.back();
            Folder* const folder = step.folder;
            if (step.next >= folder->subfolders.size()) {
                way.pop_back();
                continue;
            }
            const size_t k = step.next++;
            Folder* const below = folder->subfolders[k];
            if (below == nullptr) {
                if (k == folder->searchFrom) {
                    ++folder->searchFrom;  // finished by the walk: never searched again
                }
            } else if (below->state == Folder::State::Free && !below->skipped) {
                request(below, false);
            } else if (ReadsAheadBelow(below)) {
                way.push_back({below, below->searchFrom});
            }
        }
    }
}

bool FolderTreeReader::Owner::ReadsAheadBelow(const Folder* folder) {
    return folder->state == Folder::State::Listed && !folder->skipped && !folder->duplicate;
}

// Results.

void FolderTreeReader::Owner::absorb(std::vector<ReadResult>& results) {
    for (ReadResult& result : results) {
        absorbOne(result);
    }
    results.clear();  // closes what was not kept
}

void FolderTreeReader::Owner::absorbOne(ReadResult& result) {
    Folder* const folder = result.folder;
    --inFlight_;
    reserved_ -= result.allowance;
    folder->state = Folder::State::Free;
    Folder* const anchor = std::exchange(folder->anchor, nullptr);
    if (anchor != nullptr) {
        --anchor->pins;
    }
    if (folder->abandoned) {
        freeIfUnnamed(folder);
    } else if (result.error) {
        if (!error_) {
            error_ = result.error;
        }
    } else if (result.outOfDescriptors) {
        // Give back every descriptor that is not in use; where that freed none, others in
        // the process hold them: the reader waits a little before it tries again. A folder
        // below one left out stays Free: the walk never comes to it.
        const bool freed = giveBackAll() > 0;
        if (!folder->skipped) {
            request(folder, true, !freed);
        }
    } else {
        folder->entries = std::move(result.entries);
        folder->subfolderEntries = std::move(result.subfolderEntries);
        folder->identified = result.identified;
        folder->unreadable = result.unreadable;
        folder->device = result.device;
        folder->inode = result.inode;
        folder->subfolders.resize(folder->subfolderEntries.size());
        for (size_t k = 0; k < folder->subfolders.size(); ++k) {
            folder->subfolders[k] = new Folder(folder, static_cast<uint32_t>(k));
        }
        folder->state = Folder::State::Listed;
        if (folder->identified) {
            const auto [known, added] = knownFolders_.try_emplace({folder->device, folder->inode},
                                                                  KnownFolder{folder, false});
            folder->known = &known->second;
            // A second name is not read ahead below, unless the first one will never be
            // entered (left out, or given up): then this one is where the walk goes on.
            KnownFolder& first = known->second;
            const bool firstGoesNowhere = first.listedAs == nullptr || first.listedAs->skipped;
            if (!added && !first.entered && firstGoesNowhere) {
                first.listedAs = folder;
                folder->duplicate = false;
            } else {
                folder->duplicate = !added;
            }
        }
        keep(folder, result.fd);
        if (folder->parent != nullptr) {
            keep(folder->parent, result.reopenedParentFd);
        }
    }
    if (anchor != nullptr) {
        anchorDone(anchor);
    }
}

void FolderTreeReader::Owner::anchorDone(Folder* anchor) {
    if (anchor->abandoned) {
        freeIfUnnamed(anchor);
    } else {
        giveBackUnneeded(anchor);
    }
}

// The descriptor rule.

bool FolderTreeReader::Owner::NeedsDescriptor(const Folder* folder) {
    return folder->state == Folder::State::Listed && !folder->abandoned && !folder->skipped &&
           folder->requestedSubfolders < folder->subfolderEntries.size();
}

// Up to `wanted` descriptors for a request to hand back; where the budget is spent, the
// folder that has held one longest gives its back: the newest are those the walk and the
// readers are busy with, an older one is opened again from an ancestor when needed.
unsigned FolderTreeReader::Owner::grant(unsigned wanted) {
    unsigned granted = 0;
    while (granted < wanted) {
        if (holders_.size() + reserved_ + granted < ownerDescriptors_) {
            ++granted;
        } else if (!giveBackOldest()) {
            break;
        }
    }
    return granted;
}

// Gives `fd` (counted in a request's allowance) to the folder where it needs one.
void FolderTreeReader::Owner::keep(Folder* folder, UniqueFd& fd) {
    if (fd.valid() && folder->fd == nullptr && NeedsDescriptor(folder)) {
        folder->fd = std::make_shared<const UniqueFd>(std::move(fd));
        folder->held = holders_.insert(holders_.end(), folder);
    }
    fd.reset();
}

void FolderTreeReader::Owner::giveBack(Folder* folder) {
    if (folder->fd != nullptr && folder->pins == 0) {
        folder->fd.reset();
        holders_.erase(folder->held);
    }
}

void FolderTreeReader::Owner::giveBackUnneeded(Folder* folder) {
    if (!NeedsDescriptor(folder)) {
        giveBack(folder);
    }
}

bool FolderTreeReader::Owner::giveBackOldest() {
    const auto oldest = std::find_if(holders_.begin(), holders_.end(),
                                     [](const Folder* folder) { return folder->pins == 0; });
    if (oldest == holders_.end()) {
        return false;
    }
    giveBack(*oldest);
    return true;
}

size_t FolderTreeReader::Owner::giveBackAll() {
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

}  // namespace spurfix
