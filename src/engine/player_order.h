#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/build_progress.h"
#include "engine/line_list.h"
#include "engine/list_options.h"

namespace spurfix {

// Players that select a song by its number count the songs folder by folder, each
// folder's own songs first; some go depth first through the tree, some level by level
// (the order of a disc's path table). These orders give the list the player's numbers.

// Whether the order the reading delivered a folder's entries in is the order a player
// reads them in: true for the file systems a player reads itself (`type` as the mount
// table names it, FUSE mounts of such media included).
[[nodiscard]] bool PlayerReadsMediumOrder(std::string_view fileSystemType);

// Names as an ISO 9660 directory records them: ASCII letters upper-cased, then byte by
// byte; names equal so far by their bytes, so that the order is total.
[[nodiscard]] bool IsoRecordLess(std::string_view a, std::string_view b);

// The scan list's line numbers in the player's `order` (not AsRead): each folder's line
// followed by its files, the files of `sourceFolder` (ending in "/") first, without a
// line. The order within a folder depends on the file system the list was read from
// (`fileSystemType`, as the mount table names it).
[[nodiscard]] std::vector<uint32_t> PlayerOrder(const ScanList& scanList,
                                                std::string_view sourceFolder, PlayOrder order,
                                                std::string_view fileSystemType);
// The same, counting its steps in `steps` as the part [from, to) of a build, which stops
// it with BuildStopped where asked to.
[[nodiscard]] std::vector<uint32_t> PlayerOrder(const ScanList& scanList,
                                                std::string_view sourceFolder, PlayOrder order,
                                                std::string_view fileSystemType, BuildSteps& steps,
                                                uint64_t from, uint64_t to);

}  // namespace spurfix
