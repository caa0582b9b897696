#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace spurfix {

// An append-only list of byte texts. The texts lie one after the other in blocks of
// memory that are filled in turn and never moved; each line is found through its
// place (block and offset, eight bytes), and ends where the next line of its block
// begins. A million paths cost their bytes plus about eight bytes each, and growing
// the list never copies what it holds.
class LineList {
  public:
    [[nodiscard]] size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }
    [[nodiscard]] std::string_view operator[](size_t i) const {
        const Place& place = placeOf(i);
        const uint32_t end = i + 1 < size_ && placeOf(i + 1).block == place.block
                                 ? placeOf(i + 1).offset
                                 : blocks_[place.block].used;
        return {blocks_[place.block].bytes.get() + place.offset, end - place.offset};
    }
    [[nodiscard]] std::string_view back() const { return (*this)[size_ - 1]; }

    // Appends one line made of the parts, joined without separator.
    void append(std::string_view first, std::string_view second = {}, std::string_view third = {});
    void replaceBack(std::string_view line);
    void clear();
    // Gives back what the last block holds beyond its lines, once the list is complete.
    void shrinkToFit();

  private:
    struct Place {
        uint32_t block;
        uint32_t offset;
    };
    struct Block {
        std::unique_ptr<char[]> bytes;
        uint32_t size;
        uint32_t used;  // the lines of a block fill it from the start, in their order
    };
    static constexpr size_t kPlaceChunkBits = 13;
    static constexpr size_t kPlaceChunkSize = size_t{1} << kPlaceChunkBits;
    static constexpr size_t kPlaceChunkMask = kPlaceChunkSize - 1;

    [[nodiscard]] const Place& placeOf(size_t i) const {
        return places_[i >> kPlaceChunkBits][i & kPlaceChunkMask];
    }
    char* reserveBytes(size_t length, Place& place);

    std::vector<Block> blocks_;
    std::vector<std::unique_ptr<Place[]>> places_;
    size_t size_ = 0;
    size_t totalBytes_ = 0;
};

using ScanList = LineList;

}  // namespace spurfix
