#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/line_list.h"
#include "engine/list_options.h"
#include "engine/preview_list.h"
#include "engine/song_info.h"
#include "platform/collation.h"

namespace spurfix {

// Where a list was read from.
struct ListSource {
    // The folder read, ending in "/"; empty: the folder of the scan list's first line.
    std::string folder;
    // Its file system as the mount table names it ("iso9660", "fuse.fuseiso", "ext4").
    std::string fileSystemType;
};

// What a finished list asks of a player, for the hints on its limits.
struct ListFacts {
    int32_t mostSongsInAFolder = 0;
    int32_t foldersWithSongs = 0;
    int32_t deepestFolderWithSongs = 0;  // levels below the source folder
    int32_t longestName = 0;             // characters of a song's or its folder's name
    int32_t foldersSplit = 0;            // folders whose songs do not stand together
};

// The scan list's line numbers in the order "Verzeichnisse und Dateien sortieren" gives:
// whole lines compared by the locale, case ignored.
std::vector<uint32_t> SortedOrder(const ScanList& scanList, const platform::Collator& collator);

// Builds the song list from a reading: `filesFound` is the file count of that reading,
// whose number of digits (at least 3) is the width of the song numbers. `facts`, if
// given, receives what the list asks of a player; `songs`, where given, holds the songs'
// tags and times for the options that show them.
PreviewList BuildPreview(const ScanList& scanList, int32_t filesFound, const ListOptions& options,
                         const platform::Collator& collator, const ListSource& source = {},
                         ListFacts* facts = nullptr, const SongInfoTable* songs = nullptr);

}  // namespace spurfix
