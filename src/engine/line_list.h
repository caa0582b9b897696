#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace spurfix {

// An append-only list of byte texts. The texts live in blocks of memory that are
// filled one after the other and never moved, and each line is found through a
// reference kept in chunks of their own: a million paths cost their bytes plus about
// twelve bytes each, and growing the list never copies what it holds.
class LineList {
  public:
    [[nodiscard]] size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }
    [[nodiscard]] std::string_view operator[](size_t i) const {
        const Ref& ref = refs_[i >> kRefChunkBits][i & kRefChunkMask];
        return {blocks_[ref.block].get() + ref.offset, ref.length};
    }
    [[nodiscard]] std::string_view back() const { return (*this)[size_ - 1]; }

    // Appends one line made of the parts, joined without separator.
    void append(std::string_view first, std::string_view second = {}, std::string_view third = {});
    void replaceBack(std::string_view line);
    void clear();

  private:
    struct Ref {
        uint32_t block;
        uint32_t offset;
        uint32_t length;
    };
    static constexpr size_t kRefChunkBits = 13;
    static constexpr size_t kRefChunkSize = size_t{1} << kRefChunkBits;
    static constexpr size_t kRefChunkMask = kRefChunkSize - 1;

    char* reserveBytes(size_t length, Ref& ref);

    std::vector<std::unique_ptr<char[]>> blocks_;
    std::vector<std::unique_ptr<Ref[]>> refs_;
    size_t size_ = 0;
    size_t currentBlock_ = SIZE_MAX;  // the block being filled
    size_t currentSize_ = 0;
    size_t currentUsed_ = 0;
    size_t totalBytes_ = 0;
};

using ScanList = LineList;

}  // namespace spurfix
