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

// Lists every folder below a source ahead of the walk, on reader threads of its own.
// The walk's thread owns everything: the folders, their descriptors and the budget for
// them, and the choice of what to list next (the walk's order, depth first, a bounded
// window ahead of it). The readers only carry out requests of the form "list this folder
// under this descriptor" from one queue and hand back the listings through another.
//
// What decides what the reading contains (entering a folder once, leaving out its
// contents) happens when the walk enters a folder, in its order, so the result does not
// depend on which reader came first, nor on how many files the process may open.
//
// All of it is used from the walk's thread only.
class FolderTreeReader {
  public:
    class Folder;

    // Asked about every 50 ms while the walk waits for a listing (a slow medium), on the
    // walk's thread; true stops the reading at once.
    using StopCheck = std::function<bool()>;

    FolderTreeReader(std::string sourcePath, StopCheck stopCheck);
    // Stops the readers. A reader stuck in a listing (a medium that does not answer) is
    // not waited for: it finishes on its own and then drops what it was handed.
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
    class Owner;
    std::unique_ptr<Owner> owner_;
};

}  // namespace spurfix
