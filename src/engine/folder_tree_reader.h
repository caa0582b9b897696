#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "engine/folder_id.h"
#include "platform/folder_reader.h"

namespace spurfix {

// Whether entry `i` of a listing leads into a folder that the walk enters. The readers
// and the walk both ask this one function, so that they agree on the tree.
[[nodiscard]] inline bool Descends(const platform::FolderEntries& entries, size_t i) {
    const std::string_view name = entries.name(i);
    return entries.isFolder(i) && name != "." && name != "..";
}

// Lists every folder below a source on reader threads of its own, ahead of the walk.
// One folder's listing costs a few system calls and some microseconds, so handing folders
// out one by one would cost as much as listing them: each reader instead goes depth
// first, taking the next sub-folder that no one has taken below or beside the folder it
// listed last, and otherwise the first free folder of the tree in the walk's order.
// The walk then goes through the listings in its own order, waiting where a listing is
// not there yet; a folder it waits for that no one has taken is listed next.
//
// The readers never hold more than a bounded number of listings ahead of the walk, and
// keep descriptors only where a deep tree needs them to come back (as the walk did on
// its own). What decides what the reading contains (entering a folder once, leaving out
// its contents) happens when the walk enters a folder, in its order, so the result does
// not depend on which reader came first.
class FolderTreeReader {
  public:
    class Folder;

    explicit FolderTreeReader(std::string sourcePath);
    ~FolderTreeReader();
    FolderTreeReader(const FolderTreeReader&) = delete;
    FolderTreeReader& operator=(const FolderTreeReader&) = delete;

    // A folder the walk enters, with its entries in the kernel's order (none when it
    // could not be opened, or lies on a pseudo file system), valid until finished(folder).
    // The entries are null where the walk entered the same folder under another name
    // before in this reading: what is below it is left out.
    struct Entered {
        Folder* folder;
        const platform::FolderEntries* entries;
    };
    // Waits until the source (`parent` null) or the folder behind the `k`-th entry of
    // `parent`'s listing that Descends() is listed; throws what a reader failed with.
    Entered enter(Folder* parent, size_t k);
    // The walk is done with `folder` and all below it.
    void finished(Folder* folder);

  private:
    struct ReaderState;
    struct OpenPlan;

    void runReader();
    Folder* nextFolder(ReaderState& reader);
    Folder* claimSubfolder(Folder* parent, ReaderState& reader);
    Folder* firstFreeFolder(ReaderState& reader);
    void releasePath(ReaderState& reader);
    Folder* createSubfolder(Folder* parent, size_t k);
    // With the lock held:
    void awaitListing(Folder* folder, std::unique_lock<std::mutex>& lock);
    bool enterOnce(Folder* folder);
    OpenPlan planOpen(const Folder* folder) const;
    // Returns the descriptor the folder keeps, or -1.
    int list(Folder* folder, const OpenPlan& plan, ReaderState& reader);
    void publish(Folder* folder, int keptFd);
    [[nodiscard]] bool walkMayGoOn() const;  // with the lock held
    static bool ReadsAheadBelow(const Folder* folder);
    void skipBelow(Folder* folder);
    void wakeReaders();
    static void retain(Folder* folder);
    void release(Folder* folder);
    void destroy(Folder* folder);
    void takeFinished();
    void stopAndFree();
    static void DeleteAll(std::vector<Folder*>& folders);
    void fail(std::exception_ptr error);  // with the lock held

    const std::string sourcePath_;
    std::mutex mutex_;
    std::condition_variable readersWake_;
    std::condition_variable walkWake_;
    // Guarded by mutex_:
    Folder* source_ = nullptr;
    Folder* wanted_ = nullptr;  // the walk waits for it and no one has taken it
    const Folder* walkWaitsFor_ = nullptr;
    size_t walkWakeAt_ = 0;  // publications after which the waiting walk goes on
    size_t publications_ = 0;
    size_t listedAhead_ = 0;      // listed, not yet taken by the walk
    size_t windowLimit_;          // how many listings may be ahead
    unsigned returnsToWalk_ = 0;  // times the readers were sent back to where the walk is
    size_t inProgress_ = 0;
    bool readersWaiting_ = false;
    bool cancelled_ = false;
    std::exception_ptr error_;
    struct KnownFolder {
        Folder* listedAs = nullptr;  // where the readers read ahead below it
        bool entered = false;        // by the walk
    };
    std::unordered_map<FolderId, KnownFolder, FolderIdHash> knownFolders_;
    std::vector<Folder*> doomed_;  // to be freed
    std::vector<std::thread> readers_;
    std::vector<Folder*> finishedByWalk_;  // the walk's own, not yet handed back
};

}  // namespace spurfix
