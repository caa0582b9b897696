// Reading the songs of a whole list on the worker threads.
#include "tags/song_reading.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <fstream>
#include <thread>

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

// The window's "Abbrechen" reaches the reading through the stop question, asked before
// each file: once it says stop, no worker starts another file. The progress calls count
// every file read.
TEST(SongReading, StopQuestionEndsTheReadingBetweenFiles) {
    test::TempTree tree;
    ScanList scan;
    std::vector<uint32_t> songs;
    for (int i = 0; i < 200; ++i) {
        const std::string path = tree.path(std::to_string(i) + ".mp3");
        std::ofstream(path, std::ios::binary)
            << test::Mp3Audio(test::ConstantRates(10), test::VbrHeader::None);
        songs.push_back(static_cast<uint32_t>(scan.size()));
        scan.append(path);
    }
    SongReadingProgress progress;
    std::atomic<uint64_t> reported{0};
    std::atomic<uint64_t> highest{0};
    progress.onProgress = [&](uint64_t done, uint64_t total) {
        EXPECT_EQ(total, 200U);
        ++reported;
        uint64_t seen = highest.load();
        while (done > seen && !highest.compare_exchange_weak(seen, done)) {
        }
    };
    progress.stopRequested = [&] { return reported.load() >= 5; };
    const SongReading reading = ReadSongs(scan, songs, SongParts::TagsAndTime, progress);
    EXPECT_FALSE(reading.complete);
    EXPECT_TRUE(reading.table.lines.empty());
    // Each worker may finish the file it had begun.
    EXPECT_GE(reported.load(), 5U);
    EXPECT_LE(reported.load(), 5U + std::max(1U, std::thread::hardware_concurrency()));
    EXPECT_EQ(highest.load(), reported.load());
    EXPECT_EQ(progress.done.load(), reported.load());

    SongReadingProgress unhindered;
    std::atomic<uint64_t> calls{0};
    unhindered.onProgress = [&](uint64_t, uint64_t) { ++calls; };
    unhindered.stopRequested = [] { return false; };
    EXPECT_TRUE(ReadSongs(scan, songs, SongParts::Tags, unhindered).complete);
    EXPECT_EQ(calls.load(), 200U);
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
