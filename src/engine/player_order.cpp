#include "engine/player_order.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace spurfix {

namespace {

constexpr uint32_t kNoLine = std::numeric_limits<uint32_t>::max();

bool IsFolderLine(std::string_view line) {
    return !line.empty() && line.back() == '/';
}

// The folder a line lies in, with its "/": for "/E/Pop/" and "/E/Pop/a.mp3" it is "/E/".
std::string_view ParentOf(std::string_view line) {
    if (IsFolderLine(line)) {
        line.remove_suffix(1);
    }
    const size_t slash = line.rfind('/');
    return slash == std::string_view::npos ? std::string_view{} : line.substr(0, slash + 1);
}

// The last part of a line, without a folder's "/".
std::string_view NameOf(std::string_view line) {
    if (IsFolderLine(line)) {
        line.remove_suffix(1);
    }
    const size_t slash = line.rfind('/');
    return slash == std::string_view::npos ? line : line.substr(slash + 1);
}

unsigned char RecordByte(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A')
                                : static_cast<unsigned char>(c);
}

// The folders of a scan list as a tree: the source folder is the root; a folder that
// has no line of its own (the source, or one a damaged list leaves out) is made on the
// way. Files and sub-folders keep the scan list's order until they are sorted.
class FolderTree {
  public:
    // The tree is made in two rounds over the lines, grouped in two more: `steps` counts
    // them as the part [from, to) of a build.
    FolderTree(const ScanList& scanList, std::string_view sourceFolder, BuildSteps& steps,
               uint64_t from, uint64_t to)
        : scanList_(scanList), steps_(steps) {
        steps_.phase(from, from + (to - from) / 4, scanList.size());
        folders_.push_back({kNoLine, 0, sourceFolder});
        byPath_.emplace(sourceFolder, 0);
        nodeOfLine_.resize(scanList.size());
        for (uint32_t i = 0; i < scanList.size(); ++i) {
            steps_.step();
            const std::string_view line = scanList[i];
            if (IsFolderLine(line)) {
                nodeOfLine_[i] = static_cast<uint32_t>(folders_.size());
                // A folder listed twice: the later line holds nothing of its own.
                byPath_.try_emplace(line, nodeOfLine_[i]);
                folders_.push_back({i, 0, line});
            }
        }
        std::string_view lastParent;
        uint32_t lastParentId = 0;
        bool haveLast = false;
        // This round, and the two of group().
        steps_.phase(from + (to - from) / 4, from + (to - from) / 2, uint64_t{3} * scanList.size());
        for (uint32_t i = 0; i < scanList.size(); ++i) {
            steps_.step();
            const std::string_view line = scanList[i];
            const std::string_view parent = ParentOf(line);
            // The lines of one folder follow each other: most look-ups are the last one.
            if (!haveLast || parent != lastParent) {
                lastParentId = folderOf(parent);
                lastParent = parent;
                haveLast = true;
            }
            if (IsFolderLine(line)) {
                folders_[nodeOfLine_[i]].parent = lastParentId;
            } else {
                nodeOfLine_[i] = lastParentId;
            }
        }
        group();
    }

    // Sorts each folder's files and sub-folders by `less` on their names.
    template <typename Less>
    void sortWithin(Less less, uint64_t from, uint64_t to) {
        steps_.phase(from, to, files_.size() + children_.size());
        std::vector<std::pair<std::string_view, uint32_t>> named;
        auto sortRange = [&](std::vector<uint32_t>& items, const std::vector<uint32_t>& start,
                             auto nameOf) {
            for (size_t f = 0; f + 1 < start.size(); ++f) {
                if (start[f + 1] - start[f] < 2) {
                    continue;
                }
                named.clear();
                for (uint32_t k = start[f]; k < start[f + 1]; ++k) {
                    steps_.step();
                    named.emplace_back(nameOf(items[k]), items[k]);
                }
                // A folder of a million files takes long to sort: its comparisons are
                // counted too. `named` holds plain values; a stop leaves it unsorted.
                std::sort(named.begin(), named.end(), [&less, this](const auto& a, const auto& b) {
                    steps_.step();
                    return less(a.first, b.first);
                });
                for (uint32_t k = start[f]; k < start[f + 1]; ++k) {
                    items[k] = named[k - start[f]].second;
                }
            }
        };
        sortRange(files_, fileStart_, [this](uint32_t line) { return NameOf(scanList_[line]); });
        sortRange(children_, childStart_,
                  [this](uint32_t folder) { return NameOf(folders_[folder].path); });
    }

    // Each folder's line, then its files, folder by folder; `depthFirst` goes through
    // each sub-folder with everything below it, otherwise level by level.
    [[nodiscard]] std::vector<uint32_t> lines(bool depthFirst, uint64_t from, uint64_t to) const {
        steps_.phase(from, to, scanList_.size());
        std::vector<uint32_t> order;
        order.reserve(scanList_.size());
        std::vector<uint32_t> pending{0};
        for (size_t next = 0; depthFirst ? !pending.empty() : next < pending.size();) {
            uint32_t folder = 0;
            if (depthFirst) {
                folder = pending.back();
                pending.pop_back();
            } else {
                folder = pending[next++];
            }
            steps_.advance(1 + fileStart_[folder + 1] - fileStart_[folder]);
            if (folders_[folder].line != kNoLine) {
                order.push_back(folders_[folder].line);
            }
            order.insert(order.end(), files_.begin() + fileStart_[folder],
                         files_.begin() + fileStart_[folder + 1]);
            const auto first = children_.begin() + childStart_[folder];
            const auto last = children_.begin() + childStart_[folder + 1];
            if (depthFirst) {
                pending.insert(pending.end(), std::make_reverse_iterator(last),
                               std::make_reverse_iterator(first));
            } else {
                pending.insert(pending.end(), first, last);
            }
        }
        return order;
    }

