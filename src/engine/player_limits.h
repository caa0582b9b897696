#pragma once

#include <string>

#include "engine/list_assembly.h"

namespace spurfix {

// What many players read at most: songs in one folder, folders with songs, levels of
// folders, and characters of a name (Joliet cuts longer names).
constexpr int32_t kPlayerSongsPerFolder = 255;
constexpr int32_t kPlayerFolders = 99;
constexpr int32_t kPlayerLevels = 8;
constexpr int32_t kJolietNameLength = 64;

// One short German line (UTF-8) about the first of these limits the list exceeds, or
// about songs of a folder that do not stand together; empty when there is nothing to
// say. A hint, never a block: the list is made all the same.
[[nodiscard]] std::string PlayerLimitHint(const ListFacts& facts);

}  // namespace spurfix
