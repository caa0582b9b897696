#include "engine/name_rules.h"

#include <gtest/gtest.h>

namespace spurfix {
namespace {

struct Case {
    std::string name;
    std::string expected;
};

TEST(StripTrackNumber, RemovesTheLeadingNumberAndItsSeparators) {
    const Case cases[] = {
        {"01 - Song", "Song"},
        {"01 Song", "Song"},
        {"01-Song", "Song"},
        {"01_Song", "Song"},
        {"01. Song", "Song"},
        {"01)Song", "Song"},
        {"07 . _ - Titel", "Titel"},
        {"01Song", "ong"},  // the character behind the digits goes, whatever it is
        {"3Zeilen - Lied", "eilen - Lied"},
        {"123", ""},
        {"1", ""},
        {"0", ""},
        {"9x", ""},
        {"01 - ", ""},
        {"1--a", "a"},
        {"12 3", "3"},
        {"01 - A", "A"},
        {"A", "A"},
        {"Song", "Song"},
        {"AB", "AB"},
        {"(01) Song", "(01) Song"},
        {" 01 Song", " 01 Song"},
        {"- Song", "- Song"},
        {"01 - 02 Song", "02 Song"},                    // only the first run of digits
        {"01 \xE2\x80\x93 Song", "\xE2\x80\x93 Song"},  // an en dash is an ordinary character
        {"01 \x96 Song", "\x96 Song"},                  // so is a byte above 0x7F
        {"01\tSong", "Song"},                           // the tab is the one dropped character
        {"01 \tSong", "\tSong"},                        // a tab is no separator
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StripTrackNumber(c.name), c.expected) << "name: \"" << c.name << '"';
    }
}

TEST(ExtractTitle, KeepsThePartBehindTheLastDoubleSeparator) {
    const Case cases[] = {
        {"Artist - Title", "Title"},
        {"01 - Artist - Title", "Title"},
        {"A - B", "B"},
        {"Song--Mix", "Mix"},
        {"a -b", "b"},
        {"01  -  X Y", "X Y"},
        {"Artist-Title", "Artist-Title"},
        {"01 Song", "01 Song"},
        {"(01) Song", "(01) Song"},
        {"Song", "Song"},
        {"- Song", "Song"},
        {"Title - ", ""},
        {"  ", ""},
        {"-", "-"},
        {" ", " "},
        {"A \xE2\x80\x93 B", "A \xE2\x80\x93 B"},  // an en dash is no separator
        {"A\t- B", "B"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExtractTitle(c.name), c.expected) << "name: \"" << c.name << '"';
    }
}

TEST(NameRules, CombineAsTheListAppliesThem) {
    EXPECT_EQ(ExtractTitle(StripTrackNumber("01 Song")), "Song");
    EXPECT_EQ(ExtractTitle(StripTrackNumber("3Zeilen - Lied")), "Lied");
    EXPECT_EQ(ExtractTitle(StripTrackNumber("01 - Artist - Title")), "Title");
}

TEST(PadLeft, FillsInFrontAndNeverCuts) {
    struct PadCase {
        int32_t value;
        int32_t width;
        std::string expected;
    };
    const PadCase cases[] = {
        {7, 3, "007"},     {0, 3, "000"},  {999, 3, "999"},
        {1000, 3, "1000"}, {5, 4, "0005"}, {12, 0, "12"},
        {-5, 3, "0-5"},    {12, -4, "12"}, {INT32_MIN, 3, "-2147483648"},
    };
    for (const PadCase& c : cases) {
        EXPECT_EQ(PadLeft(c.value, c.width, '0'), c.expected) << c.value << " width " << c.width;
    }
    EXPECT_EQ(PadLeft(3, 4, ' '), "   3");
}

}  // namespace
}  // namespace spurfix
