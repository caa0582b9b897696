// A song list made by hand, as the list assembly would make it in some player's order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/line_list.h"
#include "engine/preview_list.h"

namespace spurfix::test {

// A list made by hand in a player's order: a label line for each folder where the list
// turns to it, its songs numbered on.
class ListOfTree {
  public:
    // `songs` are paths relative to `root`, in the list's order.
    ListOfTree(const std::string& root, const std::vector<std::string>& songs, bool labels)
        : preview_(scan_, 3) {
        std::string folder = "-";
        int32_t number = 0;
        for (const std::string& song : songs) {
            const size_t slash = song.rfind('/');
            const std::string songFolder =
                slash == std::string::npos ? "" : song.substr(0, slash + 1);
            if (labels && songFolder != folder && !songFolder.empty()) {
                scan_.append(root + songFolder);
                preview_.append("[" + songFolder.substr(0, songFolder.size() - 1) + "]",
                                EntryKind::DirectoryLabel, static_cast<uint32_t>(scan_.size() - 1));
            }
            folder = songFolder;
            scan_.append(root + song);
            const std::string name = song.substr(slash == std::string::npos ? 0 : slash + 1);
            preview_.appendFileWithTitle(name.substr(0, name.rfind('.')), ++number,
                                         static_cast<uint32_t>(scan_.size() - 1));
            sources_.push_back(root + song);
        }
    }
    const PreviewList& preview() const { return preview_; }
    const std::vector<std::string>& sources() const { return sources_; }

  private:
    ScanList scan_;
    PreviewList preview_;
    std::vector<std::string> sources_;
};

}  // namespace spurfix::test
