#include "engine/list_assembly.h"

#include <algorithm>
#include <atomic>
#include <numeric>
#include <thread>
#include <unordered_map>
#include <vector>

#include "engine/name_rules.h"
#include "engine/player_order.h"
#include "engine/song_line.h"
#include "platform/text_case.h"

namespace spurfix {

namespace {

// File names may hold line breaks; a line of the list must not.
void KeepOnOneLine(std::string& text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
}

std::string_view AfterLastSlash(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

int32_t NumberWidth(int32_t filesFound) {
    return std::max<int32_t>(3, static_cast<int32_t>(std::to_string(filesFound).size()));
}

class ExtensionFilter {
  public:
    explicit ExtensionFilter(const ListOptions& options) : filter_(options.filter) {
        if (filter_ == FileFilter::ChosenExtensions) {
            for (const AllowedExtension& entry : options.allowedExtensions) {
                allowed_.push_back({platform::LowerCase(entry.text), entry.checked});
            }
        }
    }

    [[nodiscard]] bool passes(std::string_view extension) const {
        switch (filter_) {
            case FileFilter::AllFiles:
                return true;
            case FileFilter::Mp3Only:
                // No letter outside ASCII lower-cases to "mp3", so ASCII folding suffices.
                return extension.size() == 3 && (extension[0] | 0x20) == 'm' &&
                       (extension[1] | 0x20) == 'p' && extension[2] == '3';
            case FileFilter::ChosenExtensions:
                break;
        }
        const std::string lowered = platform::LowerCase(extension);
        const auto entry = std::find_if(allowed_.begin(), allowed_.end(),
                                        [&](const Allowed& a) { return a.lowered == lowered; });
        return entry != allowed_.end() && entry->checked;
    }

  private:
    struct Allowed {
        std::string lowered;
        bool checked;
    };
    FileFilter filter_;
    std::vector<Allowed> allowed_;
};

// About how many comparisons a sort of `n` items makes: n log2 n.
uint64_t SortComparisons(size_t n) {
    uint64_t comparisons = 0;
    for (size_t rest = n; rest > 1; rest /= 2) {
        comparisons += n;
    }
    return comparisons;
}

// Sorts the line numbers by their lines; a large list in two halves on two threads,
// then merged. The items carry where their text is, so that a comparison reaches each
// text in one step: with a million lines, fetching them from memory is most of the
// time a sort takes.
// A stop is looked for inside the comparisons: a sort of a million lines takes a
// second, and a sort in pieces merged in rounds would cost more than it. The comparison
// that sees the stop throws out of std::sort; the items are plain values, so the sort
// leaves them whole but in no order, and the exception takes them away with it.
void SortLines(std::vector<uint32_t>& order, const ScanList& lines,
               const platform::Collator& collator, BuildSteps& steps, uint64_t from, uint64_t to) {
    struct Item {
        const char* text;
        uint32_t length;
        uint32_t line;
    };
    const uint64_t filled = from + (to - from) / 8;
    const uint64_t merged = to - (to - from) / 8;
    steps.phase(from, filled, order.size());
    std::vector<Item> items(order.size());
    for (size_t i = 0; i < items.size(); ++i) {
        const std::string_view text = lines[order[i]];
        items[i] = {text.data(), static_cast<uint32_t>(text.size()), order[i]};
        steps.step();
    }
    // The window's thread reports and stops; the other thread only stops.
    auto counted = [&steps](const platform::Collator& c) {
        return [&c, &steps](const Item& a, const Item& b) {
            steps.step();
            return c.less({a.text, a.length}, {b.text, b.length});
        };
    };
    constexpr size_t kParallelFrom = 20000;
    if (items.size() < kParallelFrom || std::thread::hardware_concurrency() < 2) {
        steps.phase(filled, to, SortComparisons(items.size()));
        std::sort(items.begin(), items.end(), counted(collator));
    } else {
        const auto middle = items.begin() + static_cast<std::ptrdiff_t>(items.size() / 2);
        std::atomic<bool> stop{false};
        bool otherStopped = false;
        std::thread firstHalf([&] {
            const platform::Collator own(collator);
            uint64_t count = 0;
            try {
                std::sort(items.begin(), middle, [&](const Item& a, const Item& b) {
                    if ((++count & BuildSteps::kEvery) == 0 &&
                        (stop.load(std::memory_order_relaxed) || steps.stopRequested())) {
                        throw BuildStopped{};
                    }
                    return own.less({a.text, a.length}, {b.text, b.length});
                });
            } catch (const BuildStopped&) {
                otherStopped = true;
            }
        });
        steps.phase(filled, merged, SortComparisons(static_cast<size_t>(items.end() - middle)));
        try {
            std::sort(middle, items.end(), counted(collator));
        } catch (...) {
            stop.store(true, std::memory_order_relaxed);
            firstHalf.join();
            throw;
        }
        firstHalf.join();
        if (otherStopped) {
            throw BuildStopped{};
        }
        steps.phase(merged, to, items.size());
        std::inplace_merge(items.begin(), middle, items.end(), counted(collator));
    }
    for (size_t i = 0; i < items.size(); ++i) {
        order[i] = items[i].line;
    }
}

// The folder read, with its "/"; without one given, the folder of the first line, in
// which a reading's first line always lies.
std::string SourceFolder(const ScanList& scanList, const ListSource& source) {
    std::string folder = source.folder;
    if (folder.empty() && !scanList.empty()) {
        std::string_view first = scanList[0];
        if (first.back() == '/') {
            first.remove_suffix(1);
        }
        const size_t slash = first.rfind('/');
        folder = slash == std::string_view::npos ? std::string{} : first.substr(0, slash + 1);
    }
    if (!folder.empty() && folder.back() != '/') {
        folder.push_back('/');
    }
    return folder;
}

// How many levels `folder` lies below `source`: 0 for the source itself.
int32_t DepthBelow(std::string_view source, std::string_view folder) {
    if (folder.size() < source.size() || folder.substr(0, source.size()) != source) {
        return 0;
    }
    folder.remove_prefix(source.size());
    return static_cast<int32_t>(std::count(folder.begin(), folder.end(), '/'));
}

// Characters of a name in UTF-8: every byte that does not continue a character.
int32_t Characters(std::string_view name) {
    return static_cast<int32_t>(std::count_if(name.begin(), name.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

struct FolderState {
    uint32_t line = 0;     // the folder's line in the scan list
    bool hasLine = false;  // the source folder has none
    bool split = false;    // its songs came back after lines of another folder
    int32_t songs = 0;     // its songs so far
    int32_t number = 0;    // 1, 2, 3, ... in the order of their first song; 0 without songs
};

// Every occurrence of `pattern` replaced, left to right; inserted text is not searched
// again.
// Stops once the result is longer than `enough`: what lies beyond is cut anyway.
std::string ReplaceAll(std::string_view text, std::string_view pattern,
                       std::string_view replacement, size_t enough = std::string::npos) {
    std::string result;
    size_t pos = 0;
    for (size_t found; !pattern.empty() && result.size() <= enough &&
                       (found = text.find(pattern, pos)) != text.npos;
         pos = found + pattern.size()) {
        result.append(text.substr(pos, found - pos)).append(replacement);
    }
    if (result.size() <= enough) {
        result.append(text.substr(pos));
    }
    return result;
}

// A heading longer than this is cut and ends in "…": a template of thousands of
// placeholders over thousands of folders must not make a list of gigabytes.
constexpr size_t kLongestHeading = 4096;

void CutLongHeading(std::string& heading) {
    static constexpr std::string_view kEllipsis = "\xE2\x80\xA6";
    if (heading.size() <= kLongestHeading) {
        return;
    }
    size_t cut = kLongestHeading - kEllipsis.size();
    // Not inside a character: UTF-8 continuation bytes are 10xxxxxx.
    while (cut > 0 && (static_cast<unsigned char>(heading[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    heading.resize(cut);
    heading.append(kEllipsis);
}

}  // namespace

std::vector<uint32_t> SortedOrder(const ScanList& scanList, const platform::Collator& collator) {
    BuildSteps steps(nullptr, 0);
    std::vector<uint32_t> order(scanList.size());
    std::iota(order.begin(), order.end(), 0U);
    SortLines(order, scanList, collator, steps, 0, 0);
    return order;
}

std::vector<uint32_t> ListedSongLines(const ScanList& scanList, const ListOptions& options) {
    const ExtensionFilter filter(options);
    std::vector<uint32_t> lines;
    for (uint32_t i = 0; i < scanList.size(); ++i) {
        const std::string_view entry = scanList[i];
        if (!entry.empty() && entry.back() == '/') {
            continue;
        }
        const std::string_view fileName = AfterLastSlash(entry);
        const size_t dot = fileName.rfind('.');
        if (filter.passes(dot == std::string_view::npos ? std::string_view{}
                                                        : fileName.substr(dot + 1))) {
            lines.push_back(i);
        }
    }
    return lines;
}

PreviewList BuildPreview(const ScanList& scanList, int32_t filesFound, const ListOptions& options,
                         const platform::Collator& collator, const ListSource& source,
                         ListFacts* facts, const SongInfoTable* songs, BuildProgress* progress) {
    // Reported in lines: the order takes the first half of the count where there is one
    // to make, the list's own lines the rest but a tenth for the folders' playing times.
    const uint64_t total = scanList.size();
    BuildSteps steps(progress, total);
    const std::string sourceFolder = SourceFolder(scanList, source);
    std::vector<uint32_t> order;
    uint64_t ordered = 0;
    if (options.order != PlayOrder::AsRead) {
        // A player's order is made from the tree; sorting whole paths has no meaning there.
        ordered = total / 2;
        order = PlayerOrder(scanList, sourceFolder, options.order, source.fileSystemType, steps, 0,
                            ordered);
    } else if (options.sort) {
        ordered = total / 2;
        order.resize(scanList.size());
        std::iota(order.begin(), order.end(), 0U);
        SortLines(order, scanList, collator, steps, 0, ordered);
    } else {
        order.resize(scanList.size());
        std::iota(order.begin(), order.end(), 0U);
    }

    const ExtensionFilter filter(options);
    const int32_t width = NumberWidth(filesFound);
    PreviewList preview(scanList, width);
    preview.reserve(scanList.size());
    ListFacts found;
    int32_t number = 0;
    std::string line;
    const SongLineMaker songLines(options, songs);

    // Every folder met so far, found by its path with its "/". A folder's songs need
    // not stand together (a sub-folder may come between them): its count and its
    // number go on where they were.
    std::unordered_map<std::string_view, FolderState> folders;
    std::string_view songFolder;  // the folder of the last song
    FolderState* songState = nullptr;
    // The heading of the folder whose line came last, until a song of it follows: a
    // heading is only ever followed by a song of its folder (or by nothing at the end).
    std::string_view pendingFolder;
    uint32_t pendingLine = 0;
    bool pending = false;
    // The folder of the last heading in the list; the source folder's songs at the start
    // need none.
    std::string_view headingFolder = sourceFolder;

    auto heading = [&](std::string_view folder, int32_t folderNumber) {
        std::string_view name = folder;
        if (!name.empty() && name.back() == '/') {
            name.remove_suffix(1);
        }
        line = ReplaceAll(ReplaceAll(ReplaceAll(songLines.labelTemplate(), "%NAME%",
                                                AfterLastSlash(name), kLongestHeading),
                                     "%PFAD%", folder, kLongestHeading),
                          "%NR%", folderNumber > 0 ? std::to_string(folderNumber) : std::string{},
                          kLongestHeading);
        CutLongHeading(line);
        KeepOnOneLine(line);
        return std::string_view(line);
    };

    const uint64_t assembled = total - (total - ordered) / 10;
    steps.phase(ordered, assembled, order.size());
    for (const uint32_t index : order) {
        steps.step();
        const std::string_view entry = scanList[index];
        if (!entry.empty() && entry.back() == '/') {
            folders.try_emplace(entry, FolderState{index, true});
            pendingFolder = entry;
            pendingLine = index;
            pending = true;
            continue;
        }

        const std::string_view fileName = AfterLastSlash(entry);
        const size_t dot = fileName.rfind('.');
        const std::string_view extension =
            dot == std::string_view::npos ? std::string_view{} : fileName.substr(dot + 1);
        if (!filter.passes(extension)) {
            continue;
        }
        const std::string_view folder = entry.substr(0, entry.size() - fileName.size());
        if (songState == nullptr || folder != songFolder) {
            songState = &folders.try_emplace(folder).first->second;
            songFolder = folder;
            if (songState->songs > 0 && !songState->split) {
                songState->split = true;
                ++found.foldersSplit;
            }
            if (songState->number == 0) {
                songState->number = ++found.foldersWithSongs;
                found.deepestFolderWithSongs =
                    std::max(found.deepestFolderWithSongs, DepthBelow(sourceFolder, folder));
                found.longestName =
                    std::max(found.longestName, Characters(AfterLastSlash(folder.substr(
                                                    0, folder.empty() ? 0 : folder.size() - 1))));
            }
        }
        ++songState->songs;
        found.mostSongsInAFolder = std::max(found.mostSongsInAFolder, songState->songs);
        found.longestName = std::max(found.longestName, Characters(fileName));
        ++number;

        if (options.folderLabels) {
            if (pending && pendingFolder == folder) {
                preview.append(heading(folder, songState->number), EntryKind::DirectoryLabel,
                               pendingLine);
            } else if (headingFolder != folder) {
                // The song follows lines of another folder: its own heading comes again.
                const std::string_view text = heading(folder, songState->number);
                if (songState->hasLine) {
                    preview.append(text, EntryKind::DirectoryLabel, songState->line);
                } else {
                    preview.append(text, EntryKind::DirectoryLabel);
                }
            }
            headingFolder = folder;
        }
        pending = false;

        const int32_t shown = options.countPerFolder ? songState->songs : number;
        std::string_view name = fileName;
        if (options.withoutExtension && dot != std::string_view::npos) {
            name = fileName.substr(0, dot);
        }
        if (options.withoutTrackNumber) {
            name = TrackNumberStripped(name);
        }
        if (options.justTitle) {
            name = TitleExtracted(name);
        }
        // A title from the tags, or a playing time, makes a text of the line's own; its
        // number stays apart from it.
        if (songLines.songLine(index, name, 0, width, line)) {
            KeepOnOneLine(line);
            preview.appendFileWithTitle(line, options.numbering ? shown : 0, index);
            continue;
        }
        // The title is a part of the file name: the line keeps only where it lies,
        // unless a line break in the name must become a space.
        const size_t start = name.empty() ? 0 : static_cast<size_t>(name.data() - fileName.data());
        if (name.find_first_of("\r\n") == std::string_view::npos &&
            preview.appendFile(index, start, name.size(), options.numbering ? shown : 0)) {
            continue;
        }
        line.assign(name);
        KeepOnOneLine(line);
        preview.appendFileWithTitle(line, options.numbering ? shown : 0, index);
    }
    // The last folder's heading stays at the end though no song follows.
    if (pending && options.folderLabels) {
        preview.append(heading(pendingFolder, 0), EntryKind::DirectoryLabel, pendingLine);
    }
    steps.phase(assembled, total, preview.size());
    songLines.finish(preview, scanList, width, steps);
    steps.phase(total, total, 0);
    preview.shrinkToFit();
    if (facts != nullptr) {
        *facts = found;
    }
    return preview;
}

}  // namespace spurfix
