#include "engine/list_assembly.h"

#include <algorithm>
#include <numeric>
#include <thread>
#include <vector>

#include "engine/name_rules.h"
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

// Sorts the line numbers by their lines; a large list in two halves on two threads,
// then merged. The items carry where their text is, so that a comparison reaches each
// text in one step: with a million lines, fetching them from memory is most of the
// time a sort takes.
void SortLines(std::vector<uint32_t>& order, const ScanList& lines,
               const platform::Collator& collator) {
    struct Item {
        const char* text;
        uint32_t length;
        uint32_t line;
    };
    std::vector<Item> items(order.size());
    for (size_t i = 0; i < items.size(); ++i) {
        const std::string_view text = lines[order[i]];
        items[i] = {text.data(), static_cast<uint32_t>(text.size()), order[i]};
    }
    auto byCollation = [](const platform::Collator& c) {
        return [&c](const Item& a, const Item& b) {
            return c.less({a.text, a.length}, {b.text, b.length});
        };
    };
    constexpr size_t kParallelFrom = 20000;
    if (items.size() < kParallelFrom || std::thread::hardware_concurrency() < 2) {
        std::sort(items.begin(), items.end(), byCollation(collator));
    } else {
        const auto middle = items.begin() + static_cast<std::ptrdiff_t>(items.size() / 2);
        std::thread firstHalf([&] {
            const platform::Collator own(collator);
            std::sort(items.begin(), middle, byCollation(own));
        });
        std::sort(middle, items.end(), byCollation(collator));
        firstHalf.join();
        std::inplace_merge(items.begin(), middle, items.end(), byCollation(collator));
    }
    for (size_t i = 0; i < items.size(); ++i) {
        order[i] = items[i].line;
    }
}

// Every occurrence of `pattern` replaced, left to right; inserted text is not searched
// again.
std::string ReplaceAll(std::string_view text, std::string_view pattern,
                       std::string_view replacement) {
    std::string result;
    size_t pos = 0;
    for (size_t found; !pattern.empty() && (found = text.find(pattern, pos)) != text.npos;
         pos = found + pattern.size()) {
        result.append(text.substr(pos, found - pos)).append(replacement);
    }
    return result.append(text.substr(pos));
}

}  // namespace

PreviewList BuildPreview(const ScanList& scanList, int32_t filesFound, const ListOptions& options,
                         const platform::Collator& collator, const SongInfoTable* songs) {
    std::vector<uint32_t> order(scanList.size());
    std::iota(order.begin(), order.end(), 0U);
    if (options.sort) {
        SortLines(order, scanList, collator);
    }

    const ExtensionFilter filter(options);
    const int32_t width = NumberWidth(filesFound);
    PreviewList preview(scanList, width);
    preview.reserve(scanList.size());
    int32_t number = 0;
    std::string line;
    const SongLineMaker songLines(options, songs);
    for (const uint32_t index : order) {
        const std::string_view entry = scanList[index];
        if (!entry.empty() && entry.back() == '/') {
            if (options.countPerFolder) {
                number = 0;
            }
            if (!options.folderLabels) {
                continue;
            }
            const std::string_view folderName = AfterLastSlash(entry.substr(0, entry.size() - 1));
            line = ReplaceAll(ReplaceAll(songLines.labelTemplate(), "%NAME%", folderName), "%PFAD%",
                              entry);
            KeepOnOneLine(line);
            // A label is only ever followed by a file: a later label takes its place.
            if (!preview.empty() && preview.kind(preview.size() - 1) == EntryKind::DirectoryLabel) {
                preview.replaceLastText(line, index);
            } else {
                preview.append(line, EntryKind::DirectoryLabel, index);
            }
            continue;
        }

        const std::string_view fileName = AfterLastSlash(entry);
        const size_t dot = fileName.rfind('.');
        const std::string_view extension =
            dot == std::string_view::npos ? std::string_view{} : fileName.substr(dot + 1);
        if (!filter.passes(extension)) {
            continue;
        }
        ++number;
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
        if (songLines.songLine(index, name, options.numbering ? number : 0, width, line)) {
            KeepOnOneLine(line);
            preview.append(line, EntryKind::File, index);
            continue;
        }
        // The title is a part of the file name: the line keeps only where it lies,
        // unless a line break in the name must become a space.
        const size_t start = name.empty() ? 0 : static_cast<size_t>(name.data() - fileName.data());
        if (name.find_first_of("\r\n") == std::string_view::npos &&
            preview.appendFile(index, start, name.size(), options.numbering ? number : 0)) {
            continue;
        }
        line.assign(name);
        KeepOnOneLine(line);
        preview.appendFileWithTitle(line, options.numbering ? number : 0, index);
    }
    songLines.finish(preview, scanList, width);
    preview.shrinkToFit();
    return preview;
}

}  // namespace spurfix
