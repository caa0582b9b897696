#include "engine/preview_list.h"

#include <algorithm>
#include <limits>

#include "engine/name_rules.h"

namespace spurfix {

namespace {
std::string_view FileNameOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}
}  // namespace

std::string_view PreviewList::text(size_t i, std::string& scratch) const {
    const Line& line = lines_[i];
    if (line.hasOwnText) {
        return texts_[line.numberOrText];
    }
    const std::string_view title =
        FileNameOf((*scanList_)[line.sourceLine]).substr(line.titleStart, line.titleLength);
    if (!line.numbered) {
        return title;
    }
    // No allocation here: the export writes with this from a child process.
    scratch.clear();
    char digits[16];
    int count = 0;
    for (uint32_t number = line.numberOrText; number > 0 || count == 0; number /= 10) {
        digits[count++] = static_cast<char>('0' + number % 10);
    }
    for (int fill = count; fill < numberWidth_; ++fill) {
        scratch.push_back('0');
    }
    while (count > 0) {
        scratch.push_back(digits[--count]);
    }
    scratch.append(" - ").append(title);
    return scratch;
}

size_t PreviewList::textLength(size_t i) const {
    const Line& line = lines_[i];
    if (line.hasOwnText) {
        return texts_[line.numberOrText].size();
    }
    if (!line.numbered) {
        return line.titleLength;
    }
    size_t digits = 0;
    for (uint32_t number = line.numberOrText; number > 0 || digits == 0; number /= 10) {
        ++digits;
    }
    return std::max(digits, static_cast<size_t>(numberWidth_)) + 3 + line.titleLength;
}

std::string PreviewList::text(size_t i) const {
    std::string scratch;
    return std::string(text(i, scratch));
}

void PreviewList::append(std::string_view text, EntryKind kind) {
    lines_.push_back({0, static_cast<uint32_t>(texts_.size()), 0, 0, kind, true, false, false});
    texts_.append(text);
    textNumbers_.push_back(0);
}

void PreviewList::appendFileWithTitle(std::string_view title, int32_t number, uint32_t sourceLine) {
    std::string text;
    if (number > 0) {
        text.append(PadLeft(number, numberWidth_, '0')).append(" - ");
    }
    text.append(title);
    append(text, EntryKind::File, sourceLine);
    textNumbers_.back() = std::max(number, 0);
}

size_t PreviewList::numberPrefixLength(int32_t number) const {
    return number > 0 ? PadLeft(number, numberWidth_, '0').size() + 3 : 0;
}

int32_t PreviewList::number(size_t i) const {
    const Line& line = lines_[i];
    if (line.hasOwnText) {
        return textNumbers_[line.numberOrText];
    }
    return line.numbered ? static_cast<int32_t>(line.numberOrText) : 0;
}

std::string_view PreviewList::title(size_t i, std::string& scratch) const {
    const Line& line = lines_[i];
    if (line.hasOwnText) {
        const std::string_view text = texts_[line.numberOrText];
        return text.substr(std::min(text.size(), numberPrefixLength(number(i))));
    }
    const std::string_view fullText = text(i, scratch);
    return fullText.substr(numberPrefixLength(number(i)));
}

void PreviewList::append(std::string_view text, EntryKind kind, uint32_t sourceLine) {
    append(text, kind);
    lines_.back().sourceLine = sourceLine;
    lines_.back().hasSourceLine = true;
}

bool PreviewList::appendFile(uint32_t sourceLine, size_t titleStart, size_t titleLength,
                             int32_t number) {
    constexpr size_t kLargest = std::numeric_limits<uint8_t>::max();
    if (titleStart > kLargest || titleLength > kLargest || number < 0 ||
        PadLeft(number, numberWidth_, '0').size() + 3 + titleLength > kLongestComposed) {
        return false;
    }
    lines_.push_back({sourceLine, static_cast<uint32_t>(number), static_cast<uint8_t>(titleStart),
                      static_cast<uint8_t>(titleLength), EntryKind::File, false, true, number > 0});
    return true;
}

void PreviewList::replaceLastText(std::string_view text, uint32_t sourceLine) {
    Line& last = lines_.back();
    last.sourceLine = sourceLine;
    last.hasSourceLine = true;
    if (last.hasOwnText && last.numberOrText + 1 == texts_.size()) {
        texts_.replaceBack(text);
        textNumbers_.back() = 0;
        return;
    }
    last.hasOwnText = true;
    last.numberOrText = static_cast<uint32_t>(texts_.size());
    texts_.append(text);
    textNumbers_.push_back(0);
}

}  // namespace spurfix
