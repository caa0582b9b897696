#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace spurfix {

// What a song file says about itself: the texts of its tags (UTF-8, empty where the
// tag is missing) and its playing time. The tag reader fills it; the list engine reads
// it without knowing where it came from.
struct SongInfo {
    std::string title;
    std::string artist;
    std::string album;
    std::string year;
    std::string track;
    int32_t milliseconds = -1;  // -1: the time is not known
    bool timeIsEstimate = false;
};

// The songs of one reading, found by their line in the scan list.
struct SongInfoTable {
    std::vector<uint32_t> lines;  // ascending
    std::vector<SongInfo> songs;  // songs[i] belongs to lines[i]

    [[nodiscard]] const SongInfo* find(uint32_t line) const {
        const auto found = std::lower_bound(lines.begin(), lines.end(), line);
        return found != lines.end() && *found == line
                   ? &songs[static_cast<size_t>(found - lines.begin())]
                   : nullptr;
    }
};

}  // namespace spurfix
