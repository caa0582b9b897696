#include "tags/song_reading.h"

#include <algorithm>
#include <string>
#include <thread>

namespace spurfix::tags {

SongReading ReadSongs(const ScanList& scanList, const std::vector<uint32_t>& songLines,
                      SongParts parts, SongReadingProgress& progress) {
    SongReading reading;
    const size_t count = songLines.size();
    progress.done = 0;
    progress.total = count;
    reading.table.songs.resize(count);

    // Files are handed out one by one: their reading times differ by orders of magnitude
    // (a frame count reads the whole file), so fixed shares would leave cores idle.
    std::atomic<size_t> next{0};
    auto work = [&] {
        std::string path;
        while (true) {
            if (progress.stopRequested && progress.stopRequested()) {
                progress.stop = true;
            }
            if (progress.stop.load(std::memory_order_relaxed)) {
                return;
            }
            const size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= count) {
                return;
            }
            path.assign(scanList[songLines[i]]);
            reading.table.songs[i] = ReadSongFile(path, parts);
            const uint64_t done = progress.done.fetch_add(1, std::memory_order_relaxed) + 1;
            if (progress.onProgress) {
                progress.onProgress(done, count);
            }
        }
    };
    const size_t threads =
        std::clamp<size_t>(std::thread::hardware_concurrency(), 1, std::max<size_t>(count, 1));
    std::vector<std::thread> workers;
    workers.reserve(threads - 1);
    for (size_t t = 1; t < threads; ++t) {
        workers.emplace_back(work);
    }
    work();
    for (std::thread& worker : workers) {
        worker.join();
    }

    if (progress.stop.load()) {
        return {};
    }
    reading.table.lines = songLines;
    reading.complete = true;
    return reading;
}

}  // namespace spurfix::tags
