#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/line_list.h"

namespace spurfix {

enum class EntryKind : uint8_t {
    DirectoryLabel = 1,
    File = 2,
};

// The finished song list: each line a byte text with its kind.
class PreviewList {
  public:
    [[nodiscard]] size_t size() const { return texts_.size(); }
    [[nodiscard]] bool empty() const { return texts_.empty(); }
    [[nodiscard]] std::string_view text(size_t i) const { return texts_[i]; }
    [[nodiscard]] EntryKind kind(size_t i) const { return kinds_[i]; }

    void append(std::string_view text, EntryKind kind) {
        texts_.append(text);
        kinds_.push_back(kind);
    }
    void replaceLastText(std::string_view text) { texts_.replaceBack(text); }

  private:
    LineList texts_;
    std::vector<EntryKind> kinds_;
};

}  // namespace spurfix
