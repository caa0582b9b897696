#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/line_list.h"

namespace spurfix {

enum class EntryKind : uint8_t {
    DirectoryLabel = 1,
    File = 2,
};

// The finished song list: each line a byte text with its kind. A file line keeps only
// where its title lies in the scan list's path and its number, and is written out when
// it is read: the list of a million songs costs some twelve bytes a line. Other lines
// (folder labels, and names that had to be changed) keep their text.
class PreviewList {
  public:
    PreviewList() = default;
    // File lines refer to `scanList`, which must stay as it is while they are read.
    PreviewList(const ScanList& scanList, int32_t numberWidth)
        : scanList_(&scanList), numberWidth_(numberWidth) {}

    [[nodiscard]] size_t size() const { return lines_.size(); }
    [[nodiscard]] bool empty() const { return lines_.empty(); }
    [[nodiscard]] EntryKind kind(size_t i) const { return lines_[i].kind; }
    // The scan list's line a line was made from: a file's path, a label's folder.
    [[nodiscard]] uint32_t sourceLine(size_t i) const { return lines_[i].sourceLine; }
    [[nodiscard]] bool hasSourceLine(size_t i) const { return lines_[i].hasSourceLine; }
    // The scan list's line itself: a file's full path, a label's folder; empty for a
    // line without one.
    [[nodiscard]] std::string_view sourceText(size_t i) const {
        return scanList_ != nullptr && lines_[i].hasSourceLine ? (*scanList_)[lines_[i].sourceLine]
                                                               : std::string_view{};
    }

    // The line's text. A numbered file line is put together in `scratch` (which needs no
    // more than kLongestComposed bytes); every other text is viewed where it lies.
    [[nodiscard]] std::string_view text(size_t i, std::string& scratch) const;
    // The same, as a string of its own.
    [[nodiscard]] std::string text(size_t i) const;
    // The length of the line's text, without putting it together.
    [[nodiscard]] size_t textLength(size_t i) const;
    static constexpr size_t kLongestComposed = 300;

    // A file line's song number as the list shows it, 0 where it shows none.
    [[nodiscard]] int32_t number(size_t i) const;
    // A file line's title: its text without the number in front; a label's text.
    [[nodiscard]] std::string_view title(size_t i, std::string& scratch) const;
    // The width song numbers are filled to with zeros.
    [[nodiscard]] int32_t numberWidth() const { return numberWidth_; }

    // A line with a text of its own.
    void append(std::string_view text, EntryKind kind);
    void append(std::string_view text, EntryKind kind, uint32_t sourceLine);
    // A file line whose title is a text of its own; `number` 0 means unnumbered.
    void appendFileWithTitle(std::string_view title, int32_t number, uint32_t sourceLine);
    // A file line: its title is the part [titleStart, titleStart + titleLength) of the
    // file name in the scan list's line `sourceLine`; `number` 0 means unnumbered.
    // False where the title does not fit that form; the caller then gives the text.
    bool appendFile(uint32_t sourceLine, size_t titleStart, size_t titleLength, int32_t number);
    // Replaces the text of the last line, a line with a text of its own.
    void replaceLastText(std::string_view text, uint32_t sourceLine);

    void reserve(size_t lines) { lines_.reserve(lines); }
    // Gives back what growing left unused, once the list is complete.
    void shrinkToFit() {
        texts_.shrinkToFit();
        textNumbers_.shrink_to_fit();
        lines_.shrink_to_fit();
    }

  private:
    struct Line {
        uint32_t sourceLine;
        // A numbered file line: its number; a line with a text of its own: the index of
        // the text.
        uint32_t numberOrText;
        uint8_t titleStart;   // from the start of the file name
        uint8_t titleLength;  // titles are parts of a file name, at most 255 bytes
        EntryKind kind;
        bool hasOwnText : 1;
        bool hasSourceLine : 1;
        bool numbered : 1;
    };

    // How many bytes of a text of its own are the number and " - " in front of the title.
    [[nodiscard]] size_t numberPrefixLength(int32_t number) const;

    const ScanList* scanList_ = nullptr;
    int32_t numberWidth_ = 3;
    std::vector<Line> lines_;
    LineList texts_;
    std::vector<int32_t> textNumbers_;  // per text of its own: its file line's number, or 0
};

}  // namespace spurfix
