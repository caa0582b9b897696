// The list assembly on scan lists and options drawn from the input, checked against
// what must hold for every list.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
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

bool IsMp3(std::string_view line) {
    const std::string_view name = FileName(line);
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.size() - dot != 4) {
        return false;
    }
    return (name[dot + 1] | 0x20) == 'm' && (name[dot + 2] | 0x20) == 'p' && name[dot + 3] == '3';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
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

    // The rest: the template up to the first NUL, then one line per NUL-separated piece,
    // each made a path below "/s/".
    const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    const size_t templateEnd = std::min(rest.find('\0'), rest.size());
    options.labelTemplate = std::string(rest.substr(0, templateEnd));
    spurfix::ScanList scanList;
    size_t keptFiles = 0;
    for (size_t pos = templateEnd + 1; pos < rest.size();) {
        const size_t end = std::min(rest.find('\0', pos), rest.size());
        const std::string line = "/s/" + std::string(rest.substr(pos, end - pos));
        scanList.append(line);
        if (line.back() != '/' &&
            (options.filter == spurfix::FileFilter::AllFiles || IsMp3(line))) {
            ++keptFiles;
        }
        pos = end + 1;
    }

    const spurfix::PreviewList preview =
        spurfix::BuildPreview(scanList, filesFound, options, collator);
    const spurfix::PreviewList again =
        spurfix::BuildPreview(scanList, filesFound, options, collator);
    Check(preview.size() == again.size());
    size_t fileLines = 0;
    for (size_t i = 0; i < preview.size(); ++i) {
        Check(preview.text(i) == again.text(i) && preview.kind(i) == again.kind(i));
        Check(preview.text(i).find_first_of("\r\n") == std::string_view::npos);
        if (preview.kind(i) == spurfix::EntryKind::DirectoryLabel) {
            Check(i + 1 == preview.size() || preview.kind(i + 1) == spurfix::EntryKind::File);
            continue;
        }
        ++fileLines;
        if (options.numbering && !options.countPerFolder) {
            // Running numbers without gaps, as wide as the file count of the reading.
            const std::string number =
                spurfix::PadLeft(static_cast<int32_t>(fileLines), width, '0') + " - ";
            Check(preview.text(i).substr(0, number.size()) == number);
        }
    }
    Check(fileLines == keptFiles);
    return 0;
}
