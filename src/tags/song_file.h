#pragma once

#include <string>
#include <string_view>

#include "engine/song_info.h"

namespace spurfix::tags {

// Which parts of a song a reading fetches: the time may cost a pass over the whole
// file, so it is read only when it is shown.
enum class SongParts {
    Tags,
    TagsAndTime,
};

// The tags (ID3v1/v2, APE, Vorbis comments, FLAC, MP4, WMA and what else TagLib knows)
// and the playing time of the file at `path`. A file that cannot be read or whose tags
// are damaged gives empty texts and an unknown time.
SongInfo ReadSongFile(const std::string& path, SongParts parts);

// The same for a file's bytes held in memory; `extension` ("mp3", "flac", ...) picks the
// format as a file name would.
SongInfo ReadSongBytes(std::string_view bytes, std::string_view extension, SongParts parts);

}  // namespace spurfix::tags
