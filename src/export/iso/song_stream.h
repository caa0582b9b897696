#pragma once

// A song's file as libisofs reads it into the image. libisofs's own file streams fill a
// file that cannot be read with zeros and go on; this one notes the first failure, so
// that the image is not finished, and counts the songs read for the progress bar.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include <libisofs.h>

namespace spurfix::exporting {

// What the image's songs share while libisofs reads them on its own thread.
class SongReading {
  public:
    // Notes a failure reading `path` (errno value, or 0 where the file changed); the
    // first one is kept.
    void fail(const std::string& path, int error);
    [[nodiscard]] bool failed() const { return failed_.load(std::memory_order_acquire); }
    // The file and errno value of the first failure; call once failed() is true.
    [[nodiscard]] std::string failedPath() const;
    [[nodiscard]] int failedError() const;

    void songRead() { songsRead_.fetch_add(1, std::memory_order_relaxed); }
    [[nodiscard]] uint64_t songsRead() const { return songsRead_.load(std::memory_order_relaxed); }

  private:
    mutable std::mutex mutex_;
    std::string failedPath_;
    int failedError_ = 0;
    std::atomic<bool> failed_{false};
    std::atomic<uint64_t> songsRead_{0};
};

// A new stream (one reference, which the file node takes) over `path`, of `size` bytes
// as found when the image was planned; `id` tells the songs apart.
IsoStream* NewSongStream(const std::string& path, off_t size, ino_t id, SongReading& reading);

}  // namespace spurfix::exporting
