#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/line_list.h"
#include "engine/list_options.h"
#include "engine/preview_list.h"
#include "engine/song_info.h"
#include "platform/collation.h"

namespace spurfix {

// Builds the song list from a reading: `filesFound` is the file count of that reading,
// whose number of digits (at least 3) is the width of the song numbers. `songs`, where
// given, holds the songs' tags and times for the options that show them.
PreviewList BuildPreview(const ScanList& scanList, int32_t filesFound, const ListOptions& options,
                         const platform::Collator& collator, const SongInfoTable* songs = nullptr);

}  // namespace spurfix
