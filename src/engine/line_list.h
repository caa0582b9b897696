#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace spurfix {

// An append-only list of byte texts kept in one block of memory, so that a million
// paths cost their bytes plus one offset each.
class LineList {
public:
    void clear() {
        bytes_.clear();
        ends_.clear();
    }
    [[nodiscard]] size_t size() const { return ends_.size(); }
    [[nodiscard]] bool empty() const { return ends_.empty(); }
    [[nodiscard]] std::string_view operator[](size_t i) const {
        const size_t begin = i == 0 ? 0 : ends_[i - 1];
        return {bytes_.data() + begin, static_cast<size_t>(ends_[i] - begin)};
    }
    [[nodiscard]] std::string_view back() const { return (*this)[size() - 1]; }

    // Appends one line made of the parts, joined without separator.
    void append(std::string_view first, std::string_view second = {},
                std::string_view third = {}) {
        bytes_.append(first).append(second).append(third);
        ends_.push_back(bytes_.size());
    }
    void replaceBack(std::string_view line) {
        ends_.pop_back();
        bytes_.resize(ends_.empty() ? 0 : ends_.back());
        append(line);
    }
    void reserve(size_t lines, size_t bytes) {
        ends_.reserve(lines);
        bytes_.reserve(bytes);
    }
    [[nodiscard]] size_t byteSize() const { return bytes_.size(); }

private:
    std::string bytes_;
    std::vector<uint64_t> ends_;
};

using ScanList = LineList;

}  // namespace spurfix
