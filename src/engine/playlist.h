#pragma once

#include <string>
#include <string_view>

#include "engine/preview_list.h"

namespace spurfix {

// The song list as an extended M3U playlist, in the list's order: "#EXTM3U", then for
// every file line "#EXTINF:-1," with the line's text and the file's path, so that entry
// N of the playlist is song N of the list; a folder label becomes a comment line. A path
// below `playlistFolder` (absolute, without a trailing "/") is written relative to it,
// so that a playlist at the root of a CD's folder works on the disc; any other path is
// written whole. Paths keep their bytes; lines end in CR LF.
std::string BuildPlaylist(const PreviewList& preview, std::string_view playlistFolder);

}  // namespace spurfix
