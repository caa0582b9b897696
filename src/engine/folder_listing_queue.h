#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>

#include "platform/folder_reader.h"

namespace spurfix {

// One folder's listing with what identifies the folder in the walk's order: its depth
// below the source and the length of its path. The walk checks both when it takes it.
struct FolderListing {
    size_t depth = 0;
    size_t pathLength = 0;
    platform::FolderEntries entries;
};

// Hands folder listings from the thread that reads them to the walk, in order. Bounded,
// so that reading ahead never takes much memory; cancelling wakes both sides.
class FolderListingQueue {
  public:
    static constexpr size_t kMaxListings = 256;

    // Waits while the queue is full; false once the walk has cancelled.
    bool push(FolderListing&& listing);
    // Waits for the next listing; false when no more will come. Throws what the reader
    // failed with.
    bool pop(FolderListing& listing);
    void finish();
    // The reader failed: the walk gets the exception at its next pop.
    void fail(std::exception_ptr error);
    void cancel();

  private:
    // The walk is woken for a batch of listings, not for each one, unless the reader
    // is slow: then it takes what there is after a short wait.
    static constexpr size_t kWakeBatch = 32;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<FolderListing> listings_;
    size_t wanted_ = 0;  // how many listings the waiting walk wants to be woken for
    bool finished_ = false;
    bool cancelled_ = false;
    std::exception_ptr error_;
};

}  // namespace spurfix
