#include "engine/line_list.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace spurfix {

namespace {
// Blocks grow with the list, so that a short list stays small and a long one needs
// few blocks; a line longer than a quarter of the largest block gets one of its own.
constexpr size_t kSmallestBlock = 16 * 1024;
constexpr size_t kLargestBlock = 4 * 1024 * 1024;
constexpr size_t kOwnBlockFrom = kLargestBlock / 4;
}  // namespace

char* LineList::reserveBytes(size_t length, Ref& ref) {
    if (length > kOwnBlockFrom) {
        blocks_.push_back(std::make_unique<char[]>(length));
        ref = {static_cast<uint32_t>(blocks_.size() - 1), 0, static_cast<uint32_t>(length)};
        return blocks_.back().get();
    }
    if (currentBlock_ == SIZE_MAX || currentUsed_ + length > currentSize_) {
        // The block follows the list's size, but always holds the line it is made for.
        currentSize_ = std::max(length, std::clamp(totalBytes_, kSmallestBlock, kLargestBlock));
        blocks_.push_back(std::make_unique<char[]>(currentSize_));
        currentBlock_ = blocks_.size() - 1;
        currentUsed_ = 0;
    }
    ref = {static_cast<uint32_t>(currentBlock_), static_cast<uint32_t>(currentUsed_),
           static_cast<uint32_t>(length)};
    currentUsed_ += length;
    return blocks_[currentBlock_].get() + ref.offset;
}

void LineList::append(std::string_view first, std::string_view second, std::string_view third) {
    const size_t length = first.size() + second.size() + third.size();
    if (length > std::numeric_limits<uint32_t>::max()) {
        throw std::length_error("Zeile zu lang");
    }
    if ((size_ & kRefChunkMask) == 0 && (size_ >> kRefChunkBits) == refs_.size()) {
        refs_.push_back(std::make_unique<Ref[]>(kRefChunkSize));
    }
    Ref& ref = refs_[size_ >> kRefChunkBits][size_ & kRefChunkMask];
    char* target = reserveBytes(length, ref);
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
    --size_;
    const Ref& last = refs_[size_ >> kRefChunkBits][size_ & kRefChunkMask];
    totalBytes_ -= last.length;
    if (last.block == currentBlock_ && last.offset + last.length == currentUsed_) {
        currentUsed_ = last.offset;
    }
    append(line);
}

void LineList::clear() {
    blocks_.clear();
    refs_.clear();
    size_ = 0;
    currentBlock_ = SIZE_MAX;
    currentSize_ = 0;
    currentUsed_ = 0;
    totalBytes_ = 0;
}

}  // namespace spurfix