  private:
    struct Folder {
        uint32_t line;  // kNoLine for a folder without a line
        uint32_t parent;
        std::string_view path;
    };

    // The folder with this path, made (with the folders above it) if it has no line.
    // A path outside the source folder counts as the source folder.
    uint32_t folderOf(std::string_view path) {
        std::vector<uint32_t> made;
        uint32_t found = 0;
        for (;;) {
            const auto known = byPath_.find(path);
            if (known != byPath_.end()) {
                found = known->second;
                break;
            }
            const std::string_view source = folders_[0].path;
            if (path.size() <= source.size() || path.substr(0, source.size()) != source) {
                break;
            }
            made.push_back(static_cast<uint32_t>(folders_.size()));
            byPath_.emplace(path, made.back());
            folders_.push_back({kNoLine, 0, path});
            path = ParentOf(path);
        }
        // Each made folder lies in the next one up.
        uint32_t above = found;
        for (auto it = made.rbegin(); it != made.rend(); ++it) {
            folders_[*it].parent = above;
            above = *it;
        }
        return made.empty() ? found : made.front();
    }

    // Files and sub-folders grouped by folder, each group in the scan list's order.
    void group() {
        const size_t count = folders_.size();
        fileStart_.assign(count + 1, 0);
        childStart_.assign(count + 1, 0);
        for (uint32_t i = 0; i < scanList_.size(); ++i) {
            steps_.step();
            if (!IsFolderLine(scanList_[i])) {
                ++fileStart_[nodeOfLine_[i] + 1];
            }
        }
        for (size_t f = 1; f < count; ++f) {
            ++childStart_[folders_[f].parent + 1];
        }
        for (size_t f = 0; f < count; ++f) {
            fileStart_[f + 1] += fileStart_[f];
            childStart_[f + 1] += childStart_[f];
        }
        std::vector<uint32_t> fill(fileStart_.begin(), fileStart_.end() - 1);
        files_.resize(fileStart_[count]);
        for (uint32_t i = 0; i < scanList_.size(); ++i) {
            steps_.step();
            if (!IsFolderLine(scanList_[i])) {
                files_[fill[nodeOfLine_[i]]++] = i;
            }
        }
        // Folders with lines come first, in the scan list's order.
        fill.assign(childStart_.begin(), childStart_.end() - 1);
        children_.resize(childStart_[count]);
        for (uint32_t f = 1; f < count; ++f) {
            children_[fill[folders_[f].parent]++] = f;
        }
        nodeOfLine_ = {};
    }

    const ScanList& scanList_;
    BuildSteps& steps_;
    std::vector<Folder> folders_;
    std::unordered_map<std::string_view, uint32_t> byPath_;
    std::vector<uint32_t> nodeOfLine_;  // a folder line's folder, a file's folder
    std::vector<uint32_t> fileStart_, files_;
    std::vector<uint32_t> childStart_, children_;
};

}  // namespace

bool PlayerReadsMediumOrder(std::string_view fileSystemType) {
    // The kernel's names, and those of FUSE drivers, which the mount table shows as
    // "fuse.<driver>" or "fuseblk.<driver>".
    constexpr std::array kMedia{
        std::string_view{"iso9660"}, std::string_view{"udf"},        std::string_view{"vfat"},
        std::string_view{"msdos"},   std::string_view{"exfat"},      std::string_view{"fuseiso"},
        std::string_view{"fusefat"}, std::string_view{"exfat-fuse"},
    };
    for (const std::string_view fuse : {std::string_view{"fuse."}, std::string_view{"fuseblk."}}) {
        if (fileSystemType.substr(0, fuse.size()) == fuse) {
            fileSystemType.remove_prefix(fuse.size());
            break;
        }
    }
    return std::find(kMedia.begin(), kMedia.end(), fileSystemType) != kMedia.end();
}

bool IsoRecordLess(std::string_view a, std::string_view b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const unsigned char x = RecordByte(a[i]);
        const unsigned char y = RecordByte(b[i]);
        if (x != y) {
            return x < y;
        }
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

std::vector<uint32_t> PlayerOrder(const ScanList& scanList, std::string_view sourceFolder,
                                  PlayOrder order, std::string_view fileSystemType) {
    BuildSteps steps(nullptr, 0);
    return PlayerOrder(scanList, sourceFolder, order, fileSystemType, steps, 0, 0);
}

std::vector<uint32_t> PlayerOrder(const ScanList& scanList, std::string_view sourceFolder,
                                  PlayOrder order, std::string_view fileSystemType,
                                  BuildSteps& steps, uint64_t from, uint64_t to) {
    const uint64_t grown = from + (to - from) / 2;
    const uint64_t sorted = to - (to - from) / 4;
    FolderTree tree(scanList, sourceFolder, steps, from, grown);
    // The order within a folder. A player that reads the medium itself (a disc, a
    // stick) finds the entries in the order the reading found them: on a disc the order
    // of its records, on a stick the order they were copied in. Anything else is still
    // to be burnt: the burning program records the names sorted as ISO 9660 sorts them.
    if (!PlayerReadsMediumOrder(fileSystemType)) {
        tree.sortWithin(IsoRecordLess, grown, sorted);
    }
    return tree.lines(order != PlayOrder::LevelByLevel, sorted, to);
}

}  // namespace spurfix
