#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "export/output.h"

namespace spurfix::exporting {

// How the songs are laid out in a numbered copy.
enum class CopyLayout : uint8_t {
    // One folder per labelled list folder, numbered in the order of its first song; a list
    // without labels is laid out as in OneFolder.
    Folders,
    // All songs in the target itself; more than kSongsPerFolder go into folders named by
    // their first and last number ("001-255").
    OneFolder,
};

// Players and FAT file systems limit the songs of a folder.
inline constexpr size_t kSongsPerFolder = 255;
// Joliet's longest name, in UTF-16 units; FAT and exFAT allow more.
inline constexpr size_t kLongestName = 64;

// One song of the copy: its folder (an index into CopyPlan::folders, or -1 for the target
// itself), its new name and the file it is copied from.
struct PlannedSong {
    int32_t folder = -1;
    std::string name;
    std::string_view source;
};

// What a copy makes, in the order it makes it: folders are created when their first song
// comes, songs in list order.
struct CopyPlan {
    std::vector<std::string> folders;
    std::vector<PlannedSong> songs;
};

// The plan for the list's song lines. The views into `lines` stay valid while it lives.
CopyPlan PlanNumberedCopy(const PreviewList& lines, CopyLayout layout);

// A name that FAT, exFAT and Joliet take: `number`, a space, `title` and "." `extension`
// (lower case), where characters those file systems refuse become "_", bytes that are not
// UTF-8 are read as Latin-1, a trailing dot or space goes, and a name longer than
// kLongestName is cut in the title. An empty title leaves the number alone; an empty
// extension leaves no dot.
std::string SafeName(std::string_view number, std::string_view title, std::string_view extension);

// Sizes as the messages give them: "512,0 MB".
std::string GermanSize(uint64_t bytes);

// The songs copied into a folder, each named with its number first, so that every player
// plays them in the list's order. The target must be empty or new; what the copy made is
// taken back when it fails or is stopped, and the source is only read.
class NumberedCopyOutput : public Output {
  public:
    explicit NumberedCopyOutput(CopyLayout layout) : layout_(layout) {}
    std::string write(const ExportList& list, const std::string& target,
                      Progress& progress) const override;

  private:
    CopyLayout layout_;
};

}  // namespace spurfix::exporting
