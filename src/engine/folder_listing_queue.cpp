#include "engine/folder_listing_queue.h"

#include <chrono>

namespace spurfix {

bool FolderListingQueue::push(FolderListing&& listing) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return cancelled_ || listings_.size() < kMaxListings; });
    if (cancelled_) {
        return false;
    }
    listings_.push_back(std::move(listing));
    if (wanted_ > 0 && listings_.size() >= wanted_) {
        changed_.notify_all();
    }
    return true;
}

bool FolderListingQueue::pop(FolderListing& listing) {
    using namespace std::chrono_literals;
    std::unique_lock lock(mutex_);
    if (listings_.empty() && !finished_ && !cancelled_) {
        wanted_ = kWakeBatch;
        changed_.wait_for(lock, 2ms, [this] {
            return cancelled_ || finished_ || listings_.size() >= kWakeBatch;
        });
        wanted_ = 1;
        changed_.wait(lock, [this] { return cancelled_ || finished_ || !listings_.empty(); });
        wanted_ = 0;
    }
    if (listings_.empty()) {
        if (error_) {
            std::rethrow_exception(error_);
        }
        return false;
    }
    listing = std::move(listings_.front());
    listings_.pop_front();
    if (listings_.size() == kMaxListings - kWakeBatch) {
        changed_.notify_all();  // the reader may wait for room: room for a batch now
    }
    return true;
}

void FolderListingQueue::finish() {
    const std::lock_guard lock(mutex_);
    finished_ = true;
    changed_.notify_all();
}

void FolderListingQueue::fail(std::exception_ptr error) {
    const std::lock_guard lock(mutex_);
    error_ = std::move(error);
    finished_ = true;
    changed_.notify_all();
}

void FolderListingQueue::cancel() {
    const std::lock_guard lock(mutex_);
    cancelled_ = true;
    changed_.notify_all();
}

}  // namespace spurfix
