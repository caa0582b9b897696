// Reading the songs of a whole list on the worker threads.
#include "tags/song_reading.h"

#include <gtest/gtest.h>
#include <fstream>

#include "support/mp3_frames.h"
#include "support/temp_tree.h"

namespace spurfix::tags {
namespace {

// Songs of different lengths among folders, read in any order by the workers, each
// keep their own time; lines that are not songs are not read.
TEST(SongReading, EverySongGetsItsOwnTime) {
    test::TempTree tree;
    ScanList scan;
    std::vector<uint32_t> songs;
    scan.append(tree.root());
    for (size_t i = 0; i < 400; ++i) {
        if (i % 50 == 0) {
            scan.append(tree.path("F" + std::to_string(i) + "/"));
            tree.folder("F" + std::to_string(i));
        }
        const std::string path =
            tree.path("F" + std::to_string(i / 50 * 50) + "/" + std::to_string(i) + ".mp3");
        std::ofstream(path, std::ios::binary)
            << test::Mp3Audio(test::VariableRates(i + 2), test::VbrHeader::None);
        songs.push_back(static_cast<uint32_t>(scan.size()));
        scan.append(path);
    }
    SongReadingProgress progress;
    const SongReading reading = ReadSongs(scan, songs, SongParts::TagsAndTime, progress);
    ASSERT_TRUE(reading.complete);
    EXPECT_EQ(progress.done.load(), 400U);
    EXPECT_EQ(progress.total.load(), 400U);
    for (size_t i = 0; i < songs.size(); ++i) {
        const SongInfo* song = reading.table.find(songs[i]);
        ASSERT_NE(song, nullptr);
        EXPECT_EQ(song->milliseconds, static_cast<int32_t>(i + 2) * test::kMp3FrameMilliseconds)
            << i;
    }
    EXPECT_EQ(reading.table.find(0), nullptr);  // a folder
}

// A stop asked for before the reading starts reads no file and keeps no table.
TEST(SongReading, StopReadsNoFurther) {
    test::TempTree tree;
    ScanList scan;
    std::vector<uint32_t> songs;
    for (int i = 0; i < 20; ++i) {
        const std::string path = tree.path(std::to_string(i) + ".mp3");
        std::ofstream(path, std::ios::binary)
            << test::Mp3Audio(test::ConstantRates(10), test::VbrHeader::None);
        songs.push_back(static_cast<uint32_t>(scan.size()));
        scan.append(path);
    }
    SongReadingProgress progress;
    progress.stop = true;
    const SongReading reading = ReadSongs(scan, songs, SongParts::TagsAndTime, progress);
    EXPECT_FALSE(reading.complete);
    EXPECT_TRUE(reading.table.lines.empty());
    EXPECT_EQ(progress.done.load(), 0U);
    EXPECT_EQ(progress.total.load(), 20U);
}

TEST(SongReading, NoSongsIsACompleteEmptyReading) {
    ScanList scan;
    SongReadingProgress progress;
    const SongReading reading = ReadSongs(scan, {}, SongParts::Tags, progress);
    EXPECT_TRUE(reading.complete);
    EXPECT_TRUE(reading.table.songs.empty());
}

}  // namespace
}  // namespace spurfix::tags
