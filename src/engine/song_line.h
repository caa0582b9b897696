#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/build_progress.h"
#include "engine/line_list.h"
#include "engine/list_options.h"
#include "engine/preview_list.h"
#include "engine/song_info.h"

namespace spurfix {

// Which of the songs' facts a list with these options shows.
struct SongFactsWanted {
    bool tags = false;   // titles from the tags
    bool times = false;  // playing times of songs or folders
    [[nodiscard]] bool any() const { return tags || times; }
};
SongFactsWanted SongFactsFor(const ListOptions& options);

// A playing time as the list shows it: "3:45", from one hour on "1:02:03", rounded to
// the second; "ca. " in front of an estimate.
std::string PlayingTimeText(int64_t milliseconds, bool estimate);

// A song line's text apart from the playing time it ends in, for an output that puts
// the time elsewhere (a playlist's "#EXTINF", a column of the CD insert).
struct TimedText {
    std::string_view text;           // the text without its " (3:45)"
    const SongInfo* song = nullptr;  // whose time the text ended in; nullptr: it showed none
};
// Splits `text`, the text or title of the list's line `line`, where it ends in the time
// of its song in `times` (the table the list was built with, where it shows times;
// nullptr where it shows none). A line whose text does not end in its song's time is
// left whole: an output never shows a time the list does not.
TimedText SplitPlayingTime(const PreviewList& preview, size_t line, std::string_view text,
                           const SongInfoTable* times);

// The total playing time of every song line of a list, the songs' times from `times`:
// nothing where the list shows no times or one of its songs has no known time, so that
// a total is never too short. An estimate in it makes the total an estimate.
struct TotalTime {
    int64_t milliseconds = 0;
    bool estimate = false;
};
std::optional<TotalTime> TotalPlayingTime(const PreviewList& preview, const SongInfoTable* times);

// The title the tag template makes of a song's tags, or empty when its tags hold no
// title. Texts from the tags are put in as they are, never searched for placeholders.
std::string TagTitle(const SongInfo& song, std::string_view tagTemplate);

// The scan list's lines of the songs in a list, ascending: the files whose tags a list
// with these options would show.
std::vector<uint32_t> SongLinesOf(const PreviewList& preview);

// What the list assembly asks about titles and times from the tags while it builds a list.
class SongLineMaker {
  public:
    SongLineMaker(const ListOptions& options, const SongInfoTable* songs);

    // The folder label template to use: a %DAUER% in it is kept for Finish().
    [[nodiscard]] const std::string& labelTemplate() const { return labelTemplate_; }
    // The text of a song line where tags or times change it, in `line`; false where the
    // line stays as the name rules made it. `nameTitle` is the name rules' title,
    // `number` 0 for an unnumbered line.
    bool songLine(uint32_t scanLine, std::string_view nameTitle, int32_t number, int32_t width,
                  std::string& line) const;
    // Puts each folder's playing time into its label: the sum of the songs listed below
    // it, nothing where one of them has no known time. Counts a step per line in `steps`.
    void finish(PreviewList& preview, const ScanList& scanList, int32_t width,
                BuildSteps& steps) const;

  private:
    const ListOptions& options_;
    const SongInfoTable* songs_;
    std::string labelTemplate_;
    bool folderTimes_ = false;
};

}  // namespace spurfix
