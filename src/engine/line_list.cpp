#include "engine/line_list.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace spurfix {

namespace {
// Blocks grow with the list, so that a short list stays small and a long one needs
// few blocks; a block is always large enough for the line it is made for.
constexpr size_t kSmallestBlock = 16 * 1024;
constexpr size_t kLargestBlock = 4 * 1024 * 1024;
}  // namespace

char* LineList::reserveBytes(size_t length, Place& place) {
    if (blocks_.empty() || blocks_.back().used + length > blocks_.back().size) {
        const size_t size =
            std::max(length, std::clamp(totalBytes_, kSmallestBlock, kLargestBlock));
        blocks_.push_back({std::make_unique<char[]>(size), static_cast<uint32_t>(size), 0});
    }
    Block& block = blocks_.back();
    place = {static_cast<uint32_t>(blocks_.size() - 1), block.used};
    block.used += static_cast<uint32_t>(length);
    return block.bytes.get() + place.offset;
}

void LineList::append(std::string_view first, std::string_view second, std::string_view third) {
    const size_t length = first.size() + second.size() + third.size();
    // A block's offsets are 32 bits; a line longer than 4 GiB less a block is refused.
    if (length > std::numeric_limits<uint32_t>::max() - kLargestBlock) {
        throw std::length_error("Zeile zu lang");
    }
    if ((size_ & kPlaceChunkMask) == 0 && (size_ >> kPlaceChunkBits) == places_.size()) {
        places_.push_back(std::make_unique<Place[]>(kPlaceChunkSize));
    }
    Place& place = places_[size_ >> kPlaceChunkBits][size_ & kPlaceChunkMask];
    char* target = reserveBytes(length, place);
    for (std::string_view part : {first, second, third}) {
        if (!part.empty()) {
            std::memcpy(target, part.data(), part.size());
            target += part.size();
        }
    }
    totalBytes_ += length;
    ++size_;
}

void LineList::replaceBack(std::string_view line) {
    // The last line ends its block: its bytes are given back before the new line.
    --size_;
    const Place& last = placeOf(size_);
    Block& block = blocks_[last.block];
    totalBytes_ -= block.used - last.offset;
    block.used = last.offset;
    append(line);
}

void LineList::shrinkToFit() {
    if (blocks_.empty() || blocks_.back().used == blocks_.back().size) {
        return;
    }
    Block& last = blocks_.back();
    auto fitted = std::make_unique<char[]>(last.used);
    std::memcpy(fitted.get(), last.bytes.get(), last.used);
    last.bytes = std::move(fitted);
    last.size = last.used;
}

void LineList::clear() {
    blocks_.clear();
    places_.clear();
    size_ = 0;
    totalBytes_ = 0;
}

}  // namespace spurfix
