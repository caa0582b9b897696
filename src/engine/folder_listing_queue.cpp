#include "engine/folder_listing_queue.h"

namespace spurfix {

bool FolderListingQueue::push(platform::FolderEntries&& listing) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return cancelled_ || listings_.size() < kMaxListings; });
    if (cancelled_) {
        return false;
    }
    listings_.push_back(std::move(listing));
    changed_.notify_all();
    return true;
}

bool FolderListingQueue::pop(platform::FolderEntries& listing) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return cancelled_ || finished_ || !listings_.empty(); });
    if (listings_.empty()) {
        return false;
    }
    listing = std::move(listings_.front());
    listings_.pop_front();
    changed_.notify_all();
    return true;
}

void FolderListingQueue::finish() {
    const std::lock_guard lock(mutex_);
    finished_ = true;
    changed_.notify_all();
}

void FolderListingQueue::cancel() {
    const std::lock_guard lock(mutex_);
    cancelled_ = true;
    changed_.notify_all();
}

bool FolderListingQueue::cancelled() {
    const std::lock_guard lock(mutex_);
    return cancelled_;
}

}  // namespace spurfix
