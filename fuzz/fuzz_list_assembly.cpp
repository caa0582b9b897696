// The list assembly on scan lists and options drawn from the input, checked against
// what must hold for every list.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/list_assembly.h"
#include "engine/name_rules.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::string_view FileName(std::string_view line) {
    return line.substr(line.rfind('/') + 1);
}

std::string_view FolderOf(std::string_view line) {
    return line.substr(0, line.rfind('/') + 1);
}

bool IsMp3(std::string_view line) {
    const std::string_view name = FileName(line);
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.size() - dot != 4) {
        return false;
    }
    return (name[dot + 1] | 0x20) == 'm' && (name[dot + 2] | 0x20) == 'p' && name[dot + 3] == '3';
}

// Lines longer than the line store's smallest block take other paths through it.
constexpr size_t kLongLine = 16 * 1024;
// Repeated parts stop growing here. A path past 1 MiB, which gets a block of its own,
// reaches everything; a template passes 16 KiB, and its placeholders may grow it more.
constexpr size_t kLongestPath = 3 * 1024 * 1024 / 2;
constexpr size_t kLongestTemplate = 40 * 1024;
size_t runsWithLongLines = 0;

void ReportLongLines() {
    std::fprintf(stderr, "runs with a line above 16 KiB: %zu\n", runsWithLongLines);
}

// The text `repeat` times, stopping once it is `limit` bytes or more.
std::string Repeated(std::string_view text, size_t repeat, size_t limit) {
    std::string result;
    for (size_t i = 0; i < repeat && result.size() < limit && !text.empty(); ++i) {
        result.append(text);
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::atexit(ReportLongLines);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) {
        return 0;
    }
    static const spurfix::platform::Collator collator("de");
    const uint8_t flags = data[0];
    spurfix::ListOptions options;
    options.sort = flags & 1;
    options.countPerFolder = flags & 2;
    options.folderLabels = flags & 4;
    options.withoutExtension = flags & 8;
    options.withoutTrackNumber = flags & 16;
    options.justTitle = flags & 32;
    options.numbering = flags & 64;
    options.filter = (flags & 128) ? spurfix::FileFilter::AllFiles : spurfix::FileFilter::Mp3Only;
    const int32_t filesFound = data[1] * 17;
    const int32_t width =
        std::max<int32_t>(3, static_cast<int32_t>(std::to_string(filesFound).size()));

    // Byte 2 repeats the template (byte 3 even) or the last line's name (byte 3 odd), so
    // that short inputs reach long labels and long paths: a value v from 240 up repeats
    // 2^(v-240) times.
    const size_t repeat = data[2] >= 240 ? size_t{1} << (data[2] - 240) : 1;
    const size_t templateRepeat = data[3] % 2 == 0 ? repeat : 1;
    const size_t lastLineRepeat = data[3] % 2 == 1 ? repeat : 1;

    // The rest: the template up to the first NUL, then one line per NUL-separated piece,
    // each made a path below "/s/".
    const std::string_view rest(reinterpret_cast<const char*>(data + 4), size - 4);
    const size_t templateEnd = std::min(rest.find('\0'), rest.size());
    options.labelTemplate = Repeated(rest.substr(0, templateEnd), templateRepeat, kLongestTemplate);
    spurfix::ScanList scanList;
    size_t keptFiles = 0;
    size_t longestLine = 0;
    // Long labels are copied once per folder: a few lines suffice to reach them.
    const size_t maxLines = templateRepeat > 1 || lastLineRepeat > 1 ? 4 : SIZE_MAX;
    for (size_t pos = templateEnd + 1; pos < rest.size() && scanList.size() < maxLines;) {
        const size_t end = std::min(rest.find('\0', pos), rest.size());
        const std::string_view piece = rest.substr(pos, end - pos);
        const std::string line = "/s/" + (end == rest.size() || scanList.size() + 1 == maxLines
                                              ? Repeated(piece, lastLineRepeat, kLongestPath)
                                              : std::string(piece));
        scanList.append(line);
        longestLine = std::max(longestLine, line.size());
        if (line.back() != '/' &&
            (options.filter == spurfix::FileFilter::AllFiles || IsMp3(line))) {
            ++keptFiles;
        }
        pos = end + 1;
    }

    // Byte 3 also picks the order, and for a player's order whether the source is a
    // medium the player reads itself.
    options.order = static_cast<spurfix::PlayOrder>((data[3] >> 1) % 3);
    const spurfix::ListSource source{"/s/", (data[3] & 8) != 0 ? "iso9660" : "ext4"};
    const spurfix::PreviewList preview =
        spurfix::BuildPreview(scanList, filesFound, options, collator, source);
    const spurfix::PreviewList again =
        spurfix::BuildPreview(scanList, filesFound, options, collator, source);
    // Songs per folder, to check the numbers a folder's songs get.
    std::unordered_map<std::string_view, int32_t> songsOf;
    Check(preview.size() == again.size());
    size_t fileLines = 0;
    for (size_t i = 0; i < preview.size(); ++i) {
        Check(preview.text(i) == again.text(i) && preview.kind(i) == again.kind(i));
        Check(preview.text(i).find_first_of("\r\n") == std::string_view::npos);
        Check(preview.textLength(i) == preview.text(i).size());
        longestLine = std::max(longestLine, preview.text(i).size());
        if (preview.kind(i) == spurfix::EntryKind::DirectoryLabel) {
            Check(i + 1 == preview.size() || preview.kind(i + 1) == spurfix::EntryKind::File);
            // A heading stands above a song of its own folder.
            if (i + 1 < preview.size() && preview.hasSourceLine(i)) {
                Check(preview.sourceText(i) == FolderOf(preview.sourceText(i + 1)));
            }
            continue;
        }
        ++fileLines;
        const int32_t inFolder = ++songsOf[FolderOf(preview.sourceText(i))];
        if (options.numbering && options.countPerFolder) {
            // A folder's songs count on from 1, wherever they stand.
            const std::string number = spurfix::PadLeft(inFolder, width, '0') + " - ";
            Check(preview.text(i).substr(0, number.size()) == number);
        }
        if (options.numbering && !options.countPerFolder) {
            // Running numbers without gaps, as wide as the file count of the reading.
            const std::string number =
                spurfix::PadLeft(static_cast<int32_t>(fileLines), width, '0') + " - ";
            Check(preview.text(i).substr(0, number.size()) == number);
        }
    }
    Check(fileLines == keptFiles);
    runsWithLongLines += longestLine > kLongLine ? 1 : 0;
    return 0;
}
