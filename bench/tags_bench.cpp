// Titles and playing times of 100,000 generated songs: Spurfix's reading on all cores
// against a plain single-threaded loop of TagLib::FileRef over the same files, in pairs
// run back to back, the order alternating; warm cache (one untimed pass first). A row
// gives the median of the per-pair ratios with their min and max, wall and CPU time.
// The row on one thread tells what a file costs apart from the use of every core.
//
// Usage: spurfix_tags_bench [--runs N] [--data DIR] [--results FILE]
#include <fileref.h>
#include <id3v2tag.h>
#include <sys/resource.h>
#include <tag.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "measure.h"
#include "support/mp3_frames.h"
#include "tags/song_reading.h"

namespace spurfix::bench {
namespace {

// 100,000 songs in 1,000 folders, each a short MP3 of silence with an ID3v2 tag: a third
// of constant bit rate without a VBR header, a third of variable bit rate with a Xing
// header, a third of variable bit rate without one (whose frames Spurfix counts).
std::vector<std::string> EnsureSongs(const std::string& root, size_t songs) {
    std::vector<std::string> paths;
    const bool exists = std::filesystem::exists(root + "/done");
    for (size_t i = 0; i < songs; ++i) {
        const std::string folder = root + "/" + std::to_string(i / 100);
        const std::string path = folder + "/" + std::to_string(i % 100) + " - Track.mp3";
        paths.push_back(path);
        if (exists) {
            continue;
        }
        std::filesystem::create_directories(folder);
        std::vector<int> rates(24 + i % 17);
        for (size_t f = 0; f < rates.size(); ++f) {
            rates[f] = i % 3 == 0 ? 48 : (f % 3 == 0 ? 64 : 32);
        }
        TagLib::ID3v2::Tag tag;
        tag.setTitle("Titel " + std::to_string(i));
        tag.setArtist("Interpret " + std::to_string(i % 250));
        tag.setAlbum("Album " + std::to_string(i / 100));
        tag.setYear(1990 + static_cast<unsigned>(i % 30));
        tag.setTrack(static_cast<unsigned>(i % 100 + 1));
        const TagLib::ByteVector header = tag.render();
        std::ofstream(path, std::ios::binary)
            << std::string(header.data(), header.size())
            << test::Mp3Audio(rates, i % 3 == 1 ? test::VbrHeader::Xing : test::VbrHeader::None);
    }
    if (!exists) {
        std::ofstream(root + "/done") << songs << "\n";
    }
    return paths;
}

}  // namespace
}  // namespace spurfix::bench

int main(int argc, char** argv) {
    using namespace spurfix;
    using namespace spurfix::bench;
    int runs = 5;
    std::string data = "/tmp/spurfix-bench";
    std::string results;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--data" && i + 1 < argc) {
            data = argv[++i];
        } else if (arg == "--results" && i + 1 < argc) {
            results = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--runs N] [--data DIR] [--results FILE]\n", argv[0]);
            return 2;
        }
    }
    const std::vector<std::string> paths = EnsureSongs(data + "/songs-100k", 100000);
    ScanList scan;
    std::vector<uint32_t> lines;
    for (const std::string& path : paths) {
        lines.push_back(static_cast<uint32_t>(scan.size()));
        scan.append(path);
    }

    // What each side reads: Spurfix with exact times, the plain loop with TagLib's own.
    size_t checksum = 0;
    const auto ours = [&](tags::SongParts parts) {
        return [&, parts] {
            tags::SongReadingProgress progress;
            const tags::SongReading reading = tags::ReadSongs(scan, lines, parts, progress);
            for (const SongInfo& song : reading.table.songs) {
                checksum += song.title.size() + static_cast<size_t>(song.milliseconds + 1);
            }
        };
    };
    // The same reading on one thread: what a file costs Spurfix, apart from the cores.
    const auto oursOnOneThread = [&] {
        for (const uint32_t line : lines) {
            const SongInfo song =
                tags::ReadSongFile(std::string(scan[line]), tags::SongParts::TagsAndTime);
            checksum += song.title.size() + static_cast<size_t>(song.milliseconds + 1);
        }
    };
    const auto plain = [&](bool withTime) {
        return [&, withTime] {
            for (const std::string& path : paths) {
                const TagLib::FileRef file(path.c_str(), withTime);
                if (!file.isNull() && file.tag() != nullptr) {
                    checksum += file.tag()->title().size();
                }
                if (withTime && file.audioProperties() != nullptr) {
                    checksum += static_cast<size_t>(file.audioProperties()->lengthInMilliseconds());
                }
            }
        };
    };

    std::ostringstream report;
    report << "\n### Tags and playing times of " << paths.size() << " generated songs, warm cache, "
           << runs << " pairs a row, " << std::thread::hardware_concurrency() << " cores\n\n"
           << "| row | Spurfix wall | plain loop wall | ratio wall: median (min-max) | Spurfix CPU "
              "| plain loop CPU | ratio CPU: median (min-max) |\n|---|---|---|---|---|---|---|\n";
    const std::string loadBefore = LoadAverage();
    ours(tags::SongParts::TagsAndTime)();  // warms the cache
    plain(true)();
    struct Row {
        const char* what;
        std::function<void()> ours, peer;
    };
    const Row rows[] = {
        {"tags and exact times / `TagLib::FileRef` with TagLib's times",
         ours(tags::SongParts::TagsAndTime), plain(true)},
        {"tags alone / `TagLib::FileRef` without audio properties", ours(tags::SongParts::Tags),
         plain(false)},
        {"tags and exact times on one thread / `TagLib::FileRef` with TagLib's times",
         oursOnOneThread, plain(true)},
    };
    for (const Row& row : rows) {
        std::vector<WallAndCpu> us, them;
        for (int run = 0; run < runs; ++run) {
            if (run % 2 == 0) {
                them.push_back(Measured(row.peer));
                us.push_back(Measured(row.ours));
            } else {
                us.push_back(Measured(row.ours));
                them.push_back(Measured(row.peer));
            }
        }
        std::vector<double> wallRatio, cpuRatio, usWall, usCpu, themWall, themCpu;
        for (size_t i = 0; i < us.size(); ++i) {
            wallRatio.push_back(us[i].wall / them[i].wall);
            cpuRatio.push_back(us[i].cpu / std::max(them[i].cpu, 1e-6));
            usWall.push_back(us[i].wall);
            usCpu.push_back(us[i].cpu);
            themWall.push_back(them[i].wall);
            themCpu.push_back(them[i].cpu);
        }
        const Spread w = SpreadOf(wallRatio);
        const Spread c = SpreadOf(cpuRatio);
        char text[512];
        std::snprintf(text, sizeof text,
                      "| %s | %.0f ms | %.0f ms | **%.2f** (%.2f-%.2f) | %.0f ms | %.0f ms | "
                      "**%.2f** (%.2f-%.2f) |\n",
                      row.what, SpreadOf(usWall).median * 1000, SpreadOf(themWall).median * 1000,
                      w.median, w.min, w.max, SpreadOf(usCpu).median * 1000,
                      SpreadOf(themCpu).median * 1000, c.median, c.min, c.max);
        report << text;
        std::printf("%s", text);
        std::fflush(stdout);
    }
    report << "\nLoad before: " << loadBefore << "; after: " << LoadAverage() << "\n";
    std::printf("%s(checksum %zu)\n", report.str().c_str(), checksum);
    if (!results.empty()) {
        std::ofstream(results) << "# Benchmark: tags and playing times\n" << report.str();
    }
    return 0;
}
