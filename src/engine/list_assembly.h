#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/build_progress.h"
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

// The scan list's lines of the songs a list with these options holds, ascending: the
// same as SongLinesOf() of the list built without tags, without building it.
std::vector<uint32_t> ListedSongLines(const ScanList& scanList, const ListOptions& options);

// Builds the song list from a reading: `filesFound` is the file count of that reading,
// whose number of digits (at least 3) is the width of the song numbers. `facts`, if
// given, receives what the list asks of a player; `songs`, where given, holds the songs'
// tags and times for the options that show them. `progress`, where given, hears how far
// the build has come in the scan list's lines, and can stop it: the build then throws
// BuildStopped and leaves `facts` as it was.
PreviewList BuildPreview(const ScanList& scanList, int32_t filesFound, const ListOptions& options,
                         const platform::Collator& collator, const ListSource& source = {},
                         ListFacts* facts = nullptr, const SongInfoTable* songs = nullptr,
                         BuildProgress* progress = nullptr);

}  // namespace spurfix
