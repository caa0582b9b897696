#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
// The readers never hold more than a bounded number of listings ahead of the walk, nor
// more descriptors than a budget well below the open-file limit (see the .cpp). What
// decides what the reading contains (entering a folder once, leaving out its contents)
// happens when the walk enters a folder, in its order, so the result does not depend on
// which reader came first, nor on how many files the process may open.
class FolderTreeReader {
  public:
    class Folder;

    // Asked about every 50 ms while the walk waits for a listing (a slow medium), on the
    // walk's thread; true stops the reading at once.
    using StopCheck = std::function<bool()>;

    FolderTreeReader(std::string sourcePath, StopCheck stopCheck);
    // Stops the readers. A reader stuck in a listing (a medium that does not answer) is
    // not waited for: it finishes on its own and frees what it shares with the walk.
    ~FolderTreeReader();
    FolderTreeReader(const FolderTreeReader&) = delete;
    FolderTreeReader& operator=(const FolderTreeReader&) = delete;

    // A folder the walk enters, with its entries in the kernel's order (none when it
    // could not be opened, or lies on a pseudo file system), valid until finished(folder).
    struct Entered {
        Folder* folder;
        // Null where the walk entered the same folder under another name before in this
        // reading (what is below it is left out), or where the reading was stopped.
        const platform::FolderEntries* entries;
        // The folder exists but could not be listed completely (no rights, an I/O error).
        bool unreadable = false;
        // The stop came while the walk waited for this listing.
        bool stopped = false;
    };
    // Waits until the source (`parent` null) or the folder behind the `k`-th entry of
    // `parent`'s listing that Descends() is listed; throws what a reader failed with.
    Entered enter(Folder* parent, size_t k);
    // The walk is done with `folder` and all below it.
    void finished(Folder* folder);

    // How many descriptors the reading holds at most, the readers' own included.
    [[nodiscard]] size_t descriptorBudget() const;

  private:
    class Tree;
    std::shared_ptr<Tree> tree_;
    std::vector<Folder*> finishedByWalk_;  // the walk's own, not yet handed back
};

}  // namespace spurfix
