// The numbered copy and the CD image against the tools a user would take instead, in pairs
// run back to back in one run, the order alternating: the copy of about 1,000 generated
// songs (about 500 MB, on the same disk) against `cp -r` of the same folder, and the image
// against `xorriso -as mkisofs -J -r` of the same numbered tree. Each side ends with its
// data on the disk: ours flushes by itself (syncfs for the copy, fdatasync for the image),
// the peers are followed by `sync -f` on what they wrote. The progress is counted as the
// window counts it. A row gives the median of the per-pair ratios with min and max, wall
// and CPU time (the program's and its children's), and the load before and after.
//
// Usage: spurfix_copy_bench [--runs N] [--data DIR] [--results FILE]
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "export/iso/cd_image.h"
#include "export/numbered_copy.h"
#include "measure.h"

namespace spurfix::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kFolders = 10;
constexpr int kSongsPerFolder = 100;

// As the window's progress: figures stored for the bar, a stop asked for now and then.
class CountingProgress : public exporting::Progress {
  public:
    void report(uint64_t done, uint64_t total) override {
        done_.store(done, std::memory_order_relaxed);
        total_.store(total, std::memory_order_relaxed);
    }
    void reportFiles(uint64_t done, uint64_t) override {
        files_.store(done, std::memory_order_relaxed);
    }
    [[nodiscard]] bool cancelled() const override { return false; }

  private:
    std::atomic<uint64_t> done_{0}, total_{0}, files_{0};
};

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

// Songs of 400 to 600 KB of random bytes in ten folders, made once.
void MakeSongs(const fs::path& source) {
    if (fs::exists(source / "done")) {
        return;
    }
    fs::remove_all(source);
    std::mt19937_64 random(42);
    std::vector<char> bytes;
    for (int f = 0; f < kFolders; ++f) {
        const fs::path folder = source / ("Ordner " + std::to_string(f + 1));
        fs::create_directories(folder);
        for (int s = 0; s < kSongsPerFolder; ++s) {
            bytes.resize(400'000 + random() % 200'000);
            for (size_t i = 0; i + 8 <= bytes.size(); i += 8) {
                const uint64_t word = random();
                std::memcpy(&bytes[i], &word, 8);
            }
            std::ofstream(folder / ("Lied " + std::to_string(s + 1) + ".mp3"), std::ios::binary)
                .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
    }
    std::ofstream(source / "done") << "1";
    Run("sync -f '" + source.string() + "'");
}

// The list of the songs as the window makes it: a label line per folder, songs numbered on.
struct SongList {
    ScanList scan;
    PreviewList preview{scan, 4};
    explicit SongList(const fs::path& source) {
        int32_t number = 0;
        for (int f = 0; f < kFolders; ++f) {
            const std::string folder = "Ordner " + std::to_string(f + 1);
            scan.append((source / folder).string() + "/");
            preview.append(folder, EntryKind::DirectoryLabel,
                           static_cast<uint32_t>(scan.size() - 1));
            for (int s = 0; s < kSongsPerFolder; ++s) {
                const std::string name = "Lied " + std::to_string(s + 1);
                scan.append((source / folder / (name + ".mp3")).string());
                preview.appendFileWithTitle(name, ++number, static_cast<uint32_t>(scan.size() - 1));
            }
        }
    }
};

struct Row {
    std::string what, peer;
    std::vector<double> wallRatios{}, cpuRatios{}, oursWall{}, peerWall{};
};

std::string Format(const Row& row) {
    const Spread wall = SpreadOf(row.wallRatios);
    const Spread cpu = SpreadOf(row.cpuRatios);
    const Spread ours = SpreadOf(row.oursWall);
    const Spread peer = SpreadOf(row.peerWall);
    char line[512];
    std::snprintf(line, sizeof line,
                  "| %s | %s | %.2f s | %.2f s | %.2fx (%.2f–%.2f) | %.2fx (%.2f–%.2f) |",
                  row.what.c_str(), row.peer.c_str(), ours.median, peer.median, wall.median,
                  wall.min, wall.max, cpu.median, cpu.min, cpu.max);
    return line;
}

}  // namespace
}  // namespace spurfix::bench

