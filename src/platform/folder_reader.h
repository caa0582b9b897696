#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace spurfix::platform {

// The entries of one folder, read in one go in the order the kernel delivers them,
// so that the folder's descriptor can be closed before the walk descends.
class FolderEntries {
  public:
    struct Entry {
        uint32_t nameOffset;
        uint16_t nameLength;
        bool isFolder;  // a folder, or a link that leads to one
    };

    void clear();
    [[nodiscard]] size_t size() const { return entries_.size(); }
    [[nodiscard]] std::string_view name(size_t i) const {
        return {names_.data() + entries_[i].nameOffset, entries_[i].nameLength};
    }
    [[nodiscard]] bool isFolder(size_t i) const { return entries_[i].isFolder; }

    // Reads every entry of the open folder `folderFd`. Links and entries of unknown type
    // are looked up with fstatat; nothing is ever opened. Returns false when not even
    // the first block could be read; a later error ends the listing with what was read.
    bool read(int folderFd);
    // Whether the last read() came to the listing's end without an error.
    [[nodiscard]] bool complete() const { return complete_; }

  private:
    std::vector<char> names_;
    std::vector<Entry> entries_;
    bool complete_ = false;
};

}  // namespace spurfix::platform
