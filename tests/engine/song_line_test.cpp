#include "engine/song_line.h"

#include <gtest/gtest.h>

namespace spurfix {
namespace {

TEST(SongLine, PlayingTimes) {
    const struct {
        int64_t milliseconds;
        bool estimate;
        const char* expected;
    } cases[] = {
        {0, false, "0:00"},
        {499, false, "0:00"},
        {500, false, "0:01"},
        {225'000, false, "3:45"},
        {599'499, false, "9:59"},
        {3'599'499, false, "59:59"},
        {3'599'500, false, "1:00:00"},
        {3'723'000, false, "1:02:03"},
        {36'000'000, false, "10:00:00"},
        {225'000, true, "ca. 3:45"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PlayingTimeText(c.milliseconds, c.estimate), c.expected) << c.milliseconds;
    }
}

// Texts from the tags go in as they are: a placeholder inside a tag stays text.
TEST(SongLine, TagTextsAreNotTemplates) {
    SongInfo song;
    song.title = "%INTERPRET% 100%";
    song.artist = "%TITEL%";
    EXPECT_EQ(TagTitle(song, "%INTERPRET% - %TITEL%"), "%TITEL% - %INTERPRET% 100%");
    EXPECT_EQ(TagTitle(song, "%TITEL% %UNBEKANNT% %"), "%INTERPRET% 100% %UNBEKANNT% %");
    song.title.clear();
    EXPECT_EQ(TagTitle(song, "%INTERPRET% - %TITEL%"), "") << "no title tag, no tag title";
}

}  // namespace
}  // namespace spurfix