int main(int argc, char** argv) {
    using namespace spurfix;
    using namespace spurfix::bench;
    int runs = 5;
    fs::path data = "/var/tmp/spurfix-copy-bench";
    std::string results;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--runs") {
            runs = std::atoi(argv[i + 1]);
        } else if (option == "--data") {
            data = argv[i + 1];
        } else if (option == "--results") {
            results = argv[i + 1];
        }
    }
    const fs::path source = data / "songs";
    MakeSongs(source);
    const SongList list(source);
    const exporting::ExportList exportList{&list.preview, source.string() + "/", "Bench"};
    const fs::path work = data / "work";
    fs::remove_all(work);
    fs::create_directories(work);
    // The numbered tree that xorriso gets, made by the copy itself.
    const fs::path numbered = work / "numbered";
    {
        CountingProgress progress;
        exporting::NumberedCopyOutput(exporting::CopyLayout::Folders)
            .write(exportList, numbered.string(), progress);
    }
    const std::string loadBefore = LoadAverage();

    Row copy{"numbered copy, 1,000 songs, " + std::to_string(kFolders) + " folders",
             "`cp -r` + `sync -f`",
             {},
             {},
             {},
             {}};
    Row image{"CD image (ISO 9660 + Joliet + Rock Ridge)",
              "`xorriso -as mkisofs -J -r` + `sync -f`",
              {},
              {},
              {},
              {}};
    for (int run = 0; run < runs; ++run) {
        const bool oursFirst = run % 2 == 0;
        // The copy.
        const fs::path oursCopy = work / "ours";
        const fs::path peerCopy = work / "peer";
        WallAndCpu ours, peer;
        const auto doOurs = [&] {
            ours = Measured([&] {
                CountingProgress progress;
                exporting::NumberedCopyOutput(exporting::CopyLayout::Folders)
                    .write(exportList, oursCopy.string(), progress);
            });
        };
        const auto doPeer = [&] {
            peer = Measured([&] {
                Run("cp -r '" + source.string() + "' '" + peerCopy.string() + "' && sync -f '" +
                    peerCopy.string() + "'");
            });
        };
        if (oursFirst) {
            doOurs();
            doPeer();
        } else {
            doPeer();
            doOurs();
        }
        fs::remove_all(oursCopy);
        fs::remove_all(peerCopy);
        copy.wallRatios.push_back(ours.wall / peer.wall);
        copy.cpuRatios.push_back(ours.cpu / peer.cpu);
        copy.oursWall.push_back(ours.wall);
        copy.peerWall.push_back(peer.wall);

        // The image.
        const fs::path oursImage = work / "ours.iso";
        const fs::path peerImage = work / "peer.iso";
        const auto doOursImage = [&] {
            ours = Measured([&] {
                CountingProgress progress;
                exporting::CdImageOutput(exporting::CopyLayout::Folders)
                    .write(exportList, oursImage.string(), progress);
            });
        };
        const auto doPeerImage = [&] {
            peer = Measured([&] {
                Run("xorriso -as mkisofs -J -r -quiet -o '" + peerImage.string() + "' '" +
                    numbered.string() + "' 2>/dev/null && sync -f '" + peerImage.string() + "'");
            });
        };
        if (oursFirst) {
            doOursImage();
            doPeerImage();
        } else {
            doPeerImage();
            doOursImage();
        }
        fs::remove(oursImage);
        fs::remove(peerImage);
        image.wallRatios.push_back(ours.wall / peer.wall);
        image.cpuRatios.push_back(ours.cpu / peer.cpu);
        image.oursWall.push_back(ours.wall);
        image.peerWall.push_back(peer.wall);
        std::fprintf(stderr, "run %d: copy %.2f/%.2f s, image %.2f/%.2f s\n", run + 1,
                     copy.oursWall.back(), copy.peerWall.back(), image.oursWall.back(),
                     image.peerWall.back());
    }
    fs::remove_all(work);

    std::ostringstream table;
    table
        << "| row | peer | ours (median wall) | peer (median wall) | wall ratio, median (min–max) "
           "| CPU ratio, median (min–max) |\n|---|---|---|---|---|---|\n"
        << Format(copy) << "\n"
        << Format(image) << "\n\n"
        << runs << " pairs, order alternating; load (1/5/15 min) before " << loadBefore
        << ", after " << LoadAverage() << "; data in " << data.string() << ".\n";
    std::printf("%s", table.str().c_str());
    if (!results.empty()) {
        std::ofstream(results, std::ios::app) << table.str();
    }
    return 0;
}
