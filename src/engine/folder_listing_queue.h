#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/folder_reader.h"

namespace spurfix {

// Hands folder listings from the thread that reads them to the walk, in order. Bounded,
// so that reading ahead never takes much memory; cancelling wakes both sides.
class FolderListingQueue {
  public:
    // Waits while the queue is full; false once the walk has cancelled.
    bool push(platform::FolderEntries&& listing);
    // Waits for the next listing; false when no more will come.
    bool pop(platform::FolderEntries& listing);
    void finish();
    void cancel();
    [[nodiscard]] bool cancelled();

  private:
    static constexpr size_t kMaxListings = 256;
    // The walk is woken for a batch of listings, not for each one, unless the reader
    // is slow: then it takes what there is after a short wait.
    static constexpr size_t kWakeBatch = 32;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<platform::FolderEntries> listings_;
    size_t wanted_ = 0;  // how many listings the waiting walk wants to be woken for
    bool finished_ = false;
    bool cancelled_ = false;
};

}  // namespace spurfix
